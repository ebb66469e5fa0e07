#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "errors.h"
#include "front_end.h"
#include "scripted_device_platform.h"

namespace kelto {
namespace {

using testing::Device;
using testing::Narrow;
using testing::TScriptedPlatformScope;

class TRecordingOutput final : public TTextOutput {
 public:
  std::string Written;
  // The write of this line (counted from 1) fails, and every later one.
  int FailFromLine = 0;
  int LinesWritten = 0;

  void WriteLine(std::u16string_view ALine) override {
    if (FailFromLine != 0 && LinesWritten + 1 >= FailFromLine) {
      RaiseInOutError("Standard output cannot be written");
    }
    ++LinesWritten;
    Written += Narrow(ALine) + "\r\n";
  }
};

const char kUsage[] =
    "kelto [comaand] [param] exitcode: 0(fail), 1(Success)\r\n"
    "   h: find by hardware-id\r\n"
    "   d: find by device-desc\r\n"
    "   ?: help\r\n";

class FrontEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FScope.Platform.Devices = {
        Device(u"Generic Non-PnP Monitor", u"MONITOR\\Default_Monitor"),
        Device(u"Wine Adapter", u"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00"),
    };
  }
  int Run(std::u16string_view ACommandLine) {
    FScope.Platform.Calls.clear();
    FOutput.Written.clear();
    return RunCommand(SplitCommandLine(ACommandLine), FOutput);
  }
  int Walks() const { return FScope.Platform.CallCount("GetClassDevs"); }

  TScriptedPlatformScope FScope;
  TRecordingOutput FOutput;
};

TEST_F(FrontEndTest, FollowsTheOutcomeTable) {
  struct TCase {
    std::u16string CommandLine;
    int ExitCode;
    bool Usage;
    int Walks;
  };
  const TCase kCases[] = {
      {u"kelto", 0, false, 0},
      {u"kelto ?", 1, true, 0},
      {u"kelto ?anything", 1, true, 0},
      {u"kelto \"\" ?", 1, true, 0},
      {u"kelto ? \"Wine Adapter\"", 0, false, 0},
      {u"kelto ? x y", 0, false, 0},
      {u"kelto d", 0, false, 1},
      {u"kelto h", 0, false, 1},
      {u"kelto help", 0, false, 1},
      {u"kelto d \"Wine Adapter\"", 1, false, 1},
      {u"kelto D \"Wine Adapter\"", 1, false, 1},
      {u"kelto Dev Wine", 1, false, 1},
      {u"kelto device-desc Adapter", 1, false, 1},
      {u"kelto d \"wine adapter\"", 0, false, 1},
      {u"kelto d Absent", 0, false, 1},
      {u"kelto h PCI\\VEN_0000", 1, false, 1},
      {u"kelto H MONITOR", 1, false, 1},
      {u"kelto h pci\\ven_0000", 0, false, 1},
      {u"kelto h \"Wine Adapter\"", 0, false, 1},
      {u"kelto d Wine surplus \"more args\"", 1, false, 1},
      {u"kelto \"\" d \"\" \"Wine Adapter\"", 1, false, 1},
      {u"kelto /? ", 0, false, 0},
      {u"kelto -h Wine", 0, false, 0},
      {u"kelto /d Wine", 0, false, 0},
      {u"kelto x Wine", 0, false, 0},
      {u"kelto \u00c4 Wine", 0, false, 0},
      {u"kelto \uff24 Wine", 0, false, 0},
  };
  for (const auto& LCase : kCases) {
    const std::string LName = Narrow(LCase.CommandLine);
    EXPECT_EQ(Run(LCase.CommandLine), LCase.ExitCode) << LName;
    EXPECT_EQ(FOutput.Written, LCase.Usage ? kUsage : "") << LName;
    EXPECT_EQ(Walks(), LCase.Walks) << LName;
  }
}

TEST_F(FrontEndTest, SearchTextReachesTheQueryUnchanged) {
  FScope.Platform.Devices = {Device(u"  Spaced  Out\u00a0Device  ")};
  EXPECT_EQ(Run(u"k d \"  Spaced  Out\u00a0Device  \""), 1);
  EXPECT_EQ(Run(u"k d \"  spaced\""), 0);
  EXPECT_EQ(Run(u"k D Out\u00a0Device"), 1);
}

TEST_F(FrontEndTest, DescriptionCommandSearchesDescriptionsAndHardwareCommandIds) {
  EXPECT_EQ(Run(u"k d MONITOR\\Default"), 0);
  EXPECT_EQ(Run(u"k h MONITOR\\Default"), 1);
  EXPECT_EQ(Run(u"k h Generic"), 0);
  EXPECT_EQ(Run(u"k d Generic"), 1);
}

TEST_F(FrontEndTest, AFailedUsageWriteStopsTheTextAndPassesTheError) {
  for (int LFailingLine = 1; LFailingLine <= 4; ++LFailingLine) {
    FOutput.FailFromLine = LFailingLine;
    FOutput.LinesWritten = 0;
    FOutput.Written.clear();
    EXPECT_THROW(RunCommand(SplitCommandLine(u"k ?"), FOutput), EInOutError) << LFailingLine;
    EXPECT_EQ(FOutput.LinesWritten, LFailingLine - 1);
  }
}

TEST_F(FrontEndTest, AnErrorInsideAQueryPassesThrough) {
  FScope.Platform.BeforeCall = [](const std::string& ACall) {
    if (ACall == "EnumDeviceInfo 1") throw std::bad_alloc();
  };
  EXPECT_THROW(Run(u"k d Wine"), std::bad_alloc);
  EXPECT_EQ(FOutput.Written, "");
  EXPECT_EQ(FScope.Platform.SetupLibraryReferences, 0);
}

}  // namespace
}  // namespace kelto
