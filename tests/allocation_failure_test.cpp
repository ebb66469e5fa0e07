// Memory exhausted at each allocation of a refresh, a query and a whole command in turn, until
// a run gets through without reaching the failing allocation. After each run the error has
// reached the caller, every platform resource is given back, and every block allocated during
// the run is freed again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "device_info_list.h"
#include "errors.h"
#include "failing_allocator.h"
#include "front_end.h"
#include "scripted_device_platform.h"
#include "scripted_platform_checks.h"

namespace kelto {
namespace {

using testing::FullDevice;
using testing::Narrow;
using testing::TAllocationFailure;
using testing::TScriptedDevicePlatform;
using testing::TUncountedAllocations;

// Far more than any run here allocates; reaching it means the loop would not end.
constexpr std::size_t kAllocationLimit = 100000;

// Forwards to the scripted platform with its allocations uncounted: the platform's log is test
// bookkeeping, and a real platform's own memory is not the program's to fail.
class TUncountedPlatform final : public TDevicePlatform {
 public:
  explicit TUncountedPlatform(TDevicePlatform& AInner) : FInner(AInner) {}

  bool AcquireSetupLibrary() override {
    const TUncountedAllocations LUncounted;
    return FInner.AcquireSetupLibrary();
  }
  void ReleaseSetupLibrary() noexcept override {
    const TUncountedAllocations LUncounted;
    FInner.ReleaseSetupLibrary();
  }
  TModuleHandle OpenModule(const char16_t* AFileName) override {
    const TUncountedAllocations LUncounted;
    return FInner.OpenModule(AFileName);
  }
  TEntryPoint ResolveEntryPoint(TModuleHandle AModule, const char* AProcName) override {
    const TUncountedAllocations LUncounted;
    return FInner.ResolveEntryPoint(AModule, AProcName);
  }
  void ReleaseModule(TModuleHandle AModule) noexcept override {
    const TUncountedAllocations LUncounted;
    FInner.ReleaseModule(AModule);
  }
  std::uint32_t GetDevNodeStatus(TEntryPoint AEntryPoint, std::uint32_t* AStatus,
                                 std::uint32_t* AProblemNumber, std::uint32_t ADevInst,
                                 std::uint32_t AFlags) override {
    const TUncountedAllocations LUncounted;
    return FInner.GetDevNodeStatus(AEntryPoint, AStatus, AProblemNumber, ADevInst, AFlags);
  }
  TDeviceInfoSet GetClassDevs(const TGuid* AClassGuid, const char16_t* AEnumerator,
                              TWindowHandle AParent, std::uint32_t AFlags) override {
    const TUncountedAllocations LUncounted;
    return FInner.GetClassDevs(AClassGuid, AEnumerator, AParent, AFlags);
  }
  bool EnumDeviceInfo(TDeviceInfoSet ASet, std::uint32_t AMemberIndex,
                      TSpDevInfoData& ADeviceInfoData) override {
    const TUncountedAllocations LUncounted;
    return FInner.EnumDeviceInfo(ASet, AMemberIndex, ADeviceInfoData);
  }
  bool GetDeviceRegistryProperty(TDeviceInfoSet ASet, TSpDevInfoData& ADeviceInfoData,
                                 TDeviceProperty AProperty, std::uint32_t* ADataType,
                                 std::uint8_t* ABuffer, std::uint32_t ABufferSize,
                                 std::uint32_t* ARequiredSize) override {
    const TUncountedAllocations LUncounted;
    return FInner.GetDeviceRegistryProperty(ASet, ADeviceInfoData, AProperty, ADataType, ABuffer,
                                            ABufferSize, ARequiredSize);
  }
  void DestroyDeviceInfoList(TDeviceInfoSet ASet) noexcept override {
    const TUncountedAllocations LUncounted;
    FInner.DestroyDeviceInfoList(ASet);
  }

 private:
  TDevicePlatform& FInner;
};

// The scripted platform with three devices, seen through the uncounted forwarder.
struct TScriptedRun {
  TScriptedDevicePlatform Scripted;
  TUncountedPlatform Platform{Scripted};
  TScriptedRun() { Scripted.Devices = {FullDevice(u"A"), FullDevice(u"B"), FullDevice(u"C")}; }
};

void ExpectEverythingGivenBack(const TScriptedDevicePlatform& APlatform) {
  testing::ExpectNothingHeld(APlatform);
  if (APlatform.CallCount("AcquireSetupLibrary") != 0) {
    EXPECT_EQ(APlatform.Calls.back(), "ReleaseSetupLibrary") << "the setup library goes last";
  }
}

// What the allocator saw of one run.
struct TAllocationOutcome {
  bool Failed = false;
  std::size_t Allocations = 0;
  std::size_t BlocksNotFreed = 0;
  bool TrackingOverflowed = false;
};

TAllocationOutcome OutcomeOf(const TAllocationFailure& AFailure) {
  return {AFailure.Failed(), AFailure.Allocations(), AFailure.BlocksNotFreed(),
          AFailure.TrackingOverflowed()};
}

void ExpectNothingLeaked(const TAllocationOutcome& AOutcome) {
  EXPECT_FALSE(AOutcome.TrackingOverflowed);
  EXPECT_EQ(AOutcome.BlocksNotFreed, 0u) << "blocks allocated during the run were not freed";
}

TEST(AllocationFailure, ARefreshKeepsWholeRecordsAndGivesEverythingBack) {
  std::vector<TDeviceInfo> LFullWalk;
  {
    TScriptedRun LRun;
    TDeviceInfoList LList(LRun.Platform);
    LList.Refresh(nullptr, true);
    for (std::int32_t LIndex = 0; LIndex < LList.Count(); ++LIndex) {
      LFullWalk.push_back(LList.Items(LIndex));
    }
  }
  ASSERT_EQ(LFullWalk.size(), 3u);

  std::size_t LFailAt = 1;
  for (;; ++LFailAt) {
    SCOPED_TRACE("allocation " + std::to_string(LFailAt));
    ASSERT_LT(LFailAt, kAllocationLimit);
    TScriptedRun LRun;
    std::vector<TDeviceInfo> LKept;
    LKept.reserve(LFullWalk.size());
    int LOffers = 0;
    bool LRaised = false;
    TAllocationOutcome LOutcome;
    {
      TAllocationFailure LFailure(LFailAt);
      {
        TDeviceInfoList LList(LRun.Platform);
        try {
          LList.Refresh(
              [&LOffers](TDeviceInfo) {
                ++LOffers;
                return false;
              },
              true);
        } catch (const EOutOfMemory&) {
          LRaised = true;
        }
        const TUncountedAllocations LInspecting;
        for (std::int32_t LIndex = 0; LIndex < LList.Count(); ++LIndex) {
          LKept.push_back(LList.Items(LIndex));
        }
      }
      LOutcome = OutcomeOf(LFailure);
    }

    EXPECT_EQ(LRaised, LOutcome.Failed) << "the exhausted memory reaches the caller";
    ExpectEverythingGivenBack(LRun.Scripted);
    ExpectNothingLeaked(LOutcome);
    // Only whole records, and only those of devices reached before the failure.
    ASSERT_LE(LKept.size(), LFullWalk.size());
    EXPECT_EQ(LKept, std::vector<TDeviceInfo>(
                         LFullWalk.begin(),
                         LFullWalk.begin() + static_cast<std::ptrdiff_t>(LKept.size())));
    // A record is appended before it is offered; the copy for the offer may be what failed.
    EXPECT_GE(static_cast<int>(LKept.size()), LOffers);
    EXPECT_LE(static_cast<int>(LKept.size()), LOffers + 1);
    if (!LOutcome.Failed) {
      EXPECT_EQ(LKept, LFullWalk);
      break;
    }
  }
  EXPECT_GT(LFailAt, 1u) << "a refresh that records devices allocates";
}

TEST(AllocationFailure, AQueryPassesTheErrorOnAndLeavesNothingBehind) {
  struct TCase {
    const char* Name;
    bool (*Query)(std::u16string_view);
    std::u16string Value;
  };
  // Texts longer than any short-string buffer, matching only the last device.
  const TCase kCases[] = {
      {"description", &TDeviceInfoList::ExistsByDevDesc, u"C description"},
      {"hardware ID", &TDeviceInfoList::ExistsByHardwareID, u"C\\HW of the last device"},
  };
  for (const TCase& LCase : kCases) {
    std::size_t LFailAt = 1;
    for (;; ++LFailAt) {
      SCOPED_TRACE(std::string(LCase.Name) + ", allocation " + std::to_string(LFailAt));
      ASSERT_LT(LFailAt, kAllocationLimit);
      TScriptedRun LRun;
      LRun.Scripted.Devices[2].With(TDeviceProperty::HardwareId,
                                    testing::MultiStringValue({u"C\\HW of the last device"}));
      const TScopedDevicePlatform LUsePlatform(LRun.Platform);
      bool LRaised = false;
      bool LAnswer = false;
      TAllocationOutcome LOutcome;
      {
        TAllocationFailure LFailure(LFailAt);
        try {
          LAnswer = LCase.Query(LCase.Value);
        } catch (const EOutOfMemory&) {
          LRaised = true;
        }
        LOutcome = OutcomeOf(LFailure);
      }

      EXPECT_EQ(LRaised, LOutcome.Failed) << "the exhausted memory reaches the caller";
      ExpectEverythingGivenBack(LRun.Scripted);
      ExpectNothingLeaked(LOutcome);
      if (!LOutcome.Failed) {
        EXPECT_TRUE(LAnswer);
        break;
      }
    }
    EXPECT_GT(LFailAt, 1u);
  }
}

class TRecordingOutput final : public TTextOutput {
 public:
  std::string Written;
  void WriteLine(std::u16string_view ALine) override {
    const TUncountedAllocations LUncounted;
    Written += Narrow(ALine) + "\r\n";
  }
};

TEST(AllocationFailure, ACommandEndsWithAnOutOfMemoryReportAndWritesNothing) {
  const struct {
    std::u16string CommandLine;
    int ExitCode;
  } kCases[] = {
      {u"\"C:\\Program Files\\kelto\\kelto.exe\" d \"C description\"", 1},
      {u"\"C:\\Program Files\\kelto\\kelto.exe\" h \"C\\HW\"", 1},
      {u"\"C:\\Program Files\\kelto\\kelto.exe\" d \"absent description\"", 0},
      {u"\"C:\\Program Files\\kelto\\kelto.exe\" ?", 1},
  };
  for (const auto& LCase : kCases) {
    std::size_t LFailAt = 1;
    for (;; ++LFailAt) {
      SCOPED_TRACE(Narrow(LCase.CommandLine) + ", allocation " + std::to_string(LFailAt));
      ASSERT_LT(LFailAt, kAllocationLimit);
      TScriptedRun LRun;
      const TScopedDevicePlatform LUsePlatform(LRun.Platform);
      TRecordingOutput LOutput;
      int LExitCode = -1;
      TErrorDescription LError;
      TAllocationOutcome LOutcome;
      {
        TAllocationFailure LFailure(LFailAt);
        // As the program's entry does it: the split is inside the process-level handler too.
        try {
          LExitCode = RunCommand(SplitCommandLine(LCase.CommandLine), LOutput);
        } catch (...) {
          LError = DescribeCurrentException();
        }
        LOutcome = OutcomeOf(LFailure);
      }

      ExpectEverythingGivenBack(LRun.Scripted);
      ExpectNothingLeaked(LOutcome);
      if (!LOutcome.Failed) {
        EXPECT_EQ(LExitCode, LCase.ExitCode);
        break;
      }
      EXPECT_EQ(LExitCode, -1) << "the error was lost";
      EXPECT_STREQ(LError.ClassName, "EOutOfMemory");
      EXPECT_STREQ(LError.Message, "Out of memory");
      EXPECT_NE(LError.RaiseAddress, nullptr);
      EXPECT_EQ(LOutput.Written, "");
    }
    EXPECT_GT(LFailAt, 1u);
  }
}

}  // namespace
}  // namespace kelto
