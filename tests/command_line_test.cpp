#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "scripted_device_platform.h"

namespace kelto {
namespace {

using testing::Narrow;

std::vector<std::string> Split(std::u16string_view ACommandLine) {
  std::vector<std::string> LResult;
  for (const auto& LArgument : SplitCommandLine(ACommandLine)) LResult.push_back(Narrow(LArgument));
  return LResult;
}

using TArgs = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheSplittingRule) {
  const std::pair<std::u16string, TArgs> kCases[] = {
      {u"", {}},
      {u"kelto.exe", {}},
      {u"kelto.exe   ", {}},
      {u"kelto.exe d Wine", {"d", "Wine"}},
      {u"kelto.exe d \"Wine Adapter\"", {"d", "Wine Adapter"}},
      {u"kelto.exe d Wine\" \"Adapter", {"d", "Wine Adapter"}},
      {u"kelto.exe d \"Wine Adapter", {"d", "Wine Adapter"}},
      {u"kelto.exe d \"Wine\"Adapter x", {"d", "WineAdapter", "x"}},
      {u"kelto.exe \"\" d \"\" \"Wine Adapter\"", {"d", "Wine Adapter"}},
      {u"kelto.exe \"\"\"\" d", {"d"}},
      {u"kelto.exe d a\"\"b", {"d", "ab"}},
      {u"kelto.exe d \"", {"d"}},
      {u"kelto.exe d \"\"\"", {"d"}},
      {u"kelto.exe d \"\"\"x\"", {"d", "x"}},
      {u"kelto.exe h PCI\\VEN_0000\\\"x y\"", {"h", "PCI\\VEN_0000\\x y"}},
      {u"kelto.exe h \\\"a b\\\"", {"h", "\\a b\\"}},
      {u"\"C:\\Program Files\\kelto.exe\" d x", {"d", "x"}},
      {u"\"C:\\Program Files\\kelto.exe\"d x", {"x"}},
      {u"C:\\kelto.exe\td\tx", {"d", "x"}},
      {u"kelto.exe\r\nd\x01x\x1f"
       u"y\x20z",
       {"d", "x", "y", "z"}},
      {u"kelto.exe d \"a\tb\"", {"d", "a\tb"}},
      {u"kelto.exe d x y z", {"d", "x", "y", "z"}},
  };
  for (const auto& [LCommandLine, LExpected] : kCases) {
    EXPECT_EQ(Split(LCommandLine), LExpected) << Narrow(LCommandLine);
  }
}

TEST(SplitCommandLine, OnlyUnitsUpToSpaceSeparate) {
  for (char16_t LUnit = 1; LUnit <= 0x20; ++LUnit) {
    const std::u16string LLine = std::u16string(u"k") + LUnit + u"d" + LUnit + u"x";
    EXPECT_EQ(Split(LLine), (TArgs{"d", "x"})) << "U+" << std::hex << static_cast<int>(LUnit);
  }
  for (const char16_t LUnit :
       {u'\u0021', u'\u007f', u'\u0085', u'\u009f', u'\u00a0', u'\u2028', u'\u3000', u'\ufeff'}) {
    const std::u16string LLine = std::u16string(u"k d a") + LUnit + u"b";
    const auto LArguments = SplitCommandLine(LLine);
    ASSERT_EQ(LArguments.size(), 2u) << "U+" << std::hex << static_cast<int>(LUnit);
    EXPECT_EQ(LArguments[1], std::u16string(u"a") + LUnit + u"b");
  }
}

TEST(SplitCommandLine, NulEndsTheText) {
  const std::u16string LLine(u"k d x\0y z", 9);
  EXPECT_EQ(Split(LLine), (TArgs{"d", "x"}));
  const std::u16string LQuoted(u"k d \"a\0b\" c", 11);
  EXPECT_EQ(Split(LQuoted), (TArgs{"d", "a"}));
}

TEST(SplitCommandLine, KeepsUnitsThatAreNotValidUtf16) {
  const std::u16string LLine =
      u"k d a\xD800"
      u"b \xDC00";
  const auto LArguments = SplitCommandLine(LLine);
  ASSERT_EQ(LArguments.size(), 3u);
  EXPECT_EQ(LArguments[1],
            u"a\xD800"
            u"b");
  EXPECT_EQ(LArguments[2], u"\xDC00");
}

TEST(ArgumentAt, CountsFromOneAndIsEmptyBeyondTheEnd) {
  const std::vector<std::u16string> LArguments = {u"d", u"Wine"};
  EXPECT_EQ(ArgumentAt(LArguments, 1), u"d");
  EXPECT_EQ(ArgumentAt(LArguments, 2), u"Wine");
  EXPECT_EQ(ArgumentAt(LArguments, 3), u"");
  EXPECT_EQ(ArgumentAt(LArguments, 0), u"");
  EXPECT_EQ(ArgumentAt({}, 1), u"");
}

}  // namespace
}  // namespace kelto
