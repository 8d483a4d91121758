#include "platform/library_loader.h"
#include "platform/runtime_error.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace sv;

TEST(LibraryLoader, FindsOurLibrariesBesideTheProgram) {
  EXPECT_EQ(ProgramLibDirectory().filename(), "lib");
  EXPECT_TRUE(std::filesystem::exists(ProgramLibDirectory() / "libsvtestfault.so"));

  SharedLibrary lib("svtestfault");
  EXPECT_FALSE(lib.loaded());  // nothing happens before the first call
  LazyFunction<int(int, int)> add(lib, "svt_add");
  EXPECT_EQ(add(40, 2), 42);
  EXPECT_TRUE(lib.loaded());
  EXPECT_EQ(add(1, 1), 2);
}

TEST(LibraryLoader, MissingLibraryIsFileNotFound) {
  SharedLibrary lib("svnosuchcomponent");
  LazyFunction<int()> fn(lib, "Anything");
  try {
    fn();
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.description(), "File not found: svnosuchcomponent");
  }
  EXPECT_FALSE(lib.loaded());
}

TEST(LibraryLoader, MissingEntryPointIs453) {
  SharedLibrary lib("svtestfault");
  try {
    lib.symbol("beInitStream");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 453);
    EXPECT_EQ(e.description(), "Can't find DLL entry point beInitStream in svtestfault");
    EXPECT_EQ(ErrorText(e), "Error#453,Can't find DLL entry point beInitStream in svtestfault");
  }
  // The library itself loaded; other entry points still work.
  EXPECT_TRUE(lib.loaded());
  EXPECT_NE(lib.symbol("svt_add"), nullptr);
}

TEST(LibraryLoader, DamagedLibraryIsErrorInLoadingDll) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath(QStringLiteral("libsvbroken.so")).toStdString();
  std::ofstream(path) << "this is not an ELF file";
  SharedLibrary lib(path);
  try {
    lib.load();
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 48);
    EXPECT_EQ(e.description(), "Error in loading DLL");
  }

  SharedLibrary gone(dir.filePath(QStringLiteral("libsvgone.so")).toStdString());
  try {
    gone.load();
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 53);
  }
}

}  // namespace
