#pragma once

#include <cstddef>
#include <cstdint>

#include "svcmdlg/Export.h"

namespace svcmdlg {

enum EMemoryFlags : uint32_t {
  GMEM_FIXED = 0x0,
  GMEM_MOVEABLE = 0x2,
  GMEM_NOCOMPACT = 0x10,
  GMEM_NODISCARD = 0x20,
  GMEM_ZEROINIT = 0x40,
  GMEM_MODIFY = 0x80,
  GMEM_DISCARDABLE = 0x100,
  GMEM_NOT_BANKED = 0x1000,
  GMEM_SHARE = 0x2000,
  GMEM_DDESHARE = 0x2000,
  GMEM_NOTIFY = 0x4000,
  GHND = GMEM_MOVEABLE | GMEM_ZEROINIT,
  GPTR = GMEM_FIXED | GMEM_ZEROINIT,
};

// Global memory blocks: handles are opaque numbers (0 = none), checked on every call, so a
// stale or foreign handle fails instead of touching memory. A block's address is only
// valid between GlobalLock and the matching GlobalUnlock; blocks allocated with
// GMEM_MOVEABLE may move (GlobalReAlloc) while they are unlocked.
using MemoryHandle = std::uintptr_t;

SVCMDLG_EXPORT MemoryHandle GlobalAlloc(uint32_t flags, std::size_t bytes);
SVCMDLG_EXPORT void* GlobalLock(MemoryHandle handle);
// True while the block is still locked after this call.
SVCMDLG_EXPORT bool GlobalUnlock(MemoryHandle handle);
// Returns 0 on success, the handle when it is not a live block.
SVCMDLG_EXPORT MemoryHandle GlobalFree(MemoryHandle handle);
// Returns 0 when the block is locked and would have to move, or the handle is not live.
SVCMDLG_EXPORT MemoryHandle GlobalReAlloc(MemoryHandle handle, std::size_t bytes, uint32_t flags);
SVCMDLG_EXPORT std::size_t GlobalSize(MemoryHandle handle);
SVCMDLG_EXPORT uint32_t GlobalLockCount(MemoryHandle handle);

// One movable global block, owned by the object until it is freed or handed on.
class SVCMDLG_EXPORT cMemory {
 public:
  cMemory() = default;
  ~cMemory();
  cMemory(const cMemory&) = delete;
  cMemory& operator=(const cMemory&) = delete;

  MemoryHandle Handle() const noexcept { return handle_; }
  void* Pointer() const noexcept { return pointer_; }
  std::size_t Size() const noexcept { return size_; }

  // Frees any block held, then allocates a new one.
  bool AllocateMemory(std::size_t lSize, uint32_t dwFlags = GHND);
  // Fails when nothing is allocated or the block is already locked by this object.
  bool LockMemory();
  void UnlockMemory();
  void FreeMemory();
  // Unlocks and forgets the block without freeing it: its new owner frees the handle.
  void ReleaseDontFreeMemory();

 private:
  MemoryHandle handle_ = 0;
  void* pointer_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace svcmdlg
