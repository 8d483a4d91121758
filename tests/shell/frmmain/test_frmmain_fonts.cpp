#include <QLabel>
#include <QWidget>
#include <map>

#include <gtest/gtest.h>

#include "ResourceFonts.h"
#include "platform/runtime_error.h"

namespace {

// A string table of the test's own; ids it lacks raise like the real one.
sv::StringLoader Table(std::map<int, QString> entries) {
  return [entries](int id) {
    const auto it = entries.find(id);
    if (it == entries.end()) sv::Raise(326);
    return it->second;
  };
}

std::map<int, QString> Standard() {
  return {{950, QStringLiteral("Arial")},
          {951, QStringLiteral("9")},
          {952, QStringLiteral("False")},
          {953, QStringLiteral("Times New Roman")},
          {954, QStringLiteral("System")}};
}

}  // namespace

TEST(ResourceFonts, TheProgramsTableGivesNinePointArialNotBold) {
  const sv::ResourceFont font = sv::ChooseResourceFont();
  EXPECT_EQ(font.name, QStringLiteral("Arial"));
  EXPECT_EQ(font.size, 9);
  EXPECT_FALSE(font.bold);
  EXPECT_EQ(sv::LoadResString(953), QStringLiteral("Times New Roman"));
  EXPECT_EQ(sv::LoadResString(954), QStringLiteral("System"));
  EXPECT_THROW(sv::LoadResString(955), sv::RuntimeError);
}

TEST(ResourceFonts, BoldOnlyForTheTextOfTrue) {
  auto entries = Standard();
  entries[952] = QStringLiteral("True");
  EXPECT_TRUE(sv::ChooseResourceFont(Table(entries)).bold);
  entries[952] = QStringLiteral("-1");
  EXPECT_FALSE(sv::ChooseResourceFont(Table(entries)).bold);
}

TEST(ResourceFonts, SizeThatIsNoNumberOrTooBigRaisesToTheCaller) {
  auto entries = Standard();
  entries[951] = QStringLiteral("nine");
  try {
    sv::ChooseResourceFont(Table(entries));
    ADD_FAILURE() << "no error";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), 13);
  }
  entries[951] = QStringLiteral("40000");
  try {
    sv::ChooseResourceFont(Table(entries));
    ADD_FAILURE() << "no error";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
  }
}

TEST(ResourceFonts, UnusableEntriesFallBackToTheSecondThenTheThirdName) {
  auto entries = Standard();
  entries[951] = QStringLiteral("0");
  EXPECT_EQ(sv::ChooseResourceFont(Table(entries)).name, QStringLiteral("Times New Roman"));

  entries = Standard();
  entries[950] = QString();
  EXPECT_EQ(sv::ChooseResourceFont(Table(entries)).name, QStringLiteral("Times New Roman"));

  entries.erase(953);
  EXPECT_EQ(sv::ChooseResourceFont(Table(entries)).name, QStringLiteral("System"));

  entries.erase(954);
  EXPECT_TRUE(sv::ChooseResourceFont(Table(entries)).name.isEmpty());
}

TEST(ResourceFonts, ControlsGetTheFontUnlessAlreadySmallerInTheSameFace) {
  QWidget form;
  auto* small = new QLabel(&form);
  small->setFont(QFont(QStringLiteral("Arial"), 7));
  auto* large = new QLabel(&form);
  large->setFont(QFont(QStringLiteral("Arial"), 14));
  auto* other = new QLabel(&form);
  other->setFont(QFont(QStringLiteral("Courier"), 7));

  auto entries = Standard();
  entries[952] = QStringLiteral("True");
  sv::ApplyResourceFonts(form, Table(entries));

  EXPECT_EQ(form.font().family(), QStringLiteral("Arial"));
  EXPECT_EQ(form.font().pointSize(), 9);
  EXPECT_TRUE(form.font().bold());
  EXPECT_EQ(small->font().pointSize(), 7);
  EXPECT_FALSE(small->font().bold());
  EXPECT_EQ(large->font().pointSize(), 9);
  EXPECT_TRUE(large->font().bold());
  EXPECT_EQ(other->font().family(), QStringLiteral("Arial"));
  EXPECT_EQ(other->font().pointSize(), 9);
}
