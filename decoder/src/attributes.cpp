#include "attributes.h"

#include <algorithm>
#include <cstring>

namespace svd {

namespace {
const char* OrEmpty(const char* s) { return s ? s : ""; }
}  // namespace

AttributeStore::Entry* AttributeStore::Find(const char* name) {
  for (Entry& e : entries_)
    if (e.name == name) return &e;
  return nullptr;
}

int32_t AttributeStore::Get(const char* name, AttributeValue* value) const {
  if (!name || !value) return SVD_E_INVALID_PARAMETER;
  for (const Entry& e : entries_) {
    if (e.name != name) continue;
    value->kind = e.kind;
    value->text = e.kind == AttributeKind::kText ? e.text.c_str() : nullptr;
    value->integer = e.integer;
    return 0;
  }
  return SVD_E_ATTRIBUTE_NOT_FOUND;
}

int32_t AttributeStore::Set(const char* name, AttributeKind kind, const char* text, int32_t integer) {
  if (!name) return SVD_E_INVALID_PARAMETER;
  // Copied first: the text may be one of ours, and adding an entry can move it.
  const std::string copy = text ? text : "";
  Entry* e = Find(name);
  if (e && e->kind != kind) return SVD_E_ATTRIBUTE_KIND;
  if (!e) {
    entries_.push_back(Entry{name, kind, {}, 0});
    e = &entries_.back();
  }
  e->text = copy;
  e->integer = integer;
  // Watchers may add, change or remove entries, so they are given our own copies of the name
  // and the text, which stay valid for all of them.
  const std::string key = e->name;
  AttributeValue value{kind, kind == AttributeKind::kText ? copy.c_str() : nullptr, integer};
  Notify(key, &value);
  return 0;
}

int32_t AttributeStore::SetText(const char* name, const char* value) {
  return Set(name, AttributeKind::kText, OrEmpty(value), 0);
}

int32_t AttributeStore::SetInteger(const char* name, int32_t value) {
  return Set(name, AttributeKind::kInteger, nullptr, value);
}

int32_t AttributeStore::Remove(const char* name) {
  if (!name) return SVD_E_INVALID_PARAMETER;
  auto it = std::find_if(entries_.begin(), entries_.end(), [name](const Entry& e) { return e.name == name; });
  if (it == entries_.end()) return SVD_E_ATTRIBUTE_NOT_FOUND;
  const std::string key = it->name;
  entries_.erase(it);
  Notify(key, nullptr);
  return 0;
}

void AttributeStore::Clear() { entries_.clear(); }

int32_t AttributeStore::Attach(const char* name, AttributeWatcher watcher, void* user) {
  if (!name || !watcher) return SVD_E_INVALID_PARAMETER;
  watches_.push_back(Watch{name, watcher, user});
  return 0;
}

int32_t AttributeStore::Detach(const char* name, AttributeWatcher watcher, void* user) {
  if (!name) return SVD_E_INVALID_PARAMETER;
  auto it = std::find_if(watches_.begin(), watches_.end(), [&](const Watch& w) {
    return w.name == name && w.watcher == watcher && w.user == user;
  });
  if (it == watches_.end()) return SVD_E_ATTRIBUTE_NOT_FOUND;
  watches_.erase(it);
  return 0;
}

void AttributeStore::Notify(const std::string& name, const AttributeValue* value) {
  // A watcher may attach or detach others while it runs: call a snapshot.
  std::vector<Watch> due;
  for (const Watch& w : watches_)
    if (w.name == name) due.push_back(w);
  for (const Watch& w : due) {
    // One detached by an earlier watcher is not called: its user data may be gone.
    const bool attached = std::any_of(watches_.begin(), watches_.end(), [&](const Watch& x) {
      return x.name == w.name && x.watcher == w.watcher && x.user == w.user;
    });
    if (attached) w.watcher(w.user, name.c_str(), value);
  }
}

}  // namespace svd
