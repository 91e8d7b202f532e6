#include "bench/heap_counter.h"

#include <malloc.h>

#include <cstdint>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

bool counting = false;

long long liveBytes = 0;  // may dip below zero: blocks from before counting are freed
long long peakBytes = 0;
std::size_t allocationCount = 0;

void Added(void* block) {
  if (!counting || block == nullptr)
    return;
  liveBytes += static_cast<long long>(malloc_usable_size(block));
  if (liveBytes > peakBytes)
    peakBytes = liveBytes;
  ++allocationCount;
}

void Removed(void* block) {
  if (counting && block != nullptr)
    liveBytes -= static_cast<long long>(malloc_usable_size(block));
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  Added(block);
  return block;
}

void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  Added(block);
  return block;
}

void* realloc(void* block, std::size_t size) {
  Removed(block);
  void* moved = __libc_realloc(block, size);
  // A failed realloc leaves the block as it was.
  Added(moved != nullptr ? moved : (size == 0 ? nullptr : block));
  if (counting && moved != nullptr)
    --allocationCount;  // a resize, not a new block
  return moved;
}

void free(void* block) {
  Removed(block);
  __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size) {
  void* block = __libc_memalign(alignment, size);
  Added(block);
  return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  void* block = memalign(alignment, size);
  if (block == nullptr)
    return 12;  // ENOMEM
  *result = block;
  return 0;
}

}  // extern "C"

HeapCount::HeapCount() {
  liveBytes = 0;
  peakBytes = 0;
  allocationCount = 0;
  counting = true;
}

HeapCount::~HeapCount() {
  counting = false;
}

std::size_t HeapCount::peak() const {
  return static_cast<std::size_t>(peakBytes);
}

std::size_t HeapCount::live() const {
  return liveBytes < 0 ? 0 : static_cast<std::size_t>(liveBytes);
}

std::size_t HeapCount::allocations() const {
  return allocationCount;
}

void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 64 << 20);
}
