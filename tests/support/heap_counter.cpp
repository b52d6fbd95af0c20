// A program's operator new and delete: malloc and free with a small header
// that remembers each block's size, so live bytes can be told.
#include "support/heap_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// Keeps the alignment malloc gives.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> liveBytes{0};
std::atomic<std::uint64_t> peakBytes{0};

void* allocate(std::size_t size) noexcept {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) return nullptr;
  *static_cast<std::size_t*>(block) = size;
  allocations.fetch_add(1, std::memory_order_relaxed);
  const std::uint64_t live = liveBytes.fetch_add(size, std::memory_order_relaxed) + size;
  std::uint64_t peak = peakBytes.load(std::memory_order_relaxed);
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  liveBytes.fetch_sub(*static_cast<std::size_t*>(block), std::memory_order_relaxed);
  std::free(block);
}

void* allocateOrThrow(std::size_t size) {
  void* pointer = allocate(size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

}  // namespace

HeapCounts heapCounts() {
  return HeapCounts{allocations.load(std::memory_order_relaxed), liveBytes.load(std::memory_order_relaxed),
                    peakBytes.load(std::memory_order_relaxed)};
}

void resetHeapPeak() {
  peakBytes.store(liveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
