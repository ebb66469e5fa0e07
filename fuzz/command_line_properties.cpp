#include "command_line_properties.h"

#include <iomanip>
#include <sstream>

#include "command_line.h"
#include "device_platform.h"
#include "front_end.h"
#include "scripted_device_platform.h"

namespace kelto::fuzzing {
namespace {

bool IsSeparator(char16_t AUnit) { return AUnit >= 0x0001 && AUnit <= 0x0020; }

struct TModelDevice {
  std::u16string Description;
  std::u16string HardwareId;
};

// Short texts among them so that random search texts match now and then; one with a space
// inside, which only a quoted search text can match, and one with units outside ASCII and an
// unpaired surrogate.
const std::vector<TModelDevice>& ModelDevices() {
  static const std::vector<TModelDevice> kDevices = {
      {u"Generic Non-PnP Monitor", u"MONITOR\\Default_Monitor"},
      {u"Wine Adapter", u"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00"},
      {u"x y", u"a"},
      {u"\u00e9\xD800z", u"Z"},
  };
  return kDevices;
}

bool ModelContains(std::u16string_view AField, std::u16string_view AValue) {
  if (AValue.empty() || AValue.size() > AField.size()) return false;
  for (std::size_t LStart = 0; LStart + AValue.size() <= AField.size(); ++LStart) {
    if (AField.compare(LStart, AValue.size(), AValue) == 0) return true;
  }
  return false;
}

// The outcome that the arguments call for.
struct TExpectedRun {
  int ExitCode = 0;
  bool Usage = false;
  int Walks = 0;
};

TExpectedRun ModelRun(const std::vector<std::u16string>& AArguments) {
  if (AArguments.empty()) return {};
  char16_t LCommand = AArguments[0][0];
  if (LCommand >= u'A' && LCommand <= u'Z') LCommand = static_cast<char16_t>(LCommand + 0x20);
  if (AArguments.size() == 1 && LCommand == u'?') return {1, true, 0};
  if (LCommand != u'd' && LCommand != u'h') return {};
  const std::u16string LSearch = AArguments.size() >= 2 ? AArguments[1] : u"";
  for (const TModelDevice& LDevice : ModelDevices()) {
    if (ModelContains(LCommand == u'd' ? LDevice.Description : LDevice.HardwareId, LSearch)) {
      return {1, false, 1};
    }
  }
  return {0, false, 1};
}

class TRecordingOutput final : public TTextOutput {
 public:
  std::vector<std::u16string> Lines;
  void WriteLine(std::u16string_view ALine) override { Lines.emplace_back(ALine); }
};

std::string Show(std::u16string_view AText) {
  std::ostringstream LOut;
  LOut << '"';
  for (const char16_t LUnit : AText) {
    if (LUnit >= 0x21 && LUnit < 0x7F && LUnit != u'\\' && LUnit != u'"') {
      LOut << static_cast<char>(LUnit);
    } else {
      LOut << "\\u" << std::hex << std::setw(4) << std::setfill('0') << static_cast<unsigned>(LUnit)
           << std::dec;
    }
  }
  LOut << '"';
  return LOut.str();
}

std::string Show(const std::vector<std::u16string>& AArguments) {
  std::string LText = "[";
  for (const auto& LArgument : AArguments)
    LText += (LText.size() > 1 ? ", " : "") + Show(LArgument);
  return LText + "]";
}

}  // namespace

std::vector<std::u16string> ModelArguments(std::u16string_view ACommandLine) {
  enum class TState { BetweenTokens, InToken, InQuotes };
  std::vector<std::u16string> LTokens;
  std::u16string LToken;
  TState LState = TState::BetweenTokens;
  const std::size_t LEnd = ACommandLine.size();
  std::size_t LIndex = 0;
  while (LIndex < LEnd && ACommandLine[LIndex] != u'\0') {
    const char16_t LUnit = ACommandLine[LIndex];
    switch (LState) {
      case TState::BetweenTokens:
        if (IsSeparator(LUnit)) {
          LIndex += 1;
        } else if (LUnit == u'"' && LIndex + 1 < LEnd && ACommandLine[LIndex + 1] == u'"') {
          LIndex += 2;
        } else {
          LState = TState::InToken;  // the unit is taken again in the new state
          LToken.clear();
        }
        break;
      case TState::InToken:
        if (IsSeparator(LUnit)) {
          LTokens.push_back(LToken);
          LState = TState::BetweenTokens;
        } else if (LUnit == u'"') {
          LState = TState::InQuotes;
        } else {
          LToken.push_back(LUnit);
        }
        LIndex += 1;
        break;
      case TState::InQuotes:
        if (LUnit == u'"') {
          LState = TState::InToken;
        } else {
          LToken.push_back(LUnit);
        }
        LIndex += 1;
        break;
    }
  }
  if (LState != TState::BetweenTokens) LTokens.push_back(LToken);

  // The first token is the program's name; the arguments end at the first empty token.
  std::vector<std::u16string> LArguments;
  for (std::size_t LNext = 1; LNext < LTokens.size() && !LTokens[LNext].empty(); ++LNext) {
    LArguments.push_back(LTokens[LNext]);
  }
  return LArguments;
}

std::string CheckCommandLine(std::u16string_view ACommandLine) {
  const std::vector<std::u16string> LArguments = SplitCommandLine(ACommandLine);
  const std::vector<std::u16string> LModel = ModelArguments(ACommandLine);
  if (LArguments != LModel) {
    return "split into " + Show(LArguments) + ", the model into " + Show(LModel);
  }
  std::size_t LUnitsInArguments = 0;
  for (const std::u16string& LArgument : LArguments) {
    if (LArgument.empty()) return "an empty argument";
    if (LArgument.find_first_of(std::u16string_view(u"\"\0", 2)) != std::u16string::npos) {
      return "argument " + Show(LArgument) + " holds a double quote or a NUL";
    }
    LUnitsInArguments += LArgument.size();
  }
  if (LUnitsInArguments > ACommandLine.size()) return "the arguments are longer than the text";
  for (std::size_t LPosition = 0; LPosition <= LArguments.size() + 1; ++LPosition) {
    const std::u16string_view LExpected = LPosition >= 1 && LPosition <= LModel.size()
                                              ? std::u16string_view(LModel[LPosition - 1])
                                              : std::u16string_view();
    if (ArgumentAt(LArguments, LPosition) != LExpected) {
      return "argument at position " + std::to_string(LPosition) + " is " +
             Show(ArgumentAt(LArguments, LPosition));
    }
  }

  testing::TScriptedDevicePlatform LPlatform;
  for (const TModelDevice& LDevice : ModelDevices()) {
    LPlatform.Devices.push_back(testing::Device(LDevice.Description, LDevice.HardwareId));
  }
  const TScopedDevicePlatform LUsePlatform(LPlatform);
  TRecordingOutput LOutput;
  const int LExitCode = RunCommand(LArguments, LOutput);

  const TExpectedRun LExpected = ModelRun(LModel);
  if (LExitCode != LExpected.ExitCode) {
    return "exit code " + std::to_string(LExitCode) + " for " + Show(LModel);
  }
  const std::vector<std::u16string> kUsage = {
      u"kelto [comaand] [param] exitcode: 0(fail), 1(Success)",
      u"   h: find by hardware-id",
      u"   d: find by device-desc",
      u"   ?: help",
  };
  if (LOutput.Lines != (LExpected.Usage ? kUsage : std::vector<std::u16string>{})) {
    return std::to_string(LOutput.Lines.size()) + " lines written for " + Show(LModel);
  }
  if (LPlatform.CallCount("GetClassDevs") != LExpected.Walks) {
    return std::to_string(LPlatform.CallCount("GetClassDevs")) + " device walks for " +
           Show(LModel);
  }
  if (LPlatform.SetupLibraryReferences != 0 || LPlatform.ModulesHeld != 0 ||
      LPlatform.SetsDestroyed != LPlatform.SetsOpened) {
    return "a platform resource was not given back";
  }
  return {};
}

std::vector<char16_t> CommandLineFromBytes(const unsigned char* AData, std::size_t ASize) {
  std::vector<char16_t> LUnits(ASize / 2);
  for (std::size_t LIndex = 0; LIndex < LUnits.size(); ++LIndex) {
    LUnits[LIndex] = static_cast<char16_t>(AData[2 * LIndex] |
                                           (static_cast<unsigned>(AData[2 * LIndex + 1]) << 8));
  }
  return LUnits;
}

}  // namespace kelto::fuzzing
