#include <gtest/gtest.h>

#include <cstring>

#include "svcmdlg/svcmdlg.h"

extern "C" {
int32_t DllRegisterServer();
int32_t DllUnregisterServer();
int32_t DllCanUnloadNow();
int32_t DllGetClassObject(const void*, const void*, void**);
}

using namespace svcmdlg;

namespace {

TEST(cMemory, AllocateLockUnlockFree) {
  cMemory m;
  EXPECT_FALSE(m.LockMemory()) << "nothing allocated yet";
  ASSERT_TRUE(m.AllocateMemory(64, GHND));
  const MemoryHandle h = m.Handle();
  EXPECT_NE(h, 0u);
  EXPECT_EQ(m.Size(), 64u);
  EXPECT_EQ(m.Pointer(), nullptr);
  ASSERT_TRUE(m.LockMemory());
  EXPECT_FALSE(m.LockMemory()) << "already locked";
  auto* p = static_cast<unsigned char*>(m.Pointer());
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0) << "GHND blocks start zeroed";
  std::memset(p, 0xAB, 64);
  EXPECT_EQ(GlobalLockCount(h), 1u);
  m.UnlockMemory();
  EXPECT_EQ(m.Pointer(), nullptr);
  EXPECT_EQ(GlobalLockCount(h), 0u);
  ASSERT_TRUE(m.LockMemory());
  EXPECT_EQ(static_cast<unsigned char*>(m.Pointer())[63], 0xAB);
  m.FreeMemory();
  EXPECT_EQ(m.Handle(), 0u);
  EXPECT_EQ(m.Pointer(), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u) << "the block is gone";
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalFree(h), h) << "a freed handle is not live";
}

TEST(cMemory, AllocateAgainFreesTheFirstBlockAndDestructionFreesTheLast) {
  MemoryHandle first = 0, second = 0;
  {
    cMemory m;
    ASSERT_TRUE(m.AllocateMemory(16, GMEM_MOVEABLE));
    first = m.Handle();
    ASSERT_TRUE(m.LockMemory());
    ASSERT_TRUE(m.AllocateMemory(32, GMEM_MOVEABLE));
    second = m.Handle();
    EXPECT_EQ(m.Pointer(), nullptr);
    EXPECT_EQ(GlobalSize(first), 0u);
    EXPECT_EQ(GlobalSize(second), 32u);
  }
  EXPECT_EQ(GlobalSize(second), 0u);
}

TEST(cMemory, ReleaseHandsTheBlockOnWithoutFreeingIt) {
  MemoryHandle h = 0;
  {
    cMemory m;
    ASSERT_TRUE(m.AllocateMemory(8, GHND));
    ASSERT_TRUE(m.LockMemory());
    std::memcpy(m.Pointer(), "handed!", 8);
    h = m.Handle();
    m.ReleaseDontFreeMemory();
    EXPECT_EQ(m.Handle(), 0u);
    EXPECT_EQ(m.Pointer(), nullptr);
  }
  ASSERT_EQ(GlobalSize(h), 8u) << "the new owner still has the block";
  EXPECT_EQ(GlobalLockCount(h), 0u);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(h)), "handed!");
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GlobalFree(h), 0u);
}

TEST(GlobalMemory, OnlyUnlockedMovableBlocksMove) {
  const MemoryHandle fixed = GlobalAlloc(GPTR, 4);
  EXPECT_EQ(GlobalReAlloc(fixed, 400, 0), 0u);
  GlobalFree(fixed);

  const MemoryHandle h = GlobalAlloc(GHND, 4);
  std::memcpy(GlobalLock(h), "abc", 4);
  EXPECT_EQ(GlobalReAlloc(h, 4096, GMEM_ZEROINIT), 0u) << "locked blocks stay put";
  EXPECT_FALSE(GlobalUnlock(h));
  ASSERT_EQ(GlobalReAlloc(h, 4096, GMEM_ZEROINIT), h);
  EXPECT_EQ(GlobalSize(h), 4096u);
  auto* p = static_cast<const char*>(GlobalLock(h));
  EXPECT_STREQ(p, "abc");
  EXPECT_EQ(p[4095], 0);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), 0u);
  EXPECT_EQ(GlobalLock(0), nullptr);
}

TEST(Registration, ServerEntryPointsAnswerWithoutARegistry) {
  EXPECT_EQ(DllRegisterServer(), 0);
  EXPECT_EQ(DllUnregisterServer(), 0);
  EXPECT_EQ(DllCanUnloadNow(), 1);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_NE(DllGetClassObject(nullptr, nullptr, &object), 0);
  EXPECT_EQ(object, nullptr);
}

}  // namespace
