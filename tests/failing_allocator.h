// An allocator for the test executable that links failing_allocator.cpp: it replaces the global
// operator new and delete, counts the allocations of a stretch of code, fails one of them as
// the program's own allocator does when memory is exhausted, and tells which blocks that the
// stretch allocated were never freed.
#pragma once

#include <cstddef>

namespace kelto::testing {

// While one lives, every allocation through operator new is counted, and the AFailAt-th of
// them (counted from 1) raises EOutOfMemory instead of allocating; 0 fails none. Only one may
// live at a time.
class TAllocationFailure {
 public:
  explicit TAllocationFailure(std::size_t AFailAt) noexcept;
  TAllocationFailure(const TAllocationFailure&) = delete;
  TAllocationFailure& operator=(const TAllocationFailure&) = delete;
  ~TAllocationFailure();

  // Whether the failing allocation was asked for.
  bool Failed() const noexcept;
  // The allocations counted so far, the failed one included.
  std::size_t Allocations() const noexcept;
  // Blocks allocated while counting and not freed since.
  std::size_t BlocksNotFreed() const noexcept;
  // More blocks were live at once than can be tracked; BlocksNotFreed is then unreliable.
  bool TrackingOverflowed() const noexcept;
};

// While one lives, allocations are neither counted nor failed: for the test's own bookkeeping,
// which is not the code under test.
class TUncountedAllocations {
 public:
  TUncountedAllocations() noexcept;
  TUncountedAllocations(const TUncountedAllocations&) = delete;
  TUncountedAllocations& operator=(const TUncountedAllocations&) = delete;
  ~TUncountedAllocations();
};

}  // namespace kelto::testing
