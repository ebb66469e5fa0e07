#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "device_info_list.h"
#include "errors.h"
#include "scripted_device_platform.h"
#include "scripted_platform_checks.h"

namespace kelto {
namespace {

using testing::Device;
using testing::ExpectNothingHeld;
using testing::MultiStringValue;
using testing::Narrow;
using testing::StringValue;
using testing::TScriptedDevice;
using testing::TScriptedDevicePlatform;
using testing::UnterminatedValue;

std::vector<std::string> DescriptionsOf(const TDeviceInfoList& AList) {
  std::vector<std::string> LResult;
  for (std::int32_t LIndex = 0; LIndex < AList.Count(); ++LIndex) {
    LResult.push_back(Narrow(AList.Items(LIndex).DevDesc));
  }
  return LResult;
}

class DeviceInfoListTest : public ::testing::Test {
 protected:
  TScriptedDevicePlatform FPlatform;
  TDeviceInfoList FList{FPlatform};
};

TEST_F(DeviceInfoListTest, RecordsEveryDeviceWithItsSixPropertiesAndDecodedNumbers) {
  TScriptedDevice LFull;
  LFull.Status = 0x180A;
  LFull.ProblemNumber = 22;
  LFull.With(TDeviceProperty::FriendlyName, StringValue(u"Friendly"))
      .With(TDeviceProperty::DeviceDesc, StringValue(u"Description"))
      .With(TDeviceProperty::Driver, StringValue(u"{4d36e968}\\0000"))
      .With(TDeviceProperty::Class, StringValue(u"Display"))
      .With(TDeviceProperty::HardwareId, MultiStringValue({u"PCI\\VEN_1", u"PCI\\VEN_2"}))
      .With(TDeviceProperty::LocationInformation, StringValue(u"PCI bus 0"));
  FPlatform.Devices = {LFull, Device(u"Second")};

  FList.Refresh(nullptr, true);

  ASSERT_EQ(FList.Count(), 2);
  const TDeviceInfo LFirst = FList.Items(0);
  EXPECT_EQ(LFirst.FriendlyName, u"Friendly");
  EXPECT_EQ(LFirst.DevDesc, u"Description");
  EXPECT_EQ(LFirst.Driver, u"{4d36e968}\\0000");
  EXPECT_EQ(LFirst.ClassStr, u"Display");
  EXPECT_EQ(LFirst.HardwareID, u"PCI\\VEN_1");
  EXPECT_EQ(LFirst.Location, u"PCI bus 0");
  EXPECT_EQ(LFirst.DeviceStatus, GetDeviceStatusText(0x180A));
  EXPECT_EQ(LFirst.DeviceProblem, u"CM_PROB_DISABLED");
  EXPECT_EQ(FList.Items(1).DevDesc, u"Second");
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, MakesThePlatformCallsInOrder) {
  FPlatform.Devices = {Device(u"Only")};
  FList.Refresh(nullptr, true);
  const std::vector<std::string> kExpected = {
      "AcquireSetupLibrary",
      "OpenModule cfgmgr32.dll",
      "ResolveEntryPoint CM_Get_DevNode_Status",
      "GetClassDevs 4",
      "EnumDeviceInfo 0",
      "GetDevNodeStatus 1",
      "Property 12",
      "Property 0",
      "Property 9",
      "Property 7",
      "Property 1",
      "Property 13",
      "EnumDeviceInfo 1",
      "DestroyDeviceInfoList",
      "ReleaseModule 65536",
      "ReleaseSetupLibrary",
  };
  EXPECT_EQ(FPlatform.Calls, kExpected);
  for (const std::uint32_t LCbSize : FPlatform.CbSizesSeen) {
    EXPECT_EQ(LCbSize, sizeof(void*) == 8 ? 32u : 28u);
  }
  for (const std::uint32_t LSize : FPlatform.PropertyBufferSizesSeen) EXPECT_EQ(LSize, 522u);
}

TEST_F(DeviceInfoListTest, EarlyEndsLeaveAnEmptyListAndNothingHeld) {
  struct TCase {
    const char* Name;
    void (*Break)(TScriptedDevicePlatform&);
    const char* LastCall;
  };
  const TCase kCases[] = {
      {"setup library missing", [](auto& P) { P.SetupLibraryLoads = false; },
       "AcquireSetupLibrary"},
      {"cfgmgr32 handle 0", [](auto& P) { P.ConfigManagerHandle = 0; }, "ReleaseSetupLibrary"},
      {"cfgmgr32 handle 32", [](auto& P) { P.ConfigManagerHandle = 32; }, "ReleaseSetupLibrary"},
      {"status entry point missing", [](auto& P) { P.ConfigManagerHasDevNodeStatus = false; },
       "ReleaseSetupLibrary"},
  };
  for (const auto& LCase : kCases) {
    TScriptedDevicePlatform LPlatform;
    LPlatform.Devices = {Device(u"A"), Device(u"B")};
    TDeviceInfoList LList(LPlatform);
    LList.Refresh(nullptr, true);
    ASSERT_EQ(LList.Count(), 2) << LCase.Name;

    LCase.Break(LPlatform);
    LPlatform.Calls.clear();
    LList.Refresh(nullptr, true);

    EXPECT_EQ(LList.Count(), 0) << LCase.Name;
    EXPECT_EQ(LPlatform.CallCount("GetClassDevs"), 0) << LCase.Name;
    EXPECT_EQ(LPlatform.CallCount("EnumDeviceInfo"), 0) << LCase.Name;
    EXPECT_EQ(LPlatform.Calls.back(), LCase.LastCall) << LCase.Name;
    ExpectNothingHeld(LPlatform);
  }
}

TEST_F(DeviceInfoListTest, SetupLibraryFailureNeverLoadsTheConfigurationManager) {
  FPlatform.SetupLibraryLoads = false;
  FList.Refresh(nullptr, true);
  EXPECT_EQ(FPlatform.Calls, std::vector<std::string>{"AcquireSetupLibrary"});
}

TEST_F(DeviceInfoListTest, AHandleAboveThirtyTwoCountsAsLoaded) {
  FPlatform.ConfigManagerHandle = 33;
  FPlatform.Devices = {Device(u"A")};
  FList.Refresh(nullptr, true);
  EXPECT_EQ(FList.Count(), 1);
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, EnumerationFailurePartWayKeepsTheRecordsSoFar) {
  FPlatform.Devices = {Device(u"A"), Device(u"B"), Device(u"C"), Device(u"D")};
  FPlatform.EnumerationFailsAt = 2;
  FList.Refresh(nullptr, true);
  EXPECT_EQ(DescriptionsOf(FList), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(FPlatform.CallCount("EnumDeviceInfo"), 3);
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, AnUnopenableSetEndsAtTheFirstStepAndIsStillDestroyed) {
  FPlatform.Devices = {Device(u"A")};
  FPlatform.EnumerationFailsAt = 0;
  FList.Refresh(nullptr, true);
  EXPECT_EQ(FList.Count(), 0);
  EXPECT_EQ(FPlatform.SetsDestroyed, 1);
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, AnEmptySetGivesAnEmptyList) {
  FList.Refresh([](TDeviceInfo) { return false; }, true);
  EXPECT_EQ(FList.Count(), 0);
  EXPECT_EQ(FPlatform.CallCount("EnumDeviceInfo"), 1);
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, ASecondRefreshReplacesTheFirst) {
  FPlatform.Devices = {Device(u"A"), Device(u"B")};
  FList.Refresh(nullptr, true);
  FPlatform.Devices = {Device(u"C")};
  FList.Refresh(nullptr, true);
  EXPECT_EQ(DescriptionsOf(FList), std::vector<std::string>{"C"});
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, LoadAllDeviceDecidesOverDevicesWithStatusZero) {
  TScriptedDevice LNotInstalled = Device(u"Not installed");
  LNotInstalled.Status = 0;
  LNotInstalled.ProblemNumber = 22;
  FPlatform.Devices = {Device(u"A"), LNotInstalled, Device(u"C")};
  std::vector<std::string> LOffered;
  const auto LRecordOffers = [&LOffered](TDeviceInfo ADevice) {
    LOffered.push_back(Narrow(ADevice.DevDesc));
    return false;
  };

  FList.Refresh(LRecordOffers, false);
  EXPECT_EQ(DescriptionsOf(FList), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(LOffered, (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(FPlatform.CallCount("EnumDeviceInfo"), 4) << "the index goes on past a skipped device";
  EXPECT_EQ(FPlatform.CallCount("Property"), 12) << "a skipped device's properties are not read";

  LOffered.clear();
  FList.Refresh(LRecordOffers, true);
  ASSERT_EQ(FList.Count(), 3);
  EXPECT_EQ(FList.Items(1).DeviceStatus, u"The Device is not installed");
  EXPECT_EQ(FList.Items(1).DeviceProblem, u"CM_PROB_DISABLED");
  EXPECT_EQ(LOffered.size(), 3u);
}

TEST_F(DeviceInfoListTest, AStatusCallThatWritesNothingReadsAsNotInstalledForTheFirstDevice) {
  TScriptedDevice LSilentFirst = Device(u"silent first");
  LSilentFirst.StatusWritten = false;
  TScriptedDevice LWritten = Device(u"written");
  LWritten.Status = 0x8;
  LWritten.ProblemNumber = 10;
  TScriptedDevice LSilentLater = Device(u"silent later");
  LSilentLater.StatusWritten = false;
  FPlatform.Devices = {LSilentFirst, LWritten, LSilentLater};

  FList.Refresh(nullptr, true);

  ASSERT_EQ(FList.Count(), 3);
  EXPECT_EQ(FList.Items(0).DeviceStatus, u"The Device is not installed");
  EXPECT_EQ(FList.Items(0).DeviceProblem, u"No Problems");
  EXPECT_EQ(FList.Items(2).DeviceStatus, FList.Items(1).DeviceStatus);
  EXPECT_EQ(FList.Items(2).DeviceProblem, u"CM_PROB_FAILED_START");

  FList.Refresh(nullptr, false);
  EXPECT_EQ(DescriptionsOf(FList), (std::vector<std::string>{"written", "silent later"}));
}

TEST_F(DeviceInfoListTest, FindFunctionStopsTheWalkAtItsDevice) {
  FPlatform.Devices = {Device(u"A"), Device(u"B"), Device(u"C"), Device(u"D"), Device(u"E")};
  int LOffers = 0;
  FList.Refresh([&LOffers](TDeviceInfo) { return ++LOffers == 3; }, true);
  EXPECT_EQ(FList.Count(), 3);
  EXPECT_EQ(FList.Items(2).DevDesc, u"C");
  EXPECT_EQ(FPlatform.CallCount("EnumDeviceInfo"), 3);
  ExpectNothingHeld(FPlatform);
}

TEST_F(DeviceInfoListTest, FindFunctionIsOfferedTheRecordAsAppended) {
  FPlatform.Devices = {Device(u"A", u"HW\\A"), Device(u"B", u"HW\\B")};
  std::vector<TDeviceInfo> LOffered;
  FList.Refresh(
      [&LOffered](TDeviceInfo ADevice) {
        LOffered.push_back(ADevice);
        ADevice.DevDesc = u"changed by the find function";
        return false;
      },
      true);
  ASSERT_EQ(LOffered.size(), 2u);
  EXPECT_EQ(LOffered[0], FList.Items(0));
  EXPECT_EQ(LOffered[1], FList.Items(1));
}

TEST_F(DeviceInfoListTest, AThrowingFindFunctionReleasesEverythingAndKeepsTheRecords) {
  FPlatform.Devices = {Device(u"A"), Device(u"B"), Device(u"C")};
  int LOffers = 0;
  EXPECT_THROW(FList.Refresh(
                   [&LOffers](TDeviceInfo) -> bool {
                     if (++LOffers == 2) throw std::runtime_error("find failed");
                     return false;
                   },
                   true),
               std::runtime_error);
  EXPECT_EQ(DescriptionsOf(FList), (std::vector<std::string>{"A", "B"}));
  ExpectNothingHeld(FPlatform);
  const std::vector<std::string> kTail = {"DestroyDeviceInfoList", "ReleaseModule 65536",
                                          "ReleaseSetupLibrary"};
  EXPECT_EQ(std::vector<std::string>(FPlatform.Calls.end() - 3, FPlatform.Calls.end()), kTail);
}

TEST_F(DeviceInfoListTest, AFindFunctionIsLetGoOfWhenTheRefreshEnds) {
  FPlatform.Devices = {Device(u"A")};
  auto LCaptured = std::make_shared<int>(0);
  FList.Refresh([LCaptured](TDeviceInfo) { return false; }, true);
  EXPECT_EQ(LCaptured.use_count(), 1);
}

TEST_F(DeviceInfoListTest, HardwareIdHoldsTheFirstEntryOnly) {
  TScriptedDevice LDevice = Device(u"Two IDs");
  LDevice.With(TDeviceProperty::HardwareId, MultiStringValue({u"USB\\VID_1", u"USB\\CLASS_2"}));
  FPlatform.Devices = {LDevice};
  FList.Refresh(nullptr, true);
  EXPECT_EQ(FList.Items(0).HardwareID, u"USB\\VID_1");
}

TEST_F(DeviceInfoListTest, PropertyValuesAreCutAtTheirNulOrTheBufferEnd) {
  const std::u16string L260(260, u'x');
  const std::u16string L261(261, u'y');
  struct TCase {
    const char* Name;
    testing::TBytes Value;
    std::u16string Expected;
  };
  const TCase kCases[] = {
      {"260 units and NUL: 522 bytes", StringValue(L260), L260},
      {"261 units without NUL", UnterminatedValue(L261), L261},
      {"261 units and NUL does not fit", StringValue(L261), u""},
      {"a long value does not fit", StringValue(std::u16string(1000, u'z')), u""},
      {"short without NUL", UnterminatedValue(u"short"), u"short"},
      {"empty", StringValue(u""), u""},
      {"embedded NUL", UnterminatedValue(std::u16string(u"ab\0cd", 5)), u"ab"},
  };
  for (const auto& LCase : kCases) {
    TScriptedDevicePlatform LPlatform;
    TScriptedDevice LDevice;
    LDevice.With(TDeviceProperty::LocationInformation, LCase.Value);
    LPlatform.Devices = {LDevice};
    TDeviceInfoList LList(LPlatform);
    LList.Refresh(nullptr, true);
    ASSERT_EQ(LList.Count(), 1) << LCase.Name;
    EXPECT_EQ(LList.Items(0).Location, LCase.Expected) << LCase.Name;
  }
}

TEST_F(DeviceInfoListTest, NoFieldCarriesTextFromAnotherDevice) {
  TScriptedDevice LRich = Device(u"Rich", u"HW\\RICH");
  LRich.With(TDeviceProperty::FriendlyName, StringValue(u"Rich friendly name"))
      .With(TDeviceProperty::LocationInformation, StringValue(std::u16string(200, u'L')));
  TScriptedDevice LBare;  // no property can be read
  TScriptedDevice LUnterminated;
  LUnterminated.With(TDeviceProperty::LocationInformation, UnterminatedValue(u"short"));
  FPlatform.Devices = {LRich, LBare, LUnterminated};

  FList.Refresh(nullptr, true);

  ASSERT_EQ(FList.Count(), 3);
  const TDeviceInfo LBareInfo = FList.Items(1);
  EXPECT_EQ(LBareInfo.FriendlyName, u"");
  EXPECT_EQ(LBareInfo.DevDesc, u"");
  EXPECT_EQ(LBareInfo.HardwareID, u"");
  EXPECT_EQ(LBareInfo.Location, u"");
  EXPECT_EQ(FList.Items(2).Location, u"short");
  EXPECT_EQ(FPlatform.CallCount("Property"), 18) << "failed reads do not stop the others";
}

TEST_F(DeviceInfoListTest, ItemsOutOfRangeRaiseAndLeaveTheListAlone) {
  EXPECT_THROW(FList.Items(0), EArgumentOutOfRangeException);
  FPlatform.Devices = {Device(u"A"), Device(u"B")};
  FList.Refresh(nullptr, true);
  for (const std::int32_t LIndex : {-1, 2, INT32_MIN, INT32_MAX}) {
    try {
      FList.Items(LIndex);
      ADD_FAILURE() << "no error for index " << LIndex;
    } catch (const EArgumentOutOfRangeException& LError) {
      EXPECT_STREQ(LError.what(), "Argument out of range");
      EXPECT_STREQ(LError.ClassName(), "EArgumentOutOfRangeException");
    }
  }
  EXPECT_EQ(DescriptionsOf(FList), (std::vector<std::string>{"A", "B"}));
}

TEST_F(DeviceInfoListTest, ItemsHandsOutCopies) {
  FPlatform.Devices = {Device(u"Original")};
  FList.Refresh(nullptr, true);
  TDeviceInfo LCopy = FList.Items(0);
  LCopy.DevDesc = u"Changed";
  EXPECT_EQ(FList.Items(0).DevDesc, u"Original");
}

TEST(DeviceInfoListDefault, UsesTheProcessPlatformAndIsEmptyWithoutOne) {
  TDeviceInfoList LList;
  LList.Refresh(nullptr, true);
  EXPECT_EQ(LList.Count(), 0);

  testing::TScriptedPlatformScope LScope;
  LScope.Platform.Devices = {Device(u"Scripted")};
  TDeviceInfoList LScripted;
  LScripted.Refresh(nullptr, true);
  EXPECT_EQ(DescriptionsOf(LScripted), std::vector<std::string>{"Scripted"});
}

}  // namespace
}  // namespace kelto
