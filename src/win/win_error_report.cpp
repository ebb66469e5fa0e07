#include "win/win_error_report.h"

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "win/win_text_output.h"

namespace kelto::win {
namespace {

constexpr std::size_t kReportCapacity = 4096;
constexpr DWORD kModulePathCapacity = 32768;

// Static so that reporting exhausted memory needs no memory.
wchar_t GModulePath[kModulePathCapacity];
char16_t GReport[kReportCapacity];
wchar_t GReportWide[kReportCapacity];
char GReportBytes[kReportCapacity * 4];

std::u16string_view FileNameOf(const wchar_t* APath, DWORD ALength, char16_t* AStorage) noexcept {
  DWORD LStart = ALength;
  while (LStart > 0 && APath[LStart - 1] != L'\\' && APath[LStart - 1] != L'/') --LStart;
  for (DWORD LIndex = LStart; LIndex < ALength; ++LIndex) {
    AStorage[LIndex - LStart] = static_cast<char16_t>(APath[LIndex]);
  }
  return std::u16string_view(AStorage, ALength - LStart);
}

}  // namespace

void ReportUnhandledError(const TErrorDescription& AError) noexcept {
  // An error without a known origin is placed at the start of the program's own module.
  HMODULE LModule = nullptr;
  if (AError.RaiseAddress == nullptr ||
      !GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(AError.RaiseAddress), &LModule)) {
    LModule = GetModuleHandleW(nullptr);
  }
  const auto LBase = reinterpret_cast<std::uintptr_t>(LModule);
  const auto LAddress = reinterpret_cast<std::uintptr_t>(AError.RaiseAddress);
  const auto LOffset =
      static_cast<std::uint32_t>(LAddress >= LBase && AError.RaiseAddress ? LAddress - LBase : 0);

  DWORD LPathLength = GetModuleFileNameW(LModule, GModulePath, kModulePathCapacity);
  if (LPathLength >= kModulePathCapacity) LPathLength = 0;
  static char16_t LNameStorage[kModulePathCapacity];
  const std::u16string_view LModuleName = FileNameOf(GModulePath, LPathLength, LNameStorage);

  const std::size_t LLength =
      FormatErrorReport(AError, LModuleName, LOffset, GReport, kReportCapacity);
  for (std::size_t LIndex = 0; LIndex < LLength; ++LIndex) {
    GReportWide[LIndex] = static_cast<wchar_t>(GReport[LIndex]);
  }
  const int LBytes = WideCharToMultiByte(CP_OEMCP, 0, GReportWide, static_cast<int>(LLength),
                                         GReportBytes, sizeof GReportBytes, nullptr, nullptr);
  const HANDLE LError = GetStdHandle(STD_ERROR_HANDLE);
  if (LBytes > 0 && LError != nullptr && LError != INVALID_HANDLE_VALUE) {
    WriteAll(LError, std::string_view(GReportBytes, static_cast<std::size_t>(LBytes)));
  }
}

}  // namespace kelto::win
