// The program's allocator: the C runtime's heap, with exhaustion raised as EOutOfMemory so
// that the process-level report can say where the allocation was asked for.
#include <cstdlib>
#include <new>

#include "errors.h"

void* operator new(std::size_t ASize) {
  const void* LCaller = KELTO_RETURN_ADDRESS();
  for (;;) {
    if (void* LMemory = std::malloc(ASize != 0 ? ASize : 1)) return LMemory;
    const std::new_handler LHandler = std::get_new_handler();
    if (LHandler == nullptr) throw kelto::EOutOfMemory(LCaller);
    LHandler();
  }
}

void* operator new[](std::size_t ASize) { return ::operator new(ASize); }

void operator delete(void* AMemory) noexcept { std::free(AMemory); }
void operator delete[](void* AMemory) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, std::size_t) noexcept { std::free(AMemory); }
void operator delete[](void* AMemory, std::size_t) noexcept { std::free(AMemory); }
