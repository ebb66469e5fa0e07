#include "command_line.h"

namespace kelto {
namespace {

constexpr char16_t kQuote = u'"';

bool IsSeparator(char16_t AUnit) noexcept { return AUnit >= 0x0001 && AUnit <= 0x0020; }

class TCommandLineReader {
 public:
  explicit TCommandLineReader(std::u16string_view ACommandLine) noexcept
      : FText(ACommandLine.substr(0, ACommandLine.find(u'\0'))) {}

  // The next token; empty only when the text is used up.
  std::u16string NextToken() {
    SkipSeparatorsAndEmptyPairs();
    std::u16string LToken;
    while (FPosition < FText.size() && !IsSeparator(FText[FPosition])) {
      if (FText[FPosition] == kQuote) {
        const std::size_t LStart = FPosition + 1;
        std::size_t LClose = FText.find(kQuote, LStart);
        if (LClose == std::u16string_view::npos) LClose = FText.size();
        LToken.append(FText.substr(LStart, LClose - LStart));
        FPosition = LClose < FText.size() ? LClose + 1 : LClose;
      } else {
        LToken.push_back(FText[FPosition++]);
      }
    }
    return LToken;
  }

 private:
  void SkipSeparatorsAndEmptyPairs() noexcept {
    while (FPosition < FText.size()) {
      if (IsSeparator(FText[FPosition])) {
        ++FPosition;
      } else if (FText[FPosition] == kQuote && FPosition + 1 < FText.size() &&
                 FText[FPosition + 1] == kQuote) {
        FPosition += 2;
      } else {
        break;
      }
    }
  }

  std::u16string_view FText;
  std::size_t FPosition = 0;
};

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view ACommandLine) {
  TCommandLineReader LReader(ACommandLine);
  LReader.NextToken();  // the program's own name
  std::vector<std::u16string> LArguments;
  for (std::u16string LToken = LReader.NextToken(); !LToken.empty(); LToken = LReader.NextToken()) {
    LArguments.push_back(std::move(LToken));
  }
  return LArguments;
}

std::u16string_view ArgumentAt(const std::vector<std::u16string>& AArguments,
                               std::size_t APosition) noexcept {
  if (APosition == 0 || APosition > AArguments.size()) return {};
  return AArguments[APosition - 1];
}

}  // namespace kelto
