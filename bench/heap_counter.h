/// Counts the heap a piece of code uses: the benchmark binary replaces malloc and
/// its relatives (operator new ends in malloc) with counting forwards to the C
/// library. Counting is off unless a HeapCount is alive, so timed runs pay one
/// untaken branch per call.
#pragma once

#include <cstddef>

// While alive, tracks the live heap bytes (usable size of every block) and their
// peak above the level at which counting started.
class HeapCount {
 public:
  HeapCount();
  ~HeapCount();
  HeapCount(const HeapCount&) = delete;
  HeapCount& operator=(const HeapCount&) = delete;
  std::size_t peak() const;
  std::size_t live() const;
  std::size_t allocations() const;
};

// Tells glibc to keep freed memory and to serve large blocks from the heap, so
// that warm runs measure parsing rather than page faults.
void KeepFreedMemory();
