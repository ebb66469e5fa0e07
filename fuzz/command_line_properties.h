// What must hold for every command line, checked against a model of the splitting rule that is
// written apart from SplitCommandLine. Used by the fuzzer and by the host tests that replay its
// corpus.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelto::fuzzing {

// The arguments of ACommandLine, worked out in one pass over its units with three states
// (between tokens, in a token, in a quoted stretch).
std::vector<std::u16string> ModelArguments(std::u16string_view ACommandLine);

// Splits ACommandLine and runs the command on a scripted set of devices, then compares both
// with the model: the same arguments at the same positions, none empty or holding a double
// quote or a NUL, and the exit code, output and number of device walks that the model's
// arguments call for. Returns what failed, or an empty text when everything held. Reads no
// unit of ACommandLine past its end.
std::string CheckCommandLine(std::u16string_view ACommandLine);

// The command line that a fuzzer input stands for: each pair of bytes is one UTF-16 unit, low
// byte first; an odd last byte is dropped. The units are held in a block of exactly their size
// and without a terminating NUL, so that a read past the text hits AddressSanitizer's guard.
std::vector<char16_t> CommandLineFromBytes(const unsigned char* AData, std::size_t ASize);

}  // namespace kelto::fuzzing
