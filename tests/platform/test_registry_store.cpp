#include "platform/registry_store.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

namespace {

using namespace sv;
namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
  }
  void TearDown() override { qputenv("XDG_CONFIG_HOME", oldXdg); }

  QTemporaryDir dir;
  QByteArray oldXdg;
  RegistryStore store;
};

TEST_F(RegistryStoreTest, OneFilePerHiveUnderTheConfigDirectory) {
  EXPECT_EQ(RegistryStore::DefaultRoot(), fs::path(dir.path().toStdString()) / "sonvera" / "registry");
  EXPECT_EQ(store.hiveFile("HKEY_LOCAL_MACHINE"),
            fs::path(dir.path().toStdString()) / "sonvera" / "registry" / "HKEY_LOCAL_MACHINE.ini");
  ASSERT_EQ(store.createKey("HKEY_CURRENT_USER", "Software\\Test"), kRegSuccess);
  EXPECT_TRUE(fs::exists(store.hiveFile("HKEY_CURRENT_USER")));
  EXPECT_FALSE(fs::exists(store.hiveFile("HKEY_LOCAL_MACHINE")));

  for (const char* hive : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                           "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"})
    EXPECT_TRUE(IsHiveName(hive)) << hive;
  EXPECT_FALSE(IsHiveName("HKEY_LOCAL_MACHIN"));
  EXPECT_FALSE(IsHiveName("hkey_local_machine"));
  EXPECT_EQ(store.createKey("HKEY_NOWHERE", "x"), kRegInvalidHandle);
}

TEST_F(RegistryStoreTest, KeysValuesAndParents) {
  EXPECT_EQ(store.openKey("HKEY_LOCAL_MACHINE", ""), kRegSuccess);  // the hive's own root
  EXPECT_EQ(store.openKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\SONVERA"), kRegFileNotFound);
  EXPECT_EQ(store.setValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\SONVERA", "x", "y"), kRegFileNotFound);

  ASSERT_EQ(store.createKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\SONVERA\\Sonvera Disc Suite"), kRegSuccess);
  EXPECT_TRUE(store.keyExists("HKEY_LOCAL_MACHINE", "SOFTWARE\\SONVERA"));
  EXPECT_TRUE(store.keyExists("HKEY_LOCAL_MACHINE", "software\\sonvera\\SONVERA DISC SUITE"));
  EXPECT_FALSE(store.keyExists("HKEY_CURRENT_USER", "SOFTWARE\\SONVERA"));
  EXPECT_EQ(store.createKey("HKEY_LOCAL_MACHINE", "a\\\\b"), kRegInvalidParameter);

  const QString key = "SOFTWARE\\SONVERA\\Sonvera Disc Suite";
  ASSERT_EQ(store.setValue("HKEY_LOCAL_MACHINE", key, "AppPath", "/opt/sonvera/bin"), kRegSuccess);
  ASSERT_EQ(store.setValue("HKEY_LOCAL_MACHINE", key, "Odd",
                           "  blanks, \"quotes\", back\\slash, ümlaut, @at;semi=eq  "),
            kRegSuccess);
  ASSERT_EQ(store.setValue("HKEY_LOCAL_MACHINE", key, "", "default"), kRegSuccess);
  QString v;
  ASSERT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "apppath", v), kRegSuccess);
  EXPECT_EQ(v, "/opt/sonvera/bin");
  ASSERT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "Odd", v), kRegSuccess);
  EXPECT_EQ(v, "  blanks, \"quotes\", back\\slash, ümlaut, @at;semi=eq  ");
  ASSERT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "", v), kRegSuccess);
  EXPECT_EQ(v, "default");
  EXPECT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "Version", v), kRegFileNotFound);

  // A second store (another run of the program) reads the same.
  RegistryStore again;
  ASSERT_EQ(again.queryValue("HKEY_LOCAL_MACHINE", key, "AppPath", v), kRegSuccess);
  EXPECT_EQ(v, "/opt/sonvera/bin");

  // Quick overwrites of equal length are all seen.
  for (const char* text : {"aaaa", "bbbb", "cccc"}) {
    ASSERT_EQ(store.setValue("HKEY_LOCAL_MACHINE", key, "AppPath", text), kRegSuccess);
    ASSERT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "AppPath", v), kRegSuccess);
    EXPECT_EQ(v, text);
  }
  EXPECT_EQ(store.deleteValue("HKEY_LOCAL_MACHINE", key, "AppPath"), kRegSuccess);
  EXPECT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "AppPath", v), kRegFileNotFound);
}

// Two programs writing at the same time keep each other's values.
TEST_F(RegistryStoreTest, ConcurrentWritersLoseNothing) {
  const QString key = "SOFTWARE\\SONVERA";
  ASSERT_EQ(store.createKey("HKEY_LOCAL_MACHINE", key), kRegSuccess);
  constexpr int kEach = 20;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const QString who = child == 0 ? "child" : "parent";
  bool allWritten = true;
  for (int i = 0; i < kEach; ++i)
    allWritten &= store.setValue("HKEY_LOCAL_MACHINE", key, who + QString::number(i), "x") == kRegSuccess;
  if (child == 0) _exit(allWritten ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(allWritten);
  QString v;
  for (int i = 0; i < kEach; ++i) {
    EXPECT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "child" + QString::number(i), v), kRegSuccess) << i;
    EXPECT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "parent" + QString::number(i), v), kRegSuccess)
        << i;
  }
}

TEST_F(RegistryStoreTest, ValuesOnTheHiveRoot) {
  ASSERT_EQ(store.setValue("HKEY_CURRENT_USER", "", "Top", "level"), kRegSuccess);
  QString v;
  ASSERT_EQ(store.queryValue("HKEY_CURRENT_USER", "", "top", v), kRegSuccess);
  EXPECT_EQ(v, "level");
}

// A write that fails half-way (here: the file-size limit cuts the new file short) must
// leave the previous file and its values exactly as they were.
TEST_F(RegistryStoreTest, FailedWriteLeavesTheOldFileIntact) {
  const QString key = "SOFTWARE\\SONVERA";
  ASSERT_EQ(store.createKey("HKEY_LOCAL_MACHINE", key), kRegSuccess);
  ASSERT_EQ(store.setValue("HKEY_LOCAL_MACHINE", key, "AppPath", "/opt/sonvera"), kRegSuccess);
  const fs::path file = store.hiveFile("HKEY_LOCAL_MACHINE");
  const std::string before = slurp(file);
  ASSERT_LT(before.size(), 1024u);

  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit oldLimit{};
  getrlimit(RLIMIT_FSIZE, &oldLimit);
  rlimit small = oldLimit;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const long r = store.setValue("HKEY_LOCAL_MACHINE", key, "Big", QString(8000, QLatin1Char('x')));
  setrlimit(RLIMIT_FSIZE, &oldLimit);
  sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_EQ(r, kRegWriteFault);
  EXPECT_EQ(slurp(file), before);
  QString v;
  ASSERT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "AppPath", v), kRegSuccess);
  EXPECT_EQ(v, "/opt/sonvera");
  EXPECT_EQ(store.queryValue("HKEY_LOCAL_MACHINE", key, "Big", v), kRegFileNotFound);
  // No temporary files are left behind.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(file.parent_path())) {
    if (e.path().filename() != ".lock") ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(RegistryStoreTest, ReadOnlyDirectoryFailsWithoutDamage) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root: directory permissions do not stop writes";
  const QString key = "SOFTWARE\\SONVERA";
  ASSERT_EQ(store.createKey("HKEY_LOCAL_MACHINE", key), kRegSuccess);
  ASSERT_EQ(store.setValue("HKEY_LOCAL_MACHINE", key, "AppPath", "/opt/sonvera"), kRegSuccess);
  const fs::path file = store.hiveFile("HKEY_LOCAL_MACHINE");
  const std::string before = slurp(file);
  ::chmod(file.parent_path().c_str(), 0555);
  const long r = store.setValue("HKEY_LOCAL_MACHINE", key, "AppPath", "/elsewhere");
  ::chmod(file.parent_path().c_str(), 0755);
  EXPECT_EQ(r, kRegWriteFault);
  EXPECT_EQ(slurp(file), before);
}

TEST_F(RegistryStoreTest, UnreadableHiveIsNeverOverwritten) {
  // Something that is not a readable file where the hive should be.
  const fs::path file = store.hiveFile("HKEY_USERS");
  fs::create_directories(file);
  EXPECT_EQ(store.createKey("HKEY_USERS", "x"), kRegReadFault);
  EXPECT_TRUE(fs::is_directory(file));
}

}  // namespace
