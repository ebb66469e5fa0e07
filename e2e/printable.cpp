#include "printable.h"

#include <cstdio>

namespace {

bool IsPrintableAscii(unsigned value) { return value >= 0x20 && value < 0x7F; }

std::string Hex(unsigned value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

}  // namespace

std::string Printable(const std::wstring& text) {
  std::string printable;
  for (wchar_t unit : text) {
    const unsigned value = static_cast<unsigned>(unit);
    if (IsPrintableAscii(value)) {
      printable += static_cast<char>(value);
    } else {
      printable += "\\u" + Hex(value, 4);
    }
  }
  return printable;
}

std::string PrintableBytes(const std::string& bytes) {
  std::string printable;
  for (char byte : bytes) {
    const unsigned value = static_cast<unsigned char>(byte);
    if (value == '\r') {
      printable += "\\r";
    } else if (value == '\n') {
      printable += "\\n";
    } else if (IsPrintableAscii(value)) {
      printable += byte;
    } else {
      printable += "\\x" + Hex(value, 2);
    }
  }
  return printable;
}

std::string UnitName(wchar_t unit) { return "U+" + Hex(static_cast<unsigned>(unit), 4); }
