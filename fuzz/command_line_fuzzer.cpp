// libFuzzer entry: every input is a command line of UTF-16 units, split and run as a command
// on scripted devices, with every property of CheckCommandLine required to hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::vector<char16_t> LUnits = kelto::fuzzing::CommandLineFromBytes(AData, ASize);
  const std::string LFailure =
      kelto::fuzzing::CheckCommandLine(std::u16string_view(LUnits.data(), LUnits.size()));
  if (!LFailure.empty()) {
    std::fprintf(stderr, "command-line property failed: %s\n", LFailure.c_str());
    std::abort();
  }
  return 0;
}
