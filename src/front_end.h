// The command-line front end: picks the command, writes the usage text or asks one query, and
// turns the answer into the exit code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelto {

// Where the usage text goes. WriteLine adds the CR LF line end itself.
class TTextOutput {
 public:
  TTextOutput() = default;
  TTextOutput(const TTextOutput&) = delete;
  TTextOutput& operator=(const TTextOutput&) = delete;
  virtual ~TTextOutput() = default;
  virtual void WriteLine(std::u16string_view ALine) = 0;
};

inline constexpr std::u16string_view kUsageLines[] = {
    u"kelto [comaand] [param] exitcode: 0(fail), 1(Success)",
    u"   h: find by hardware-id",
    u"   d: find by device-desc",
    u"   ?: help",
};

// Runs one command and returns the exit code: 1 for a match and after the usage text, 0
// otherwise. Errors are not caught here.
int RunCommand(const std::vector<std::u16string>& AArguments, TTextOutput& AOutput);

}  // namespace kelto
