// Conversions between the platform's wchar_t texts and the core's char16_t texts. Both are
// UTF-16 on Windows; the units are copied rather than reinterpreted.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kelto::win {

inline std::u16string ToU16(const wchar_t* AText) {
  std::u16string LResult;
  if (AText != nullptr) {
    for (; *AText != L'\0'; ++AText) LResult.push_back(static_cast<char16_t>(*AText));
  }
  return LResult;
}

inline std::wstring ToWide(std::u16string_view AText) {
  return std::wstring(AText.begin(), AText.end());
}

// AText in the given code page; characters without a mapping become the code page's default.
std::string ToCodePage(std::u16string_view AText, UINT ACodePage);

}  // namespace kelto::win
