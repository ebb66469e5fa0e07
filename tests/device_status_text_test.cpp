#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "device_info_list.h"
#include "scripted_device_platform.h"

namespace kelto {
namespace {

using testing::Narrow;

const std::u16string kRoot = u"DN_ROOT_ENUMERATED: Was enumerated by ROOT\r\n";
const std::u16string kDriver = u"DN_DRIVER_LOADED: Has Register_Device_Driver\r\n";
const std::u16string kStarted = u"DN_STARTED: Is currently configured\r\n";
const std::u16string kHardwareEnum = u"DN_HARDWARE_ENUM:  Enum generates hardware ID\r\n";
const std::u16string kDisableable = u"DN_DISABLEABLE: Can be rebalanced\r\n";
const std::u16string kWillBeRemoved = u"DN_WILL_BE_REMOVED: DevInst is being removed\r\n";

const std::u16string kAllNineteenLines =
    u"DN_ROOT_ENUMERATED: Was enumerated by ROOT\r\n"
    u"DN_DRIVER_LOADED: Has Register_Device_Driver\r\n"
    u"DN_ENUM_LOADED: Has Register_Enumerator\r\n"
    u"DN_STARTED: Is currently configured\r\n"
    u"DN_MANUAL: Manually installed\r\n"
    u"DN_NEED_TO_ENUM: May need reenumeration\r\n"
    u"DN_NOT_FIRST_TIME: Has received a config\r\n"
    u"DN_HARDWARE_ENUM:  Enum generates hardware ID\r\n"
    u"DN_LIAR: Lied about can reconfig once\r\n"
    u"DN_HAS_MARK: Not CM_Create_DevInst lately\r\n"
    u"DN_HAS_PROBLEM: Need device installer\r\n"
    u"DN_FILTERED: Is filtered\r\n"
    u"DN_MOVED: Has been moved\r\n"
    u"DN_DISABLEABLE: Can be rebalanced\r\n"
    u"DN_REMOVABLE: Can be removed\r\n"
    u"DN_PRIVATE_PROBLEM: Has a private problem\r\n"
    u"DN_MF_PARENT: Multi function parent\r\n"
    u"DN_MF_CHILD: Multi function child\r\n"
    u"DN_WILL_BE_REMOVED: DevInst is being removed\r\n";

struct TStatusCase {
  const char* Name;
  std::uint32_t Word;
  std::u16string Expected;
};

TEST(DeviceStatusText, RendersTheSetFlagsLowestBitFirst) {
  const TStatusCase kCases[] = {
      {"zero word", 0, u"The Device is not installed"},
      {"bit 0", 0x1, kRoot},
      {"bits 1 and 3", 10, kDriver + kStarted},
      {"bit 7 with two spaces", 0x80, kHardwareEnum},
      {"bit 18, the highest read", 0x40000, kWillBeRemoved},
      {"bits 1, 3, 13, 23 and 24", 0x0180200A, kDriver + kStarted + kDisableable},
      {"bits 0 to 18", 0x7FFFF, kAllNineteenLines},
      {"all ones", 0xFFFFFFFF, kAllNineteenLines},
      {"bit 19 alone", 0x80000, u""},
      {"bits 23 and 24 alone", 0x01800000, u""},
  };
  for (const auto& LCase : kCases) {
    EXPECT_EQ(Narrow(GetDeviceStatusText(LCase.Word)), Narrow(LCase.Expected)) << LCase.Name;
  }
}

TEST(DeviceStatusText, LineLengthsAreExact) {
  EXPECT_EQ(GetDeviceStatusText(1).size(), 44u);
  const std::u16string LBit7 = GetDeviceStatusText(0x80);
  ASSERT_GE(LBit7.size(), 2u);
  EXPECT_EQ(LBit7.size() - 2, 45u);
  EXPECT_EQ(LBit7.substr(LBit7.size() - 2), u"\r\n");
}

TEST(DeviceStatusText, EveryFlagHasItsOwnLineNamedAfterItsFlag) {
  const char* const kFlagNames[] = {
      "DN_ROOT_ENUMERATED", "DN_DRIVER_LOADED", "DN_ENUM_LOADED",
      "DN_STARTED",         "DN_MANUAL",        "DN_NEED_TO_ENUM",
      "DN_NOT_FIRST_TIME",  "DN_HARDWARE_ENUM", "DN_LIAR",
      "DN_HAS_MARK",        "DN_HAS_PROBLEM",   "DN_FILTERED",
      "DN_MOVED",           "DN_DISABLEABLE",   "DN_REMOVABLE",
      "DN_PRIVATE_PROBLEM", "DN_MF_PARENT",     "DN_MF_CHILD",
      "DN_WILL_BE_REMOVED",
  };
  for (std::uint32_t LBit = 0; LBit < 19; ++LBit) {
    const std::string LLine = Narrow(GetDeviceStatusText(1u << LBit));
    EXPECT_EQ(LLine.rfind(std::string(kFlagNames[LBit]) + ":", 0), 0u) << "bit " << LBit;
    EXPECT_EQ(LLine.find("\r\n"), LLine.size() - 2) << "bit " << LBit << " is one line";
  }
}

TEST(DeviceProblemText, NamesTheKnownNumbersAndNothingElse) {
  const std::pair<std::uint32_t, const char*> kCases[] = {
      {0, "No Problems"},
      {1, "CM_PROB_NOT_CONFIGURED"},
      {10, "CM_PROB_FAILED_START"},
      {22, "CM_PROB_DISABLED"},
      {28, "CM_PROB_FAILED_INSTALL"},
      {30, "CM_PROB_CANT_SHARE_IRQ"},
      {31, "Undefined Problem"},
      {0x7FFFFFFF, "Undefined Problem"},
      {0x80000000, "Undefined Problem"},
      {0xFFFFFFFF, "Undefined Problem"},
  };
  for (const auto& [LNumber, LExpected] : kCases) {
    EXPECT_EQ(Narrow(GetDeviceProblemText(LNumber)), LExpected) << LNumber;
  }
}

TEST(DeviceProblemText, EveryNumberUpToThirtyHasADistinctProblemName) {
  std::set<std::u16string> LNames;
  for (std::uint32_t LNumber = 1; LNumber <= 30; ++LNumber) {
    const std::u16string LName = GetDeviceProblemText(LNumber);
    EXPECT_EQ(LName.rfind(u"CM_PROB_", 0), 0u) << LNumber;
    LNames.insert(LName);
  }
  EXPECT_EQ(LNames.size(), 30u);
}

}  // namespace
}  // namespace kelto
