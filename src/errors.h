// The program's own error types. Each one records the code address where it was raised, so
// that the process-level report can name the module and the offset inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define KELTO_NOINLINE __declspec(noinline)
#define KELTO_RETURN_ADDRESS() _ReturnAddress()
#else
#define KELTO_NOINLINE __attribute__((noinline))
#define KELTO_RETURN_ADDRESS() __builtin_return_address(0)
#endif

namespace kelto {

class EKeltoError : public std::exception {
 public:
  EKeltoError(std::string AMessage, const void* ARaiseAddress);
  virtual const char* ClassName() const noexcept = 0;
  const char* what() const noexcept override { return FMessage.c_str(); }
  const void* RaiseAddress() const noexcept { return FRaiseAddress; }

 private:
  std::string FMessage;
  const void* FRaiseAddress;
};

class EInOutError final : public EKeltoError {
 public:
  using EKeltoError::EKeltoError;
  const char* ClassName() const noexcept override { return "EInOutError"; }
};

class EArgumentOutOfRangeException final : public EKeltoError {
 public:
  using EKeltoError::EKeltoError;
  const char* ClassName() const noexcept override { return "EArgumentOutOfRangeException"; }
};

// Raised by the allocator: a std::bad_alloc, as the language requires, that also knows where
// the failed allocation was asked for. It carries no text of its own so that raising it never
// allocates.
class EOutOfMemory final : public std::bad_alloc {
 public:
  explicit EOutOfMemory(const void* ARaiseAddress) noexcept : FRaiseAddress(ARaiseAddress) {}
  const char* what() const noexcept override { return "Out of memory"; }
  static const char* ClassName() noexcept { return "EOutOfMemory"; }
  const void* RaiseAddress() const noexcept { return FRaiseAddress; }

 private:
  const void* FRaiseAddress;
};

// Raise helpers. They are never inlined, so their return address lies in the caller: the
// place where the error is raised.
[[noreturn]] KELTO_NOINLINE void RaiseInOutError(const char* AMessage);
[[noreturn]] KELTO_NOINLINE void RaiseArgumentOutOfRange();

// Copies AText (null meaning empty) into ABuffer, cut short to fit, always NUL-terminated;
// ACapacity must be at least 1. For error texts that must be kept without allocating.
void CopyTruncated(const char* AText, char* ABuffer, std::size_t ACapacity) noexcept;

// What the process-level report says about an error that escaped. The message is copied into
// the description, so it outlives the error; nothing here allocates.
struct TErrorDescription {
  static constexpr std::size_t kMessageCapacity = 512;
  const char* ClassName = "";
  char Message[kMessageCapacity] = {};
  const void* RaiseAddress = nullptr;

  TErrorDescription() = default;
  TErrorDescription(const char* AClassName, const char* AMessage,
                    const void* ARaiseAddress) noexcept;
};

// Describes the exception that is being handled; call only inside a catch block.
TErrorDescription DescribeCurrentException() noexcept;

// Writes "Exception <class> in module <module> at <offset>.\r\n<message>[.]\r\n\r\n" into
// ABuffer, cut short if it does not fit, and returns the number of units written. The offset
// is given as eight upper-case hexadecimal digits. Allocates nothing, so that it also works
// when memory is exhausted.
std::size_t FormatErrorReport(const TErrorDescription& AError, std::u16string_view AModuleName,
                              std::uint32_t AModuleOffset, char16_t* ABuffer,
                              std::size_t ACapacity) noexcept;

}  // namespace kelto
