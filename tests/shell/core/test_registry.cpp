#include "platform/msgbox.h"
#include "platform/registry_store.h"
#include "shell/core/registry.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace sv;
namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  }
  void TearDown() override { qputenv("XDG_CONFIG_HOME", oldXdg); }

  fs::path hiveFile(const char* hive) const {
    return fs::path(dir.path().toStdString()) / "sonvera" / "registry" / (std::string(hive) + ".ini");
  }

  QTemporaryDir dir;
  QByteArray oldXdg;
  ScopedMsgBoxResponder boxes{vbOK};
};

TEST_F(RegistryTest, HiveNamesMatchExactly) {
  EXPECT_EQ(RegistryHiveFromName("HKEY_CLASSES_ROOT"), 0x80000000u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_CURRENT_USER"), 0x80000001u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_LOCAL_MACHINE"), 0x80000002u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_USERS"), 0x80000003u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_PERFORMANCE_DATA"), 0x80000004u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_CURRENT_CONFIG"), 0x80000005u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_DYN_DATA"), 0x80000006u);
  EXPECT_EQ(RegistryHiveFromName("HKEY_Local_Machine"), 0u);
  EXPECT_EQ(RegistryHiveFromName(""), 0u);
}

TEST_F(RegistryTest, WriteThenReadBack) {
  const QString key = "HKEY_CURRENT_USER\\Software\\Test";
  // Writing needs the key; nothing happens without it.
  RegistryWriteValue(key, "Name", "value");
  EXPECT_NE(RegistryLastResult(), 0);
  EXPECT_EQ(RegistryReadValue(key, "Name").toString(), "Error");

  RegistryCreateKey(key);
  EXPECT_EQ(RegistryLastResult(), 0);
  for (const QString& text : {QString("C:/Program Files/x"), QString(""), QString("  leading and trailing  "),
                              QString("ümlaut €"), QString(254, QLatin1Char('z'))}) {
    RegistryWriteValue(key, "Name", text);
    EXPECT_EQ(RegistryLastResult(), 0);
    const QVariant back = RegistryReadValue(key, "Name");
    ASSERT_TRUE(back.isValid());
    EXPECT_EQ(back.toString(), text);
  }
  EXPECT_EQ(RegistryReadValue(key, "Other").toString(), "Error");
  EXPECT_EQ(RegistryReadValue("HKEY_CURRENT_USER\\Software\\Missing", "Name").toString(), "Error");
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(RegistryTest, ValuesOf255CharactersOrMoreReadAsError) {
  const QString key = "HKEY_CURRENT_USER\\Software\\Long";
  RegistryCreateKey(key);
  RegistryWriteValue(key, "v", QString(255, QLatin1Char('a')));
  EXPECT_EQ(RegistryLastResult(), 0);
  EXPECT_EQ(RegistryReadValue(key, "v").toString(), "Error");
  EXPECT_EQ(RegistryLastResult(), kRegMoreData);
  RegistryWriteValue(key, "v", QString(1000, QLatin1Char('a')));
  EXPECT_EQ(RegistryReadValue(key, "v").toString(), "Error");
  RegistryWriteValue(key, "v", QString(254, QLatin1Char('a')));
  EXPECT_EQ(RegistryReadValue(key, "v").toString(), QString(254, QLatin1Char('a')));
}

TEST_F(RegistryTest, PathWithoutBackslashIsTheHiveItself) {
  RegistryWriteValue("HKEY_CURRENT_USER", "TopValue", "top");
  EXPECT_EQ(RegistryLastResult(), 0);
  EXPECT_EQ(RegistryReadValue("HKEY_CURRENT_USER", "TopValue").toString(), "top");
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(RegistryTest, MalformedPathsShowTheFormatBoxAndChangeNothing) {
  const QString noPrefix = "SOFTWARE\\SONVERA";
  const QString trailing = "HKEY_LOCAL_MACHINE\\SOFTWARE\\";
  EXPECT_FALSE(RegistryReadValue(noPrefix, "AppPath").isValid());
  RegistryCreateKey(trailing);
  RegistryWriteValue(trailing, "x", "y");
  RegistryCreateKey("hkey_local_machine\\SOFTWARE");  // the prefix is case-sensitive

  ASSERT_EQ(boxes.calls().size(), 4u);
  EXPECT_EQ(boxes.calls()[0].text, "Incorrect Format:\n\nSOFTWARE\\SONVERA");
  EXPECT_EQ(boxes.calls()[1].text, "Incorrect Format:\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\");
  EXPECT_EQ(boxes.calls()[0].buttons, vbOKOnly);
  EXPECT_EQ(boxes.calls()[0].title, "Sonvera Disc Suite");
  EXPECT_FALSE(fs::exists(hiveFile("HKEY_LOCAL_MACHINE")));
}

TEST_F(RegistryTest, UnknownHiveDoesNothingAndShowsNoBox) {
  const QString key = "HKEY_LOCAL_MACHIN\\SOFTWARE\\SONVERA";
  RegistryCreateKey(key);
  RegistryWriteValue(key, "x", "y");
  EXPECT_FALSE(RegistryReadValue(key, "x").isValid());
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_FALSE(fs::exists(fs::path(dir.path().toStdString()) / "sonvera"));
}

TEST_F(RegistryTest, FirstRunRecordsInstallationOnce) {
  const QString key = QString::fromLatin1(kInstallationKey);
  EXPECT_EQ(key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\SONVERA\\Sonvera Disc Suite");
  EXPECT_EQ(RegistryReadValue(key, "AppPath").toString(), "Error");

  RegisterInstallation();
  EXPECT_TRUE(fs::exists(hiveFile("HKEY_LOCAL_MACHINE")));
  EXPECT_EQ(RegistryReadValue(key, "AppPath").toString(), QCoreApplication::applicationDirPath());
  EXPECT_EQ(RegistryReadValue(key, "Version").toString(),
            QString("%1.%2").arg(SONVERA_VERSION_MAJOR).arg(SONVERA_VERSION_MINOR));
  EXPECT_FALSE(ProgramDirectoryText().endsWith('/'));

  // Later runs keep what the first run (or an installer) stored.
  RegistryWriteValue(key, "AppPath", "/opt/elsewhere");
  RegistryWriteValue(key, "Version", "0.9");
  RegisterInstallation();
  EXPECT_EQ(RegistryReadValue(key, "AppPath").toString(), "/opt/elsewhere");
  EXPECT_EQ(RegistryReadValue(key, "Version").toString(), "0.9");
  EXPECT_TRUE(boxes.calls().empty());
}

}  // namespace
