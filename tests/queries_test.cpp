#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "device_info_list.h"
#include "scripted_device_platform.h"

namespace kelto {
namespace {

using testing::Device;
using testing::MultiStringValue;
using testing::TScriptedDevice;
using testing::TScriptedPlatformScope;

class QueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TScriptedDevice LTwoIds = Device(u"Two IDs");
    LTwoIds.With(TDeviceProperty::HardwareId,
                 MultiStringValue({u"USB\\VID_046D&PID_C52B", u"USB\\Class_03&SubClass_01"}));
    FScope.Platform.Devices = {
        Device(u"Generic Non-PnP Monitor", u"MONITOR\\Default_Monitor"),
        Device(u"Wine Adapter", u"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00"),
        Device(u"Kelto Pr\u00fcfger\u00e4t \u03a9mega", u"ROOT\\KELTO"),
        LTwoIds,
    };
  }
  TScriptedPlatformScope FScope;
};

TEST_F(QueriesTest, DescriptionContainmentIsExactAndCaseSensitive) {
  const std::pair<std::u16string, bool> kCases[] = {
      {u"Wine Adapter", true},
      {u"Wine", true},
      {u"Adapter", true},
      {u"ne Ad", true},
      {u"Generic Non-PnP Monitor", true},
      {u"Pr\u00fcfger\u00e4t \u03a9", true},
      {u"wine adapter", false},
      {u"WINE ADAPTER", false},
      {u"Pruefgeraet", false},
      {u"Wine Adapter ", false},
      {u"Wine  Adapter", false},
      {u"", false},
      {u"MONITOR", false},
  };
  for (const auto& [LValue, LExpected] : kCases) {
    EXPECT_EQ(TDeviceInfoList::ExistsByDevDesc(LValue), LExpected) << testing::Narrow(LValue);
    EXPECT_EQ(FScope.Platform.SetupLibraryReferences, 0);
  }
}

TEST_F(QueriesTest, HardwareIdContainmentSearchesTheFirstEntryOnly) {
  const std::pair<std::u16string, bool> kCases[] = {
      {u"PCI\\VEN_0000", true},  {u"MONITOR\\Default_Monitor", true},
      {u"REV_00", true},         {u"USB\\VID_046D", true},
      {u"pci\\ven_0000", false}, {u"Class_03", false},
      {u"Wine Adapter", false},  {u"", false},
  };
  for (const auto& [LValue, LExpected] : kCases) {
    EXPECT_EQ(TDeviceInfoList::ExistsByHardwareID(LValue), LExpected) << testing::Narrow(LValue);
  }
}

TEST_F(QueriesTest, StopAtTheFirstMatchAndWalkEverythingOtherwise) {
  EXPECT_TRUE(TDeviceInfoList::ExistsByDevDesc(u"Wine Adapter"));
  EXPECT_EQ(FScope.Platform.CallCount("EnumDeviceInfo"), 2);

  FScope.Platform.Calls.clear();
  EXPECT_FALSE(TDeviceInfoList::ExistsByDevDesc(u""));
  EXPECT_EQ(FScope.Platform.CallCount("EnumDeviceInfo"), 5) << "an empty text walks every device";
  EXPECT_EQ(FScope.Platform.SetsDestroyed, 2);
}

TEST_F(QueriesTest, RecordStatusDoesNotHideADevice) {
  for (auto& LDevice : FScope.Platform.Devices) LDevice.Status = 0;
  EXPECT_TRUE(TDeviceInfoList::ExistsByDevDesc(u"Wine Adapter"));
}

TEST_F(QueriesTest, AnswerFalseWhenThePlatformFails) {
  FScope.Platform.SetupLibraryLoads = false;
  EXPECT_FALSE(TDeviceInfoList::ExistsByDevDesc(u"Wine Adapter"));
  FScope.Platform.SetupLibraryLoads = true;
  FScope.Platform.ConfigManagerHandle = 2;
  EXPECT_FALSE(TDeviceInfoList::ExistsByHardwareID(u"PCI"));
  FScope.Platform.ConfigManagerHandle = 0x10000;
  FScope.Platform.EnumerationFailsAt = 1;
  EXPECT_FALSE(TDeviceInfoList::ExistsByDevDesc(u"Wine Adapter"));
  EXPECT_EQ(FScope.Platform.SetupLibraryReferences, 0);
}

TEST_F(QueriesTest, APlatformErrorPassesThroughWithNothingHeld) {
  FScope.Platform.BeforeCall = [](const std::string& ACall) {
    if (ACall == "Property 0") throw std::bad_alloc();
  };
  EXPECT_THROW(TDeviceInfoList::ExistsByDevDesc(u"Wine"), std::bad_alloc);
  EXPECT_EQ(FScope.Platform.SetupLibraryReferences, 0);
  EXPECT_EQ(FScope.Platform.SetsDestroyed, 1);
  EXPECT_EQ(FScope.Platform.ModulesFreed, 1);
}

}  // namespace
}  // namespace kelto
