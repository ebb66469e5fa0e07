// The fuzzer's checks in the regular test run: its model of the splitting rule against lines
// worked out by hand, and every input of its committed corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_line_properties.h"
#include "scripted_device_platform.h"

namespace kelto {
namespace {

using fuzzing::CheckCommandLine;
using fuzzing::CommandLineFromBytes;
using fuzzing::ModelArguments;

TEST(CommandLineModel, SplitsLinesWorkedOutByHand) {
  const std::pair<std::u16string, std::vector<std::u16string>> kCases[] = {
      {u"", {}},
      {u"\"", {}},
      {u"k", {}},
      {u"\"\"k d", {u"d"}},
      {u"k \"\"\"\" \"\" d", {u"d"}},
      {u"k \"\"\"d\"\"\" x", {u"d", u"x"}},
      {u"k d \"", {u"d"}},
      {u"k d \"\"\"", {u"d"}},
      {u"k d \" \"", {u"d", u" "}},
      {u"k a\"b c\"d e", {u"ab cd", u"e"}},
      {u"k a\"\"b", {u"ab"}},
      {u"k \"d x", {u"d x"}},
      {u"\" k d\" x", {u"x"}},
      {std::u16string(u"k d\0x", 5), {u"d"}},
      {u"k\x01"
       u"d\x1fx\x20y\x7fz\u00a0",
       {u"d", u"x", u"y\x7fz\u00a0"}},
      {u"k \\\"d\\\" x", {u"\\d\\", u"x"}},
  };
  for (const auto& [LLine, LExpected] : kCases) {
    EXPECT_EQ(ModelArguments(LLine), LExpected) << testing::Narrow(LLine);
  }
}

TEST(CommandLineModel, ReadsUnitsLowByteFirstAndDropsAnOddByte) {
  const unsigned char kBytes[] = {'k', 0, ' ', 0, 0x00, 0xD8, 'x'};
  EXPECT_EQ(CommandLineFromBytes(kBytes, sizeof kBytes),
            (std::vector<char16_t>{u'k', u' ', char16_t{0xD800}}));
}

TEST(FuzzCorpus, EveryCommittedInputKeepsTheProperties) {
  int LInputs = 0;
  for (const auto& LEntry : std::filesystem::directory_iterator(KELTO_FUZZ_CORPUS_DIR)) {
    std::ifstream LFile(LEntry.path(), std::ios::binary);
    const std::vector<unsigned char> LBytes{std::istreambuf_iterator<char>(LFile),
                                            std::istreambuf_iterator<char>()};
    const std::vector<char16_t> LUnits = CommandLineFromBytes(LBytes.data(), LBytes.size());
    EXPECT_EQ(CheckCommandLine(std::u16string_view(LUnits.data(), LUnits.size())), "")
        << LEntry.path().filename();
    ++LInputs;
  }
  EXPECT_GT(LInputs, 0) << "no corpus in " << KELTO_FUZZ_CORPUS_DIR;
}

}  // namespace
}  // namespace kelto
