#pragma once

#include <string>

// Renders texts for the test log in plain ASCII, so that control characters, letters outside
// ASCII and line ends stay visible whatever code page the log is read in.

// Printable ASCII stays; every other UTF-16 unit becomes \uXXXX.
std::string Printable(const std::wstring& text);

// Printable ASCII stays; CR and LF become \r and \n, every other byte \xHH.
std::string PrintableBytes(const std::string& bytes);

// "U+0009" for the unit 0x0009.
std::string UnitName(wchar_t unit);
