#include "failing_allocator.h"

#include <array>
#include <cstdlib>
#include <new>

#include "errors.h"

namespace kelto::testing {
namespace {

// Large enough for every block that a refresh or a query holds at one time.
constexpr std::size_t kTrackedBlocks = 4096;

// Plain data with constant initialisation: operator new runs before any dynamic initialiser.
struct TAllocatorState {
  bool Counting = false;
  int UncountedDepth = 0;
  std::size_t FailAt = 0;
  std::size_t Allocations = 0;
  bool Failed = false;
  std::array<void*, kTrackedBlocks> LiveBlocks{};
  std::size_t LiveCount = 0;
  bool Overflowed = false;
};

constinit TAllocatorState GState;

bool IsCounting() noexcept { return GState.Counting && GState.UncountedDepth == 0; }

void Track(void* ABlock) noexcept {
  if (GState.LiveCount == kTrackedBlocks) {
    GState.Overflowed = true;
    return;
  }
  GState.LiveBlocks[GState.LiveCount++] = ABlock;
}

void Untrack(void* ABlock) noexcept {
  for (std::size_t LIndex = GState.LiveCount; LIndex-- > 0;) {
    if (GState.LiveBlocks[LIndex] == ABlock) {
      GState.LiveBlocks[LIndex] = GState.LiveBlocks[--GState.LiveCount];
      return;
    }
  }
}

void* Allocate(std::size_t ASize, std::size_t AAlignment, const void* ACaller) {
  const bool LCounted = IsCounting();
  if (LCounted && ++GState.Allocations == GState.FailAt) {
    GState.Failed = true;
    throw EOutOfMemory(ACaller);
  }
  const std::size_t LSize = ASize != 0 ? ASize : 1;
  void* LBlock =
      AAlignment <= alignof(std::max_align_t)
          ? std::malloc(LSize)
          : std::aligned_alloc(AAlignment, (LSize + AAlignment - 1) / AAlignment * AAlignment);
  if (LBlock == nullptr) throw std::bad_alloc();
  if (LCounted) Track(LBlock);
  return LBlock;
}

void Deallocate(void* ABlock) noexcept {
  if (ABlock == nullptr) return;
  if (GState.LiveCount != 0) Untrack(ABlock);
  std::free(ABlock);
}

}  // namespace

TAllocationFailure::TAllocationFailure(std::size_t AFailAt) noexcept {
  if (GState.Counting) std::abort();  // one at a time
  GState.Counting = true;
  GState.FailAt = AFailAt;
  GState.Allocations = 0;
  GState.Failed = false;
  GState.LiveCount = 0;
  GState.Overflowed = false;
}

TAllocationFailure::~TAllocationFailure() {
  GState.Counting = false;
  GState.FailAt = 0;
  // Blocks still live belong to the test from here on and are freed untracked.
  GState.LiveCount = 0;
}

bool TAllocationFailure::Failed() const noexcept { return GState.Failed; }
std::size_t TAllocationFailure::Allocations() const noexcept { return GState.Allocations; }
std::size_t TAllocationFailure::BlocksNotFreed() const noexcept { return GState.LiveCount; }
bool TAllocationFailure::TrackingOverflowed() const noexcept { return GState.Overflowed; }

TUncountedAllocations::TUncountedAllocations() noexcept { ++GState.UncountedDepth; }
TUncountedAllocations::~TUncountedAllocations() { --GState.UncountedDepth; }

}  // namespace kelto::testing

// The replacements. Every form is replaced, so that no block allocated here is freed by another
// allocator's delete (AddressSanitizer's among them) and the other way round.

void* operator new(std::size_t ASize) {
  return kelto::testing::Allocate(ASize, 0, KELTO_RETURN_ADDRESS());
}
void* operator new[](std::size_t ASize) {
  return kelto::testing::Allocate(ASize, 0, KELTO_RETURN_ADDRESS());
}
void* operator new(std::size_t ASize, std::align_val_t AAlignment) {
  return kelto::testing::Allocate(ASize, static_cast<std::size_t>(AAlignment),
                                  KELTO_RETURN_ADDRESS());
}
void* operator new[](std::size_t ASize, std::align_val_t AAlignment) {
  return kelto::testing::Allocate(ASize, static_cast<std::size_t>(AAlignment),
                                  KELTO_RETURN_ADDRESS());
}
void* operator new(std::size_t ASize, const std::nothrow_t&) noexcept {
  try {
    return kelto::testing::Allocate(ASize, 0, KELTO_RETURN_ADDRESS());
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t ASize, const std::nothrow_t&) noexcept {
  try {
    return kelto::testing::Allocate(ASize, 0, KELTO_RETURN_ADDRESS());
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t ASize, std::align_val_t AAlignment, const std::nothrow_t&) noexcept {
  try {
    return kelto::testing::Allocate(ASize, static_cast<std::size_t>(AAlignment),
                                    KELTO_RETURN_ADDRESS());
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t ASize, std::align_val_t AAlignment,
                     const std::nothrow_t&) noexcept {
  try {
    return kelto::testing::Allocate(ASize, static_cast<std::size_t>(AAlignment),
                                    KELTO_RETURN_ADDRESS());
  } catch (...) {
    return nullptr;
  }
}

void operator delete(void* ABlock) noexcept { kelto::testing::Deallocate(ABlock); }
void operator delete[](void* ABlock) noexcept { kelto::testing::Deallocate(ABlock); }
void operator delete(void* ABlock, std::size_t) noexcept { kelto::testing::Deallocate(ABlock); }
void operator delete[](void* ABlock, std::size_t) noexcept { kelto::testing::Deallocate(ABlock); }
void operator delete(void* ABlock, std::align_val_t) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete[](void* ABlock, std::align_val_t) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete(void* ABlock, std::size_t, std::align_val_t) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete[](void* ABlock, std::size_t, std::align_val_t) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete(void* ABlock, const std::nothrow_t&) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete[](void* ABlock, const std::nothrow_t&) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete(void* ABlock, std::align_val_t, const std::nothrow_t&) noexcept {
  kelto::testing::Deallocate(ABlock);
}
void operator delete[](void* ABlock, std::align_val_t, const std::nothrow_t&) noexcept {
  kelto::testing::Deallocate(ABlock);
}
