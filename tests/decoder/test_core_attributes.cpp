// The attribute stores and their watchers, through the decoder's services.
#include <sstream>

#include "core_support.h"

namespace svd_test {
namespace {

struct Seen {
  std::vector<std::string> events;
  static void Watch(void* user, const char* name, const svd::AttributeValue* value) {
    std::ostringstream e;
    e << name << '=';
    if (!value)
      e << "removed";
    else if (value->kind == svd::AttributeKind::kText)
      e << value->text;
    else
      e << value->integer;
    static_cast<Seen*>(user)->events.push_back(e.str());
  }
};

TEST(CoreAttributes, SetReplaceKindAndRemove) {
  svd::Decoder d;
  const svd::DecoderServices& s = svd::ServicesOf(&d);
  for (svd::Store store : {svd::Store::kStatus, svd::Store::kGlobal}) {
    svd::AttributeValue v;
    EXPECT_EQ(s.get(&d, store, "id3/title", &v), SVD_E_ATTRIBUTE_NOT_FOUND);
    std::string title = "First";
    ASSERT_EQ(s.set_text(&d, store, "id3/title", title.c_str()), 0);
    title = "changed by the caller";  // the store keeps its own copy
    ASSERT_EQ(s.get(&d, store, "id3/title", &v), 0);
    EXPECT_EQ(v.kind, svd::AttributeKind::kText);
    EXPECT_STREQ(v.text, "First");
    ASSERT_EQ(s.set_text(&d, store, "id3/title", "Second"), 0);
    ASSERT_EQ(s.get(&d, store, "id3/title", &v), 0);
    EXPECT_STREQ(v.text, "Second");
    EXPECT_EQ(s.set_integer(&d, store, "id3/title", 5), SVD_E_ATTRIBUTE_KIND);
    ASSERT_EQ(s.set_integer(&d, store, "mpeg/layer", 3), 0);
    ASSERT_EQ(s.set_integer(&d, store, "mpeg/layer", 2), 0);
    ASSERT_EQ(s.get(&d, store, "mpeg/layer", &v), 0);
    EXPECT_EQ(v.kind, svd::AttributeKind::kInteger);
    EXPECT_EQ(v.integer, 2);
    EXPECT_EQ(s.set_text(&d, store, "mpeg/layer", "x"), SVD_E_ATTRIBUTE_KIND);
    EXPECT_EQ(s.remove(&d, store, "mpeg/layer"), 0);
    EXPECT_EQ(s.remove(&d, store, "mpeg/layer"), SVD_E_ATTRIBUTE_NOT_FOUND);
    EXPECT_EQ(s.get(&d, store, "mpeg/layer", &v), SVD_E_ATTRIBUTE_NOT_FOUND);
  }
  // The two stores are separate.
  EXPECT_EQ(d.status_attributes.size(), 1u);
  EXPECT_EQ(d.global_attributes.size(), 1u);
}

TEST(CoreAttributes, OnlyStatusChangesMarkTheStatus) {
  svd::Decoder d;
  const svd::DecoderServices& s = svd::ServicesOf(&d);
  s.set_integer(&d, svd::Store::kGlobal, "a", 1);
  s.set_text(&d, svd::Store::kGlobal, "b", "x");
  EXPECT_EQ(d.status.changes, 0u);
  s.set_text(&d, svd::Store::kStatus, "b", "x");
  EXPECT_EQ(d.status.changes, static_cast<uint32_t>(svd::kChangedAttributes));
  d.status.changes = 0;
  s.set_integer(&d, svd::Store::kStatus, "a", 1);
  EXPECT_EQ(d.status.changes, static_cast<uint32_t>(svd::kChangedAttributes));
  d.status.changes = 0;
  EXPECT_EQ(s.set_integer(&d, svd::Store::kStatus, "b", 1), SVD_E_ATTRIBUTE_KIND);
  EXPECT_EQ(d.status.changes, 0u);  // a refused set changes nothing
}

TEST(CoreAttributes, WatchersSeeSetAndRemoveOfTheirName) {
  svd::Decoder d;
  const svd::DecoderServices& s = svd::ServicesOf(&d);
  Seen seen, other;
  ASSERT_EQ(s.attach_watcher(&d, svd::Store::kStatus, "id3/title", Seen::Watch, &seen), 0);
  ASSERT_EQ(s.attach_watcher(&d, svd::Store::kStatus, "id3/genre", Seen::Watch, &other), 0);
  s.set_text(&d, svd::Store::kStatus, "id3/title", "Song");
  s.set_text(&d, svd::Store::kStatus, "id3/album", "Album");
  s.set_integer(&d, svd::Store::kStatus, "id3/genre", 17);
  s.set_text(&d, svd::Store::kGlobal, "id3/title", "not the status store");
  s.remove(&d, svd::Store::kStatus, "id3/title");
  EXPECT_EQ(seen.events, (std::vector<std::string>{"id3/title=Song", "id3/title=removed"}));
  EXPECT_EQ(other.events, (std::vector<std::string>{"id3/genre=17"}));

  EXPECT_EQ(s.detach_watcher(&d, svd::Store::kStatus, "id3/title", Seen::Watch, &seen), 0);
  EXPECT_EQ(s.detach_watcher(&d, svd::Store::kStatus, "id3/title", Seen::Watch, &seen),
            SVD_E_ATTRIBUTE_NOT_FOUND);
  s.set_text(&d, svd::Store::kStatus, "id3/title", "Again");
  EXPECT_EQ(seen.events.size(), 2u);
}

}  // namespace
}  // namespace svd_test
