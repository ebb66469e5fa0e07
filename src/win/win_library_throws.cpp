// The standard library's throw helpers, for the executable alone. The library keeps all of them
// in one object file whose exception types bring in a second, reference-counted string
// implementation and the whole narrow string: some 90 KB of a 250 KB executable, for errors that
// only a container grown past its maximum size could raise. These helpers throw what the
// process-level handler reports in the same way: the allocation failures as the library's own
// types, every other error as a std::exception with the library's message.
//
// Only the helpers that the program needs are here. Should a new one be needed, the linker
// pulls in the library's object file again and stops at the duplicate definitions, so this file
// cannot go out of step unnoticed.
#include <cstdarg>
#include <cstddef>
#include <new>

#include "errors.h"

namespace {

// A library error with its message, which the handler reports as that of any std::exception.
class ELibraryError final : public std::exception {
 public:
  static constexpr std::size_t kCapacity = 512;

  explicit ELibraryError(const char* AMessage) noexcept {
    kelto::CopyTruncated(AMessage, FMessage, kCapacity);
  }
  // The library's own formatting of these messages: %s, %zu and %% and nothing else.
  ELibraryError(const char* AFormat, std::va_list AArguments) noexcept {
    std::size_t LLength = 0;
    const auto LPut = [&](char AChar) {
      if (LLength + 1 < kCapacity) FMessage[LLength++] = AChar;
    };
    for (const char* LChar = AFormat; *LChar != '\0'; ++LChar) {
      if (LChar[0] == '%' && LChar[1] == 's') {
        for (const char* LText = va_arg(AArguments, const char*); *LText != '\0'; ++LText) {
          LPut(*LText);
        }
        ++LChar;
      } else if (LChar[0] == '%' && LChar[1] == 'z' && LChar[2] == 'u') {
        char LDigits[24];
        std::size_t LCount = 0;
        std::size_t LValue = va_arg(AArguments, std::size_t);
        do {
          LDigits[LCount++] = static_cast<char>('0' + LValue % 10);
          LValue /= 10;
        } while (LValue != 0);
        while (LCount > 0) LPut(LDigits[--LCount]);
        LChar += 2;
      } else if (LChar[0] == '%' && LChar[1] == '%') {
        LPut('%');
        ++LChar;
      } else {
        LPut(*LChar);
      }
    }
    FMessage[LLength] = '\0';
  }
  const char* what() const noexcept override { return FMessage; }

 private:
  char FMessage[kCapacity] = {};
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_logic_error(const char* AMessage) { throw ELibraryError(AMessage); }
void __throw_length_error(const char* AMessage) { throw ELibraryError(AMessage); }
void __throw_out_of_range(const char* AMessage) { throw ELibraryError(AMessage); }
void __throw_invalid_argument(const char* AMessage) { throw ELibraryError(AMessage); }
void __throw_runtime_error(const char* AMessage) { throw ELibraryError(AMessage); }
void __throw_out_of_range_fmt(const char* AFormat, ...) {
  std::va_list LArguments;
  va_start(LArguments, AFormat);
  const ELibraryError LError(AFormat, LArguments);
  va_end(LArguments);
  throw LError;
}

}  // namespace std
