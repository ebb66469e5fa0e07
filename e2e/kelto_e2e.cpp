// End-to-end tests of kelto.exe under Wine: the real program, the real Setup API and
// configuration manager, Wine's own devices and the fixture devices registered here. Every run
// starts kelto through CreateProcessW with an exact command line and checks its exit code and
// every byte that it writes to standard output and standard error.
//
//   wine64 kelto_e2e.exe PATH-TO-kelto.exe
//
// Ends with the line "N passed, N failed" and exit code 1 when any check failed.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "fixture_devices.h"
#include "launcher.h"
#include "printable.h"
#include "setup_devices.h"
#include "suite.h"

namespace {

// --- Preconditions: the devices that the cases below rely on ---------------------------------

void CheckWineDevices(Suite& suite, const std::vector<DeviceRecord>& devices) {
  struct WineDevice {
    const wchar_t* description;
    const wchar_t* first_hardware_id;
  };
  static const WineDevice kWineDevices[] = {
      {L"Wine Adapter", L"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00"},
      {L"Generic Non-PnP Monitor", L"MONITOR\\Default_Monitor"},
  };
  for (const WineDevice& expected : kWineDevices) {
    bool found = false;
    for (const DeviceRecord& device : devices) {
      found = found || (device.description_value && device.hardware_id_value &&
                        TextBeforeNul(*device.description_value) == expected.description &&
                        TextBeforeNul(*device.hardware_id_value) == expected.first_hardware_id);
    }
    std::vector<std::string> problems;
    if (!found) problems.push_back("no such device in the Setup API's list of all devices");
    suite.Check("wine devices",
                Printable(expected.description) + " with " + Printable(expected.first_hardware_id),
                problems);
  }
}

// The fixture's negative cases mean something only when Wine returns the values exactly as
// registered, refuses the long ones to a 522-byte buffer, and walks the devices in order.
void CheckFixtureDevices(Suite& suite, const std::vector<DeviceRecord>& devices,
                         const std::vector<std::wstring>& instance_ids) {
  const std::vector<fixture::Device>& expected_devices = fixture::Devices();
  const std::vector<std::vector<std::string>> problems =
      RegistrationProblems(expected_devices, instance_ids, devices);
  for (std::size_t index = 0; index < expected_devices.size(); ++index) {
    suite.Check("fixture devices",
                Printable(index < instance_ids.size() ? instance_ids[index] : L"(unregistered)") +
                    " \"" + Printable(expected_devices[index].description.substr(0, 40)) + "\"",
                problems[index]);
  }
}

// --- The cases ---------------------------------------------------------------------------------

// The outcomes of the command choice: which argument lists write what and end with which code.
std::vector<Case> OutcomeCases() {
  const StdoutText usage = StdoutText::kUsage;
  return {
      {"no arguments", L"\"{kelto}\"", 0},
      {"no arguments, trailing space", L"", 0},
      {"? alone writes the usage", L"?", 1, usage},
      {"?x alone writes the usage", L"?x", 1, usage},
      {"?anything alone writes the usage", L"?anything", 1, usage},
      {"?? alone writes the usage", L"??", 1, usage},
      {"? with a second argument does nothing", L"? foo", 0},
      {"? with a text that a device has runs no query", L"? \"Wine Adapter\"", 0},
      {"? with three arguments does nothing", L"? a b", 0},
      {"d alone searches the empty text", L"d", 0},
      {"h alone searches the empty text", L"h", 0},
      {"D alone", L"D", 0},
      {"H alone", L"H", 0},
      {"help alone is h with the empty text", L"help", 0},
      {"Dev alone is d with the empty text", L"Dev", 0},
      {"/? is an unknown command", L"/?", 0},
      {"-h is an unknown command", L"-h", 0},
      {"-? is an unknown command", L"-?", 0},
      {"/d with a text that a device has", L"/d \"Wine Adapter\"", 0},
      {"-h with a text that a device has", L"-h PCI\\VEN_0000", 0},
      {"x with a text that a device has", L"x Wine", 0},
      {"fullwidth d is not folded", L"\uff44 Wine", 0},
      {"d finds a description", L"d \"Wine Adapter\"", 1},
      {"Dev does what d does", L"Dev \"Wine Adapter\"", 1},
      {"D is folded to d", L"D Wine", 1},
      {"h finds a first hardware ID", L"h PCI\\VEN_0000", 1},
      {"help with a text does what h does", L"help PCI\\VEN_0000", 1},
      {"Hardware does what h does", L"Hardware MONITOR", 1},
      {"H is folded to h", L"H MONITOR\\Default_Monitor", 1},
      {"a third argument is ignored after a match", L"d Wine nothing-matches-this", 1},
      {"a matching third argument is ignored", L"d NoSuchKeltoDevice \"Wine Adapter\"", 0},
      {"many surplus arguments", L"h PCI x y z ? d", 1},
      {"absent description", L"d \"No Such Kelto Device\"", 0},
      {"absent hardware ID", L"h KELTO\\NO_SUCH_ID", 0},
  };
}

// Containment of the search text: exact, at any position, in its own field only.
std::vector<Case> SearchCases() {
  return {
      {"description: the beginning", L"d Wine", 1},
      {"description: the end", L"d Adapter", 1},
      {"description: the middle", L"d \"ne Adap\"", 1},
      {"description: the whole", L"d \"Generic Non-PnP Monitor\"", 1},
      {"description: one more character at the end", L"d \"Wine Adapters\"", 0},
      {"description: a trailing space", L"d \"Wine Adapter \"", 0},
      {"description: a leading space", L"d \" Wine Adapter\"", 0},
      {"description: lower case", L"d \"wine adapter\"", 0},
      {"description: upper case", L"d \"WINE ADAPTER\"", 0},
      {"description: one letter's case differs", L"d \"Wine adapter\"", 0},
      {"hardware ID: the beginning", L"h MONITOR\\Default", 1},
      {"hardware ID: the end", L"h Default_Monitor", 1},
      {"hardware ID: the whole", L"h PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00", 1},
      {"hardware ID: one more character", L"h MONITOR\\Default_Monitor_", 0},
      {"hardware ID: lower case", L"H pci\\ven_0000", 0},
      {"hardware ID: upper case", L"h MONITOR\\DEFAULT_MONITOR", 0},
      {"d does not search hardware IDs", L"d PCI\\VEN_0000", 0},
      {"h does not search descriptions", L"h \"Wine Adapter\"", 0},
  };
}

// The devices registered by the fixture: texts outside ASCII, lists of hardware IDs, letter
// case, and values at and beyond the size of kelto's property buffer.
std::vector<Case> FixtureCases() {
  using fixture::LongDescription;
  using fixture::LongDescriptionHead;
  using fixture::LongDescriptionTail;
  using fixture::LongHardwareIdHead;
  using fixture::LongHardwareIdTail;
  const auto quoted = [](const std::wstring& text) { return L"\"" + text + L"\""; };
  // The two halves of U+1D50E, the first letter after "Kelto Fraktur ".
  const auto kHighSurrogate = static_cast<wchar_t>(0xD835);
  const auto kLowSurrogate = static_cast<wchar_t>(0xDD0E);
  return {
      {"non-ASCII description, whole", L"d " + quoted(fixture::kNonAsciiDescription), 1},
      {"non-ASCII description, a word with umlauts", L"d Pr\u00fcfger\u00e4t", 1},
      {"non-ASCII description, a Greek capital", L"d \u03a9mega", 1},
      {"non-ASCII letters are not case-folded", L"d \u03c9mega", 0},
      {"non-ASCII upper case does not match", L"d PR\u00dcFGER\u00c4T", 0},
      {"no folding of umlauts to plain letters", L"d Prufgerat", 0},
      {"no normalisation of combining marks", L"d Pru\u0308fgera\u0308t", 0},
      {"first of two hardware IDs", L"h " + std::wstring(fixture::kFirstOfTwoId), 1},
      {"second of two hardware IDs is not searched", L"h " + std::wstring(fixture::kSecondOfTwoId),
       0},
      {"text only in the second hardware ID", L"h SecondOfTwo", 0},
      {"the device with two hardware IDs is walked", L"d " + quoted(fixture::kTwoEntryDescription),
       1},
      {"mixed-case hardware ID, exact", L"h " + std::wstring(fixture::kMixedCaseId), 1},
      {"mixed-case hardware ID, a part", L"h MiXeD", 1},
      {"mixed-case hardware ID in lower case", L"h keltotest\\mixed-case", 0},
      {"mixed-case hardware ID in upper case", L"h KELTOTEST\\MIXED-CASE", 0},
      {"mixed-case hardware ID, a part in lower case", L"h mixed", 0},
      {"description in upper case", L"d \"KELTO LETTER-CASE DEVICE\"", 0},
      {"no-break space inside an unquoted argument", L"d Kelto\u00a0Gap", 1},
      {"a space does not match a no-break space", L"d \"Kelto Gap\"", 0},
      {"backslashes before a closing quote", L"d \"C:\\Kelto\\Dir\\\"", 1},
      {"backslashes without quotes", L"d C:\\Kelto\\Dir\\", 1},
      {"a backslash before a quote that opens a stretch", L"d \"C:\\Kelto\\\"Dir\\", 1},
      {"two backslashes stay two", L"d C:\\\\Kelto", 0},
      {"260-unit description, its last characters", L"d " + LongDescriptionTail(260), 1},
      {"260-unit description, its first characters", L"d " + quoted(LongDescriptionHead(260)), 1},
      {"260-unit description, whole", L"d " + quoted(LongDescription(260)), 1},
      {"260-unit description and one more character", L"d " + quoted(LongDescription(260) + L"."),
       0},
      {"261-unit description, its last characters", L"d " + LongDescriptionTail(261), 0},
      {"261-unit description, its first characters", L"d " + quoted(LongDescriptionHead(261)), 0},
      {"400-unit description, its last characters", L"d " + LongDescriptionTail(400), 0},
      {"400-unit description, its first characters", L"d " + quoted(LongDescriptionHead(400)), 0},
      {"hardware ID of a device with an unreadable description", L"h KeltoTest\\Description261", 1},
      {"259-unit hardware ID, its last characters", L"h " + LongHardwareIdTail(259), 1},
      {"259-unit hardware ID, its first characters", L"h " + LongHardwareIdHead(259), 1},
      {"260-unit hardware ID, its last characters", L"h " + LongHardwareIdTail(260), 0},
      {"260-unit hardware ID, its first characters", L"h " + LongHardwareIdHead(260), 0},
      {"description of a device with an unreadable hardware ID",
       L"d " + quoted(fixture::kLongIdDescription260), 1},
      {"short first hardware ID in a list too long to read",
       L"h " + std::wstring(fixture::kFirstBeforeLongSecondId), 0},
      {"text before a NUL inside the value", L"d " + quoted(fixture::kBeforeNulText), 1},
      {"text after a NUL inside the value is not searched",
       L"d " + std::wstring(fixture::kAfterNulText), 0},
      {"the entry after an empty first hardware ID is not searched",
       L"h " + std::wstring(fixture::kAfterEmptyFirstId), 0},
      {"the device with an empty first hardware ID is walked",
       L"d " + quoted(fixture::kEmptyFirstIdDescription), 1},
      {"surrogate pairs, whole description", L"d " + quoted(fixture::kSurrogatePairDescription), 1},
      {"surrogate pairs, the letters alone",
       L"d \U0001D50E\U0001D522\U0001D529\U0001D531\U0001D52C", 1},
      {"a lone high surrogate is compared as a unit", L"d " + std::wstring(1, kHighSurrogate), 1},
      {"a lone low surrogate is compared as a unit", L"d " + std::wstring(1, kLowSurrogate), 1},
      {"a low surrogate after its high one", L"d " + std::wstring{kHighSurrogate, kLowSurrogate},
       1},
      {"a surrogate pair that the text lacks", L"d \U0001D50F", 0},
      {"the walk goes on past unreadable values", L"d " + quoted(fixture::kLastDescription), 1},
  };
}

// Exact command lines against the splitting rule: quotes, empty pairs and a literal backslash.
std::vector<Case> SplittingCases() {
  const StdoutText usage = StdoutText::kUsage;
  return {
      {"empty pairs before the command and the text", L"\"{kelto}\" \"\" d \"\" \"Wine Adapter\"",
       1},
      {"two empty pairs in a row", L"\"{kelto}\" \"\"\"\" d \"\"\"\" \"Wine Adapter\"", 1},
      {"an empty pair joined to the command", L"\"{kelto}\" \"\"d Wine", 1},
      {"an empty pair before the program name", L"\"\" \"{kelto}\" d Wine", 1},
      {"an empty pair right after the program name joins it", L"\"{kelto}\"\"\"d Wine", 0},
      {"a letter right after the program name joins it", L"\"{kelto}\"d Wine", 0},
      {"unterminated quote", L"\"{kelto}\" d \"Wine Adapter", 1},
      {"unterminated quote keeps trailing spaces", L"\"{kelto}\" d \"Wine Adapter   ", 0},
      {"a quoted space joins two words", L"\"{kelto}\" d Wine\" \"Adapter", 1},
      {"quoted stretches inside words", L"\"{kelto}\" d W\"ine Ada\"pter", 1},
      {"a doubled quote ends one stretch and opens the next", L"\"{kelto}\" d \"Wine\"\" Adapter\"",
       1},
      {"quotes around the text only", L"\"{kelto}\" d \"\"Wine\"\"", 1},
      {"a quoted command", L"\"{kelto}\" \"d\" \"Wine Adapter\"", 1},
      {"command and text in one quoted argument", L"\"{kelto}\" \"d Wine\"", 0},
      {"a lone quote at the end is no argument", L"\"{kelto}\" ? \"", 1, usage},
      {"an empty pair after ? is no argument", L"\"{kelto}\" ? \"\"", 1, usage},
      {"an empty pair before ? is no argument", L"\"{kelto}\" \"\" ?", 1, usage},
      {"an empty pair joined to ?", L"\"{kelto}\" ?\"\"", 1, usage},
      {"a quoted ?", L"\"{kelto}\" \"?\"", 1, usage},
      {"a quoted ? with a second argument", L"\"{kelto}\" \"?\" x", 0},
      {"a lone quote after the text", L"\"{kelto}\" d Wine \"", 1},
      {"runs of mixed separators", L"\"{kelto}\" \t\r\n d \t \"Wine Adapter\"\r\n", 1},
      {"a program name that is not the program's path", L"{scratch}\\elsewhere.exe d Wine", 1},
  };
}

// Which code units separate arguments: U+0001 to U+0020 do, everything above does not.
std::vector<Case> SeparatorCases() {
  std::vector<Case> cases;
  for (wchar_t unit = 0x0001; unit <= 0x0020; ++unit) {
    const std::wstring separator(1, unit);
    cases.push_back(
        {UnitName(unit) + " separates arguments",
         L"\"{kelto}\"" + separator + L"d" + separator + L"Wine" + separator + L"Adapter", 1});
  }
  // DEL, C1 controls (NEL among them), no-break space, en quad, ideographic space, BOM.
  for (unsigned value : {0x007Fu, 0x0080u, 0x0085u, 0x009Fu, 0x00A0u, 0x2000u, 0x3000u, 0xFEFFu}) {
    const auto unit = static_cast<wchar_t>(value);
    cases.push_back({UnitName(unit) + " is an ordinary character",
                     L"d Wine" + std::wstring(1, unit) + L"Adapter", 0});
  }
  return cases;
}

// A program path with spaces: `{kelto}` is the copy in the folder "kelto e2e" of the scratch
// folder.
std::vector<Case> ProgramPathCases() {
  const StdoutText usage = StdoutText::kUsage;
  return {
      {"quoted path with a space", L"\"{kelto}\" d \"Wine Adapter\"", 1},
      {"quoted path with a space, ?", L"\"{kelto}\" ?", 1, usage},
      {"quotes around the folder only", L"{scratch}\\\"kelto e2e\"\\kelto.exe d \"Wine Adapter\"",
       1},
      // Unquoted, the path splits at its space: "e2e\kelto.exe" becomes argument 1.
      {"unquoted path with a space", L"{kelto} d \"Wine Adapter\"", 0},
  };
}

// What goes to standard output and standard error, depending on where standard output leads.
std::vector<Case> StreamCases() {
  const StdoutText usage = StdoutText::kUsage;
  const StdoutText nothing = StdoutText::kNothing;
  const StderrText report = StderrText::kErrorReport;
  return {
      {"usage to a file", L"?", 1, usage, StdoutTarget::kFile},
      {"usage through a pipe", L"?", 1, usage, StdoutTarget::kPipe},
      {"?x through a pipe", L"?x", 1, usage, StdoutTarget::kPipe},
      {"usage to a file that refuses writes: silent", L"?", 1, nothing,
       StdoutTarget::kReadOnlyFile},
      {"usage to a pipe without reader: silent", L"?", 1, nothing,
       StdoutTarget::kPipeWithoutReader},
      {"usage with no standard output (NULL): error report", L"?", 1, nothing,
       StdoutTarget::kNullHandle, report},
      {"usage with standard output INVALID_HANDLE_VALUE: error report", L"?", 1, nothing,
       StdoutTarget::kInvalidHandle, report},
      {"d without a match and no standard output", L"d x", 0, nothing, StdoutTarget::kNullHandle},
      {"d with a match and no standard output", L"d \"Wine Adapter\"", 1, nothing,
       StdoutTarget::kNullHandle},
      {"h with a match and INVALID_HANDLE_VALUE", L"h PCI", 1, nothing,
       StdoutTarget::kInvalidHandle},
      {"? with a second argument and no standard output", L"? foo", 0, nothing,
       StdoutTarget::kNullHandle},
      {"no arguments and no standard output", L"\"{kelto}\"", 0, nothing,
       StdoutTarget::kNullHandle},
      {"d with a match through a pipe", L"d \"Wine Adapter\"", 1, nothing, StdoutTarget::kPipe},
      {"h without a match through a pipe", L"h KELTO\\NO_SUCH_ID", 0, nothing, StdoutTarget::kPipe},
  };
}

// A copy named kelto-renamed.exe straight in the scratch folder, whose path has no spaces.
std::vector<Case> RenamedProgramCases() {
  return {
      {"the error report names the module by its file name", L"?", 1, StdoutText::kNothing,
       StdoutTarget::kNullHandle, StderrText::kErrorReport},
      {"usage from a renamed copy", L"?", 1, StdoutText::kUsage},
      {"unquoted path without spaces", L"{kelto} d Wine", 1},
  };
}

// --- Set-up ------------------------------------------------------------------------------------

void RunAll(Suite& suite, const std::wstring& kelto_argument) {
  ScratchDir scratch;

  const Program built = DescribeProgram(ToWindowsPath(kelto_argument));
  const Program spaced = DescribeProgram(scratch.CopyInto(built.path, L"kelto e2e", L"kelto.exe"));
  const Program renamed = DescribeProgram(scratch.CopyInto(built.path, L"", L"kelto-renamed.exe"));

  std::vector<std::wstring> instance_ids;
  try {
    instance_ids = fixture::Register();
  } catch (const std::exception& error) {
    suite.Check("fixture devices", "register", {error.what()});
  }
  const std::vector<DeviceRecord> devices = ListDevices();
  CheckWineDevices(suite, devices);
  CheckFixtureDevices(suite, devices, instance_ids);

  suite.RunCases("outcomes", built, scratch.path(), OutcomeCases());
  suite.RunCases("search", built, scratch.path(), SearchCases());
  suite.RunCases("fixture search", built, scratch.path(), FixtureCases());
  suite.RunCases("splitting", built, scratch.path(), SplittingCases());
  suite.RunCases("separators", built, scratch.path(), SeparatorCases());
  suite.RunCases("program path", spaced, scratch.path(), ProgramPathCases());
  suite.RunCases("streams", built, scratch.path(), StreamCases());
  suite.RunCases("renamed program", renamed, scratch.path(), RenamedProgramCases());

  suite.Check("fixture devices", "remove",
              RemovalProblems(fixture::kInstanceIdPrefix, fixture::Devices().size()));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelto_e2e PATH-TO-kelto.exe\n");
    return 2;
  }
  Suite suite;
  try {
    RunAll(suite, argv[1]);
  } catch (const std::exception& error) {
    suite.Check("set-up", "run the end-to-end tests", {error.what()});
  }
  return suite.Finish();
}
