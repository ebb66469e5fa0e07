// Every way a refresh, a query or the front end can fail part-way, and what must hold afterwards:
// each resource given back exactly once and in order, the list holding only whole records
// appended before the failure, and the error reaching the caller unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "device_info_list.h"
#include "errors.h"
#include "front_end.h"
#include "scripted_device_platform.h"
#include "scripted_platform_checks.h"

namespace kelto {
namespace {

using testing::ExpectNothingHeld;
using testing::FullDevice;
using testing::Narrow;
using testing::TScriptedDevice;
using testing::TScriptedDevicePlatform;
using testing::TScriptedPlatformScope;

const std::string kDestroySet = "DestroyDeviceInfoList";
const std::string kFreeConfigManager = "ReleaseModule 65536";
const std::string kReleaseSetupLibrary = "ReleaseSetupLibrary";

std::vector<TScriptedDevice> FiveDevices() {
  return {FullDevice(u"A"), FullDevice(u"B"), FullDevice(u"C"), FullDevice(u"D"), FullDevice(u"E")};
}

std::vector<TDeviceInfo> ItemsOf(const TDeviceInfoList& AList) {
  std::vector<TDeviceInfo> LItems;
  for (std::int32_t LIndex = 0; LIndex < AList.Count(); ++LIndex) {
    LItems.push_back(AList.Items(LIndex));
  }
  return LItems;
}

// The records of an undisturbed walk over ADevices, as the reference for what a disturbed
// walk may keep.
std::vector<TDeviceInfo> RecordsOfFullWalk(const std::vector<TScriptedDevice>& ADevices) {
  TScriptedDevicePlatform LPlatform;
  LPlatform.Devices = ADevices;
  TDeviceInfoList LList(LPlatform);
  LList.Refresh(nullptr, true);
  return ItemsOf(LList);
}

std::vector<TDeviceInfo> FirstRecords(const std::vector<TDeviceInfo>& ARecords,
                                      std::size_t ACount) {
  return {ARecords.begin(), ARecords.begin() + static_cast<std::ptrdiff_t>(ACount)};
}

bool IsRelease(const std::string& ACall) {
  return ACall == kDestroySet || ACall.rfind("ReleaseModule", 0) == 0 ||
         ACall == kReleaseSetupLibrary;
}

// What a refresh had taken when it ended, and so what it must give back, in this order: the
// set, the configuration-manager library, the setup library reference.
struct THeld {
  bool SetupLibrary;
  bool ConfigManager;
  bool Set;
};

std::vector<std::string> ReleasesFor(const THeld& AHeld) {
  std::vector<std::string> LReleases;
  if (AHeld.Set) LReleases.push_back(kDestroySet);
  if (AHeld.ConfigManager) LReleases.push_back(kFreeConfigManager);
  if (AHeld.SetupLibrary) LReleases.push_back(kReleaseSetupLibrary);
  return LReleases;
}

// The releases are the last calls of the refresh, each made once, the last taken first, and
// every count is back where it was before the refresh.
void ExpectGivenBack(const TScriptedDevicePlatform& APlatform, const THeld& AHeld,
                     int AReferencesBefore) {
  const std::vector<std::string> LExpected = ReleasesFor(AHeld);
  std::vector<std::string> LReleases;
  for (const std::string& LCall : APlatform.Calls) {
    if (IsRelease(LCall)) LReleases.push_back(LCall);
  }
  EXPECT_EQ(LReleases, LExpected);
  ASSERT_GE(APlatform.Calls.size(), LExpected.size());
  EXPECT_EQ(std::vector<std::string>(
                APlatform.Calls.end() - static_cast<std::ptrdiff_t>(LExpected.size()),
                APlatform.Calls.end()),
            LExpected)
      << "nothing is called after the releases";
  ExpectNothingHeld(APlatform, AReferencesBefore);
  EXPECT_EQ(APlatform.ModulesFreed, AHeld.ConfigManager ? 1 : 0);
}

// An error of the test's own, so that the one caught is known to be the one raised.
struct TInjectedFault {
  int Id;
};

// ---------------------------------------------------------------------------------------------
// Platform operations that answer with a failure: the refresh ends quietly.

TEST(RefreshFaultPaths, APlatformFailureEndsTheWalkQuietlyAndGivesEverythingBack) {
  struct TCase {
    const char* Name;
    void (*Break)(TScriptedDevicePlatform&);
    std::size_t RecordsKept;
    THeld Held;
  };
  const TCase kCases[] = {
      {"setup library not loadable",
       [](auto& P) { P.SetupLibraryLoads = false; },
       0,
       {false, false, false}},
      {"cfgmgr32 handle 0", [](auto& P) { P.ConfigManagerHandle = 0; }, 0, {true, false, false}},
      {"cfgmgr32 handle 32", [](auto& P) { P.ConfigManagerHandle = 32; }, 0, {true, false, false}},
      {"status entry point missing",
       [](auto& P) { P.ConfigManagerHasDevNodeStatus = false; },
       0,
       {true, true, false}},
      {"set not openable", [](auto& P) { P.SetOpens = false; }, 0, {true, true, true}},
      {"enumeration fails at the first device",
       [](auto& P) { P.EnumerationFailsAt = 0; },
       0,
       {true, true, true}},
      {"enumeration fails at a middle device",
       [](auto& P) { P.EnumerationFailsAt = 2; },
       2,
       {true, true, true}},
      {"enumeration fails at the last device",
       [](auto& P) { P.EnumerationFailsAt = 4; },
       4,
       {true, true, true}},
      {"no failure", [](auto&) {}, 5, {true, true, true}},
  };
  const std::vector<TDeviceInfo> kFullWalk = RecordsOfFullWalk(FiveDevices());
  for (const TCase& LCase : kCases) {
    SCOPED_TRACE(LCase.Name);
    TScriptedDevicePlatform LPlatform;
    TDeviceInfoList LList(LPlatform);
    // Records of an earlier refresh must not survive any kind of end.
    LPlatform.Devices = {FullDevice(u"earlier")};
    LList.Refresh(nullptr, true);
    ASSERT_EQ(LList.Count(), 1);

    LPlatform.Calls.clear();
    LPlatform.ModulesFreed = LPlatform.SetsOpened = LPlatform.SetsDestroyed = 0;
    LPlatform.DestroyedSets.clear();
    LPlatform.Devices = FiveDevices();
    LPlatform.SetupLibraryReferences = 2;  // held by others; the refresh must leave them alone
    LCase.Break(LPlatform);
    int LOffers = 0;
    LList.Refresh(
        [&LOffers](TDeviceInfo) {
          ++LOffers;
          return false;
        },
        true);

    EXPECT_EQ(ItemsOf(LList), FirstRecords(kFullWalk, LCase.RecordsKept));
    EXPECT_EQ(LOffers, static_cast<int>(LCase.RecordsKept));
    ExpectGivenBack(LPlatform, LCase.Held, 2);
    if (!LCase.Held.ConfigManager) {
      EXPECT_EQ(LPlatform.CallCount("ResolveEntryPoint"), 0);
    }
    if (!LCase.Held.SetupLibrary) {
      EXPECT_EQ(LPlatform.CallCount("OpenModule"), 0) << "cfgmgr32 is not loaded";
    }
  }
}

TEST(RefreshFaultPaths, AnUnopenableSetGoesUntestedToOneEnumerationStepAndIsDestroyedOnce) {
  TScriptedDevicePlatform LPlatform;
  LPlatform.Devices = FiveDevices();
  LPlatform.SetOpens = false;
  TDeviceInfoList LList(LPlatform);
  LList.Refresh(nullptr, true);
  EXPECT_EQ(LList.Count(), 0);
  EXPECT_EQ(LPlatform.CallCount("EnumDeviceInfo"), 1);
  EXPECT_EQ(LPlatform.DestroyedSets,
            std::vector<TDeviceInfoSet>{TScriptedDevicePlatform::kUnopenedSet});
}

TEST(RefreshFaultPaths, AnUnreadablePropertyLeavesItsFieldEmptyAndTheRestOfTheWalkIntact) {
  const std::pair<TDeviceProperty, std::u16string TDeviceInfo::*> kProperties[] = {
      {TDeviceProperty::FriendlyName, &TDeviceInfo::FriendlyName},
      {TDeviceProperty::DeviceDesc, &TDeviceInfo::DevDesc},
      {TDeviceProperty::Driver, &TDeviceInfo::Driver},
      {TDeviceProperty::Class, &TDeviceInfo::ClassStr},
      {TDeviceProperty::HardwareId, &TDeviceInfo::HardwareID},
      {TDeviceProperty::LocationInformation, &TDeviceInfo::Location},
  };
  const std::vector<TDeviceInfo> kFullWalk = RecordsOfFullWalk(FiveDevices());
  for (const auto& [LProperty, LField] : kProperties) {
    SCOPED_TRACE("property " + std::to_string(static_cast<std::uint32_t>(LProperty)));
    TScriptedDevicePlatform LPlatform;
    LPlatform.Devices = FiveDevices();
    LPlatform.Devices[2].Properties.erase(LProperty);
    TDeviceInfoList LList(LPlatform);
    int LOffers = 0;
    LList.Refresh(
        [&LOffers](TDeviceInfo) {
          ++LOffers;
          return false;
        },
        true);

    std::vector<TDeviceInfo> LExpected = kFullWalk;
    (LExpected[2].*LField).clear();
    EXPECT_EQ(ItemsOf(LList), LExpected);
    EXPECT_EQ(LOffers, 5);
    EXPECT_EQ(LPlatform.CallCount("Property"), 30) << "every read of every device is made";
    ExpectGivenBack(LPlatform, {true, true, true}, 0);
  }
}

// ---------------------------------------------------------------------------------------------
// Errors raised inside the refresh: they pass to the caller after the clean-up.

// The platform calls of an undisturbed refresh over ADevices, in order.
std::vector<std::string> CallsOfFullWalk(const std::vector<TScriptedDevice>& ADevices) {
  TScriptedDevicePlatform LPlatform;
  LPlatform.Devices = ADevices;
  TDeviceInfoList LList(LPlatform);
  LList.Refresh(nullptr, true);
  return LPlatform.Calls;
}

// Raises TInjectedFault from the AFailingCall-th platform call that may raise (counted from 0).
void ThrowAtCall(TScriptedDevicePlatform& APlatform, int AFailingCall) {
  APlatform.BeforeCall = [AFailingCall, LCalls = 0](const std::string&) mutable {
    if (LCalls++ == AFailingCall) throw TInjectedFault{AFailingCall};
  };
}

int Occurrences(const std::vector<std::string>& ACalls, std::size_t AEnd,
                const std::string& AName) {
  return static_cast<int>(
      std::count(ACalls.begin(), ACalls.begin() + static_cast<std::ptrdiff_t>(AEnd), AName));
}

TEST(RefreshFaultPaths, AnErrorFromAnyPlatformCallPassesThroughAfterTheCleanUp) {
  const std::vector<TScriptedDevice> kDevices = {FullDevice(u"A"), FullDevice(u"B"),
                                                 FullDevice(u"C")};
  const std::vector<TDeviceInfo> kFullWalk = RecordsOfFullWalk(kDevices);
  const std::vector<std::string> kFullCalls = CallsOfFullWalk(kDevices);
  std::vector<std::string> LRaisingCalls;
  for (const std::string& LCall : kFullCalls) {
    if (!IsRelease(LCall)) LRaisingCalls.push_back(LCall);
  }
  ASSERT_EQ(LRaisingCalls.back(), "EnumDeviceInfo 3")
      << "the undisturbed walk ends at the set's end";

  for (std::size_t LFailing = 0; LFailing < LRaisingCalls.size(); ++LFailing) {
    const std::string LName =
        "error at call " + std::to_string(LFailing) + ", " + LRaisingCalls[LFailing];
    SCOPED_TRACE(LName);
    TScriptedDevicePlatform LPlatform;
    LPlatform.Devices = kDevices;
    TDeviceInfoList LList(LPlatform);
    const auto LCaptured = std::make_shared<int>(0);
    ThrowAtCall(LPlatform, static_cast<int>(LFailing));
    try {
      LList.Refresh([LCaptured](TDeviceInfo) { return false; }, true);
      ADD_FAILURE() << "the error was lost";
    } catch (const TInjectedFault& LFault) {
      EXPECT_EQ(LFault.Id, static_cast<int>(LFailing));
    }

    // Everything before the failing call was made as in the undisturbed walk.
    const std::size_t LBefore = LFailing;
    EXPECT_EQ(
        std::vector<std::string>(LPlatform.Calls.begin(),
                                 LPlatform.Calls.begin() + static_cast<std::ptrdiff_t>(LBefore)),
        std::vector<std::string>(LRaisingCalls.begin(),
                                 LRaisingCalls.begin() + static_cast<std::ptrdiff_t>(LBefore)));
    const THeld LHeld = {Occurrences(LRaisingCalls, LBefore, "AcquireSetupLibrary") == 1,
                         Occurrences(LRaisingCalls, LBefore, "OpenModule cfgmgr32.dll") == 1,
                         Occurrences(LRaisingCalls, LBefore, "GetClassDevs 4") == 1};
    EXPECT_EQ(LPlatform.Calls.size(), LBefore + ReleasesFor(LHeld).size());
    ExpectGivenBack(LPlatform, LHeld, 0);
    // Each device is appended right after its last property read, before any further call.
    const auto LRecorded =
        static_cast<std::size_t>(Occurrences(LRaisingCalls, LBefore, "Property 13"));
    EXPECT_EQ(ItemsOf(LList), FirstRecords(kFullWalk, LRecorded));
    EXPECT_EQ(LCaptured.use_count(), 1) << "the find function is let go";
  }
}

TEST(RefreshFaultPaths, AnErrorFromTheFindFunctionKeepsTheRecordsUpToItsDevice) {
  const std::vector<TDeviceInfo> kFullWalk = RecordsOfFullWalk(FiveDevices());
  for (const int LFailingOffer : {1, 3, 5}) {
    SCOPED_TRACE("find function fails at device " + std::to_string(LFailingOffer));
    TScriptedDevicePlatform LPlatform;
    LPlatform.Devices = FiveDevices();
    TDeviceInfoList LList(LPlatform);
    int LOffers = 0;
    try {
      LList.Refresh(
          [&LOffers, LFailingOffer](TDeviceInfo) -> bool {
            if (++LOffers == LFailingOffer) throw TInjectedFault{LFailingOffer};
            return false;
          },
          true);
      ADD_FAILURE() << "the error was lost";
    } catch (const TInjectedFault& LFault) {
      EXPECT_EQ(LFault.Id, LFailingOffer);
    }
    EXPECT_EQ(ItemsOf(LList), FirstRecords(kFullWalk, static_cast<std::size_t>(LFailingOffer)));
    EXPECT_EQ(LPlatform.CallCount("EnumDeviceInfo"), LFailingOffer) << "no step after the error";
    ExpectGivenBack(LPlatform, {true, true, true}, 0);
  }
}

// ---------------------------------------------------------------------------------------------
// The queries, which own their list and their find function.

TEST(QueryFaultPaths, AnErrorFromAnyPlatformCallReachesTheCallerOfAQuery) {
  for (const bool LByHardwareId : {false, true}) {
    // Fails each call in turn until a query runs to its end without reaching the failing call.
    for (int LFailing = 0;; ++LFailing) {
      SCOPED_TRACE((LByHardwareId ? "hardware ID, call " : "description, call ") +
                   std::to_string(LFailing));
      ASSERT_LT(LFailing, 1000) << "the walk does not end";
      TScriptedPlatformScope LScope;
      LScope.Platform.Devices = {FullDevice(u"A"), FullDevice(u"B"), FullDevice(u"C")};
      ThrowAtCall(LScope.Platform, LFailing);
      bool LFinished = false;
      try {
        // A text that no device holds, so that the walk visits every device.
        LByHardwareId ? TDeviceInfoList::ExistsByHardwareID(u"absent")
                      : TDeviceInfoList::ExistsByDevDesc(u"absent");
        LFinished = true;
      } catch (const TInjectedFault& LFault) {
        EXPECT_EQ(LFault.Id, LFailing);
      }
      ExpectNothingHeld(LScope.Platform);
      if (LFinished) {
        EXPECT_EQ(LFailing, 4 + 3 * 8 + 1) << "four calls up to the set, eight per device, one "
                                              "final enumeration step";
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The front end.

// Fails the write of one line only; a later line would be written if it were attempted.
class TFailingLineOutput final : public TTextOutput {
 public:
  explicit TFailingLineOutput(int AFailingLine) : FFailingLine(AFailingLine) {}
  std::string Written;
  int Attempts = 0;

  void WriteLine(std::u16string_view ALine) override {
    if (++Attempts == FFailingLine) RaiseInOutError("Standard output cannot be written");
    Written += Narrow(ALine) + "\r\n";
  }

 private:
  int FFailingLine;
};

TEST(FrontEndFaultPaths, AFailedUsageLineEndsTheTextWithAnInOutError) {
  const std::string kLines[] = {
      "kelto [comaand] [param] exitcode: 0(fail), 1(Success)\r\n",
      "   h: find by hardware-id\r\n",
      "   d: find by device-desc\r\n",
      "   ?: help\r\n",
  };
  for (int LFailingLine = 1; LFailingLine <= 4; ++LFailingLine) {
    SCOPED_TRACE("line " + std::to_string(LFailingLine));
    TScriptedPlatformScope LScope;
    TFailingLineOutput LOutput(LFailingLine);
    std::string LExpected;
    for (int LLine = 1; LLine < LFailingLine; ++LLine) LExpected += kLines[LLine - 1];
    try {
      RunCommand(SplitCommandLine(u"kelto.exe ?"), LOutput);
      ADD_FAILURE() << "the failed write was not raised";
    } catch (...) {
      // What the process-level report will name.
      const TErrorDescription LError = DescribeCurrentException();
      EXPECT_STREQ(LError.ClassName, "EInOutError");
      EXPECT_STREQ(LError.Message, "Standard output cannot be written");
      EXPECT_NE(LError.RaiseAddress, nullptr);
    }
    EXPECT_EQ(LOutput.Attempts, LFailingLine) << "no line is attempted after the failed one";
    EXPECT_EQ(LOutput.Written, LExpected);
    EXPECT_TRUE(LScope.Platform.Calls.empty()) << "the usage command asks no query";
  }
}

class TRecordingOutput final : public TTextOutput {
 public:
  std::string Written;
  void WriteLine(std::u16string_view ALine) override { Written += Narrow(ALine) + "\r\n"; }
};

TEST(FrontEndFaultPaths, AnErrorInsideAQueryReachesTheProcessLevelWithNothingWritten) {
  for (const char16_t* LCommandLine : {u"kelto.exe d \"C description\"", u"kelto.exe h C\\HW"}) {
    for (int LFailing = 0;; ++LFailing) {
      SCOPED_TRACE(Narrow(LCommandLine) + ", call " + std::to_string(LFailing));
      ASSERT_LT(LFailing, 1000) << "the walk does not end";
      TScriptedPlatformScope LScope;
      LScope.Platform.Devices = {FullDevice(u"A"), FullDevice(u"B"), FullDevice(u"C")};
      ThrowAtCall(LScope.Platform, LFailing);
      TRecordingOutput LOutput;
      int LExitCode = -1;
      try {
        LExitCode = RunCommand(SplitCommandLine(LCommandLine), LOutput);
      } catch (const TInjectedFault& LFault) {
        EXPECT_EQ(LFault.Id, LFailing);
      }
      EXPECT_EQ(LOutput.Written, "");
      ExpectNothingHeld(LScope.Platform);
      if (LExitCode != -1) {
        EXPECT_EQ(LExitCode, 1) << "the undisturbed run finds the third device";
        EXPECT_EQ(LFailing, 4 + 3 * 8) << "no enumeration step after the match";
        break;
      }
    }
  }
}

TEST(FrontEndFaultPaths, APlatformFailureAnswersNoMatchUnlessTheMatchCameFirst) {
  struct TCase {
    const char* Name;
    void (*Break)(TScriptedDevicePlatform&);
    int ExitCodeForMiddleDevice;
  };
  const TCase kCases[] = {
      {"setup library not loadable", [](auto& P) { P.SetupLibraryLoads = false; }, 0},
      {"cfgmgr32 handle 0", [](auto& P) { P.ConfigManagerHandle = 0; }, 0},
      {"cfgmgr32 handle 32", [](auto& P) { P.ConfigManagerHandle = 32; }, 0},
      {"status entry point missing", [](auto& P) { P.ConfigManagerHasDevNodeStatus = false; }, 0},
      {"set not openable", [](auto& P) { P.SetOpens = false; }, 0},
      {"enumeration fails at the first device", [](auto& P) { P.EnumerationFailsAt = 0; }, 0},
      {"enumeration fails at the matching device", [](auto& P) { P.EnumerationFailsAt = 2; }, 0},
      {"enumeration fails after the matching device", [](auto& P) { P.EnumerationFailsAt = 3; }, 1},
      {"the matching description is unreadable",
       [](auto& P) { P.Devices[2].Properties.erase(TDeviceProperty::DeviceDesc); }, 0},
  };
  for (const TCase& LCase : kCases) {
    for (const char16_t* LCommandLine : {u"kelto.exe d \"C description\"", u"kelto.exe D C"}) {
      SCOPED_TRACE(std::string(LCase.Name) + ", " + Narrow(LCommandLine));
      TScriptedPlatformScope LScope;
      LScope.Platform.Devices = FiveDevices();
      LCase.Break(LScope.Platform);
      TRecordingOutput LOutput;
      EXPECT_EQ(RunCommand(SplitCommandLine(LCommandLine), LOutput), LCase.ExitCodeForMiddleDevice);
      EXPECT_EQ(LOutput.Written, "");
      ExpectNothingHeld(LScope.Platform);
    }
  }
}

}  // namespace
}  // namespace kelto
