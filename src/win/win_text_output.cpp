#include "win/win_text_output.h"

#include <limits>

#include "errors.h"
#include "win/win_text.h"

namespace kelto::win {

std::string ToCodePage(std::u16string_view AText, UINT ACodePage) {
  if (AText.empty()) return {};
  const std::wstring LWide = ToWide(AText);
  const int LLength = static_cast<int>(LWide.size());
  const int LBytes =
      WideCharToMultiByte(ACodePage, 0, LWide.data(), LLength, nullptr, 0, nullptr, nullptr);
  if (LBytes <= 0) RaiseInOutError("Text cannot be converted to the output code page");
  std::string LResult(static_cast<std::size_t>(LBytes), '\0');
  WideCharToMultiByte(ACodePage, 0, LWide.data(), LLength, LResult.data(), LBytes, nullptr,
                      nullptr);
  return LResult;
}

bool WriteAll(HANDLE AHandle, std::string_view ABytes) noexcept {
  while (!ABytes.empty()) {
    const DWORD LChunk =
        static_cast<DWORD>(std::min<std::size_t>(ABytes.size(), std::numeric_limits<DWORD>::max()));
    DWORD LWritten = 0;
    if (!WriteFile(AHandle, ABytes.data(), LChunk, &LWritten, nullptr) || LWritten == 0) {
      return false;
    }
    ABytes.remove_prefix(LWritten);
  }
  return true;
}

void TStandardOutput::Open() {
  const HANDLE LHandle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (LHandle == nullptr || LHandle == INVALID_HANDLE_VALUE) {
    RaiseInOutError("Standard output is not available");
  }
  SetLastError(NO_ERROR);
  const DWORD LType = GetFileType(LHandle);
  if (LType == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
    RaiseInOutError("Standard output is not available");
  }
  FHandle = LHandle;
  if (LType == FILE_TYPE_CHAR) {
    FState = TState::Console;
    FCodePage = GetConsoleOutputCP();
    if (FCodePage == 0) FCodePage = GetOEMCP();
  } else {
    FState = TState::Held;
    FCodePage = GetACP();
  }
}

void TStandardOutput::WriteLine(std::u16string_view ALine) {
  if (FState == TState::Unopened) Open();
  std::string LBytes = ToCodePage(ALine, FCodePage);
  LBytes.append("\r\n");
  if (FState == TState::Held) {
    FHeld.append(LBytes);
  } else if (!WriteAll(FHandle, LBytes)) {
    RaiseInOutError("Standard output cannot be written");
  }
}

void TStandardOutput::WriteHeldOutput() noexcept {
  if (FState != TState::Held || FHeld.empty()) return;
  WriteAll(FHandle, FHeld);
  FHeld.clear();
}

}  // namespace kelto::win
