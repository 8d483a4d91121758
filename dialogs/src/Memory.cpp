#include "svcmdlg/Memory.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace svcmdlg {

namespace {

struct Block {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
  uint32_t flags = 0;
  uint32_t locks = 0;
};

// The global memory heap: every live block by handle. Blocks still here when the library
// unloads (handed on and never freed) are released with it.
struct Heap {
  std::mutex lock;
  std::unordered_map<MemoryHandle, Block> blocks;
  MemoryHandle next = 0x1000;
};

Heap& heap() {
  static Heap instance;
  return instance;
}

std::unique_ptr<unsigned char[]> newData(std::size_t bytes, bool zero) {
  // A zero-byte block still gets an address, so a lock can succeed.
  const std::size_t n = bytes == 0 ? 1 : bytes;
  return zero ? std::make_unique<unsigned char[]>(n) : std::make_unique_for_overwrite<unsigned char[]>(n);
}

}  // namespace

MemoryHandle GlobalAlloc(uint32_t flags, std::size_t bytes) {
  Block block;
  try {
    block.data = newData(bytes, (flags & GMEM_ZEROINIT) != 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  block.size = bytes;
  block.flags = flags;
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  const MemoryHandle handle = h.next;
  h.next += 8;
  h.blocks.emplace(handle, std::move(block));
  return handle;
}

void* GlobalLock(MemoryHandle handle) {
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  auto it = h.blocks.find(handle);
  if (it == h.blocks.end()) return nullptr;
  ++it->second.locks;
  return it->second.data.get();
}

bool GlobalUnlock(MemoryHandle handle) {
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  auto it = h.blocks.find(handle);
  if (it == h.blocks.end() || it->second.locks == 0) return false;
  return --it->second.locks > 0;
}

MemoryHandle GlobalFree(MemoryHandle handle) {
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  return h.blocks.erase(handle) == 1 ? 0 : handle;
}

MemoryHandle GlobalReAlloc(MemoryHandle handle, std::size_t bytes, uint32_t flags) {
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  auto it = h.blocks.find(handle);
  if (it == h.blocks.end()) return 0;
  Block& block = it->second;
  // Only an unlocked movable block may change its address.
  if (block.locks > 0 || (block.flags & GMEM_MOVEABLE) == 0) return 0;
  std::unique_ptr<unsigned char[]> data;
  try {
    data = newData(bytes, (flags & GMEM_ZEROINIT) != 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(data.get(), block.data.get(), std::min(bytes, block.size));
  block.data = std::move(data);
  block.size = bytes;
  return handle;
}

std::size_t GlobalSize(MemoryHandle handle) {
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  auto it = h.blocks.find(handle);
  return it == h.blocks.end() ? 0 : it->second.size;
}

uint32_t GlobalLockCount(MemoryHandle handle) {
  Heap& h = heap();
  std::lock_guard guard(h.lock);
  auto it = h.blocks.find(handle);
  return it == h.blocks.end() ? 0 : it->second.locks;
}

cMemory::~cMemory() { FreeMemory(); }

bool cMemory::AllocateMemory(std::size_t lSize, uint32_t dwFlags) {
  FreeMemory();
  handle_ = GlobalAlloc(dwFlags, lSize);
  if (handle_ == 0) return false;
  size_ = lSize;
  return true;
}

bool cMemory::LockMemory() {
  if (handle_ == 0 || pointer_ != nullptr) return false;
  pointer_ = GlobalLock(handle_);
  return pointer_ != nullptr;
}

void cMemory::UnlockMemory() {
  if (handle_ != 0 && pointer_ != nullptr) {
    GlobalUnlock(handle_);
    pointer_ = nullptr;
  }
}

void cMemory::FreeMemory() {
  UnlockMemory();
  if (handle_ != 0) GlobalFree(handle_);
  handle_ = 0;
  size_ = 0;
}

void cMemory::ReleaseDontFreeMemory() {
  UnlockMemory();
  handle_ = 0;
  size_ = 0;
}

}  // namespace svcmdlg
