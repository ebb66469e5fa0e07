// End-to-end tests of kelto.exe under Wine with input that a careless caller or a hostile one
// can produce: the longest command line that CreateProcessW takes, surrogates without their
// partner, search texts longer than any device property, separators everywhere, hundreds of
// devices with the only match at the end of the walk, and standard streams that refuse writes
// or are not there at all. Every run must end within the time limit with the exit code and the
// output that the program owes, never with a crash.
//
//   wine64 kelto_hostile_e2e.exe PATH-TO-kelto.exe
//
// Registers and removes devices of its own ("ROOT\KELTOHOSTILE\", "ROOT\KELTOBULK\"); leaves
// those of kelto_e2e alone. Ends with the line "N passed, N failed" and exit code 1 when any
// check failed.

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixture_devices.h"
#include "launcher.h"
#include "printable.h"
#include "setup_devices.h"
#include "suite.h"

namespace {

// CreateProcessW takes at most 32,767 UTF-16 units, the terminating NUL among them. Wine hands
// a longer command line on cut to this length instead of refusing it, so no test goes beyond.
constexpr std::size_t kLongestCommandLine = 32766;

// Each device property that kelto reads holds at most this many units.
constexpr std::size_t kLongestProperty = 261;

constexpr wchar_t kWineDescription[] = L"Wine Adapter";
constexpr wchar_t kWineHardwareId[] = L"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00";

bool IsSeparator(wchar_t unit) { return unit >= 0x0001 && unit <= 0x0020; }

// Every separator, U+0001 to U+0020, in ascending order.
std::wstring AllSeparators() {
  std::wstring units;
  for (wchar_t unit = 0x0001; unit <= 0x0020; ++unit) units += unit;
  return units;
}

// The text as one argument: in double quotes when it holds a separator.
std::wstring Argument(const std::wstring& text) {
  for (wchar_t unit : text) {
    if (IsSeparator(unit)) return L"\"" + text + L"\"";
  }
  return text;
}

std::wstring Units(std::initializer_list<unsigned> values) {
  std::wstring text;
  for (unsigned value : values) text += static_cast<wchar_t>(value);
  return text;
}

// `text` repeated and cut to exactly `length` units.
std::wstring Repeated(const std::wstring& text, std::size_t length) {
  std::wstring repeated;
  while (repeated.size() < length) repeated += text;
  return repeated.substr(0, length);
}

std::string Milliseconds(ULONGLONG since) {
  return std::to_string(GetTickCount64() - since) + " ms";
}

// --- Searches: a command, a search text and the answer, checked against the walk too ---------

enum class Field { kDescription, kHardwareId };

struct Search {
  std::string name;
  Field field;
  std::wstring text;
  DWORD exit_code;
};

// The text that kelto compares for one device: the value's text before its first NUL; nothing
// when the device has no such value or when the value does not fit kelto's buffer.
std::optional<std::wstring> ComparedText(const DeviceRecord& device, Field field) {
  const bool description = field == Field::kDescription;
  const std::optional<std::wstring>& value =
      description ? device.description_value : device.hardware_id_value;
  const bool fits =
      description ? device.description_fits_kelto_buffer : device.hardware_ids_fit_kelto_buffer;
  if (!value || !fits) return std::nullopt;
  return TextBeforeNul(*value);
}

// Positions in the walk of the devices whose compared text contains `text`.
std::vector<std::size_t> Holders(const std::vector<DeviceRecord>& devices, Field field,
                                 const std::wstring& text) {
  std::vector<std::size_t> positions;
  for (std::size_t position = 0; position < devices.size(); ++position) {
    const std::optional<std::wstring> compared = ComparedText(devices[position], field);
    if (compared && !text.empty() && compared->find(text) != std::wstring::npos) {
      positions.push_back(position);
    }
  }
  return positions;
}

// A search's answer means what its name says only when the Setup API agrees: some device holds
// the text when the answer is 1, none when it is 0.
std::vector<std::string> WalkDisagreements(const std::vector<DeviceRecord>& devices,
                                           const std::vector<Search>& searches) {
  std::vector<std::string> problems;
  for (const Search& search : searches) {
    const bool held = !Holders(devices, search.field, search.text).empty();
    if (held != (search.exit_code == 1)) {
      problems.push_back(search.name + ": " + (held ? "some" : "no") +
                         " device of the walk holds \"" + Printable(search.text) + "\"");
    }
  }
  return problems;
}

std::vector<Case> ToCases(const std::vector<Search>& searches) {
  std::vector<Case> cases;
  for (const Search& search : searches) {
    const std::wstring command = search.field == Field::kDescription ? L"d " : L"h ";
    cases.push_back({search.name, command + Argument(search.text), search.exit_code});
  }
  return cases;
}

// --- Preconditions -----------------------------------------------------------------------------

void CheckRegistered(Suite& suite, const std::string& group,
                     const std::vector<fixture::Device>& expected_devices,
                     const std::vector<std::wstring>& instance_ids,
                     const std::vector<DeviceRecord>& devices) {
  const std::vector<std::vector<std::string>> problems =
      RegistrationProblems(expected_devices, instance_ids, devices);
  for (std::size_t index = 0; index < expected_devices.size(); ++index) {
    suite.Check(group,
                "registered as given: " +
                    Printable(index < instance_ids.size() ? instance_ids[index] : L"(none)"),
                problems[index]);
  }
}

// The streams cases expect what they do because of what these handles are to the program.
void CheckStreamTargets(Suite& suite) {
  const auto check_device = [&suite](const std::string& name, const std::wstring& path,
                                     bool write_succeeds) {
    std::vector<std::string> problems;
    HANDLE device = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
      problems.push_back("cannot open " + Printable(path) + ": error " +
                         std::to_string(GetLastError()));
    } else {
      const DWORD type = GetFileType(device);
      if (type != FILE_TYPE_CHAR) {
        problems.push_back("GetFileType: expected FILE_TYPE_CHAR, got " + std::to_string(type));
      }
      DWORD written = 0;
      const bool wrote = WriteFile(device, "x\r\n", 3, &written, nullptr) && written == 3;
      const DWORD error = GetLastError();
      if (wrote != write_succeeds) {
        problems.push_back(std::string("a write ") + (wrote ? "succeeded" : "failed") + ", error " +
                           std::to_string(error));
      }
      CloseHandle(device);
    }
    suite.Check("stream targets", name, problems, "path: " + Printable(path));
  };
  check_device("the full device is a character device that refuses writes", FullDevicePath(),
               false);
  check_device("NUL is a character device that takes writes", L"NUL", true);

  SetLastError(NO_ERROR);
  const DWORD type = GetFileType(ClosedHandleValue());
  const DWORD error = GetLastError();
  std::vector<std::string> problems;
  if (type != FILE_TYPE_UNKNOWN || error != ERROR_INVALID_HANDLE) {
    problems.push_back("GetFileType: expected FILE_TYPE_UNKNOWN with ERROR_INVALID_HANDLE, got " +
                       std::to_string(type) + " with error " + std::to_string(error));
  }
  suite.Check("stream targets", "the closed handle value is no handle", problems);
}

// --- The cases ---------------------------------------------------------------------------------

// Command lines of exactly kLongestCommandLine units, the program path included: `head`, then
// as many whole copies of `fill` as there is room for, then `tail`. Spaces in front of the
// copies make up what is left over, so that a fill such as an empty pair is never cut in half.
class LongLines {
 public:
  LongLines(const Program& program, const std::wstring& scratch_dir)
      : program_(program), scratch_dir_(scratch_dir) {}

  std::wstring Line(const std::wstring& head, const std::wstring& fill,
                    const std::wstring& tail) const {
    const std::size_t fixed = ExpandCommandLine(head + tail, program_, scratch_dir_).size();
    if (fixed > kLongestCommandLine) throw std::runtime_error("no room for a long command line");
    const std::size_t room = kLongestCommandLine - fixed;
    std::wstring line = head + std::wstring(room % fill.size(), L' ');
    for (std::size_t copy = 0; copy < room / fill.size(); ++copy) line += fill;
    return line + tail;
  }

 private:
  const Program& program_;
  const std::wstring& scratch_dir_;
};

std::vector<Case> LongCommandLineCases(const LongLines& lines) {
  const std::wstring program = L"\"{kelto}\"";
  const std::wstring spaces = L" ";
  const StdoutText usage = StdoutText::kUsage;
  // "Adapters" is in no description, "Adapter" is: a line cut by a single unit would match.
  return {
      {"spaces, then d and a text that a device has", lines.Line(program, spaces, L"d Wine"), 1},
      {"spaces, then d and a text that no device has, its last unit the line's last",
       lines.Line(program, spaces, L"d Adapters"), 0},
      {"spaces, then h and a text that a device has", lines.Line(program, spaces, L"h MONITOR"), 1},
      {"spaces, then h and a text that no device has, its last unit the line's last",
       lines.Line(program, spaces, L"h Default_Monitor_"), 0},
      {"every separator in turn, then d", lines.Line(program, AllSeparators(), L" d Wine"), 1},
      {"empty quoted pairs, then d", lines.Line(program + L" ", L"\"\"", L" d Wine"), 1},
      {"spaces, then ?", lines.Line(program, spaces, L" ?"), 1, usage},
      {"? and surplus units in the one argument", lines.Line(program + L" ?", L"?", L""), 1, usage},
      {"a command word that fills the line, then a text that a device has",
       lines.Line(program + L" d", L"d", L" Wine"), 1},
      {"a command word that fills the line, no text", lines.Line(program + L" d", L"x", L""), 0},
      {"d, a match, then a third argument that fills the line",
       lines.Line(program + L" d Wine ", L"x", L""), 1},
      {"h, a match, then a third argument that fills the line",
       lines.Line(program + L" h PCI ", L"x", L""), 1},
      {"d and a description, then a search text that fills the line",
       lines.Line(program + L" d \"" + kWineDescription, L"x", L"\""), 0},
      {"h and a hardware ID, then a search text that fills the line",
       lines.Line(program + L" h " + kWineHardwareId, L"x", L""), 0},
      {"d and the description repeated to fill the line",
       lines.Line(program + L" d \"", kWineDescription, L"\""), 0},
      {"d and a quoted text of spaces that runs to the line's end",
       lines.Line(program + L" d \"", spaces, L"Wine"), 0},
  };
}

// Surrogates without a partner in the search text, inside it and at its end (and so at the end
// of the command line), against devices that hold them: the same units find the device, their
// neighbours and the usual replacements of a converter do not.
std::vector<Search> LoneSurrogateSearches() {
  using fixture::lone_surrogates::LoneSurrogateDevices;
  using fixture::lone_surrogates::Text;
  std::vector<Search> searches;
  const auto shifted = [](const std::wstring& units, int by) {
    std::wstring moved = units;
    for (wchar_t& unit : moved) unit = static_cast<wchar_t>(unit + by);
    return moved;
  };
  for (const auto& device : LoneSurrogateDevices()) {
    for (const Field field : {Field::kDescription, Field::kHardwareId}) {
      const Text& text = field == Field::kDescription ? device.description : device.hardware_id;
      const std::string prefix =
          std::string(field == Field::kDescription ? "d, " : "h, ") + device.name + ": ";
      const auto add = [&](const std::string& name, const std::wstring& search, DWORD exit_code) {
        searches.push_back({prefix + name, field, search, exit_code});
      };
      const bool high = text.units.front() >= 0xD800 && text.units.front() <= 0xDBFF;
      add("the whole text", text.Whole(), 1);
      add("the units alone", text.units, 1);
      if (!text.tail.empty()) {
        add("a text that ends with the units", text.head + text.units, 1);
        add("a text that begins with the units", text.units + text.tail, 1);
        add("the units left out", text.head + text.tail, 0);
      }
      add("the unit below each", text.head + shifted(text.units, -1) + text.tail, 0);
      add("the unit above each", text.head + shifted(text.units, +1) + text.tail, 0);
      add("U+FFFD in their place",
          text.head + std::wstring(text.units.size(), L'\uFFFD') + text.tail, 0);
      add("? in their place", text.head + std::wstring(text.units.size(), L'?') + text.tail, 0);
      if (text.units.size() == 2) {
        add("the pair in its proper order",
            text.head + text.units.substr(1) + text.units.substr(0, 1) + text.tail, 0);
      } else {
        // A partner completes the unit to a valid pair, which the device does not hold.
        add("the units with a partner",
            text.head + (high ? text.units + Units({0xDC00}) : Units({0xD800}) + text.units) +
                text.tail,
            0);
      }
    }
  }
  return searches;
}

// The command character itself a lone surrogate, or followed by one.
std::vector<Case> LoneSurrogateCommandCases() {
  const std::wstring high = Units({0xD800});
  const std::wstring low = Units({0xDFFF});
  return {
      {"a lone high surrogate as the command", high + L" Wine", 0},
      {"a lone low surrogate as the command", low + L" Wine", 0},
      {"d with a lone surrogate joined to it", L"d" + high + L" Wine", 1},
      {"? and a lone surrogate as the one argument", L"?" + low, 1, StdoutText::kUsage},
      {"a lone surrogate as a third argument", L"d Wine " + high, 1},
  };
}

// Search texts longer than any property: whatever their first units, nothing holds them.
std::vector<Search> LongSearchTextSearches() {
  std::vector<Search> searches;
  for (const std::size_t length : {kLongestProperty, kLongestProperty + 1, std::size_t{4000}}) {
    const std::string units = std::to_string(length) + " units";
    const std::wstring description(kWineDescription);
    const std::wstring hardware_id(kWineHardwareId);
    searches.push_back({"d, " + units + ": a description and padding after it", Field::kDescription,
                        description + std::wstring(length - description.size(), L'x'), 0});
    searches.push_back({"d, " + units + ": padding and a description after it", Field::kDescription,
                        std::wstring(length - description.size(), L'x') + description, 0});
    searches.push_back({"d, " + units + ": a description over and over", Field::kDescription,
                        Repeated(description, length), 0});
    searches.push_back({"h, " + units + ": a hardware ID and padding after it", Field::kHardwareId,
                        hardware_id + std::wstring(length - hardware_id.size(), L'x'), 0});
    searches.push_back({"h, " + units + ": padding and a hardware ID after it", Field::kHardwareId,
                        std::wstring(length - hardware_id.size(), L'x') + hardware_id, 0});
    searches.push_back({"h, " + units + ": one letter over and over", Field::kHardwareId,
                        std::wstring(length, L'P'), 0});
  }
  return searches;
}

// Separators where kelto_e2e does not put them: before the program name, inside a quoted search
// text, at the end of the line inside an open quote, and all of them in one run.
std::vector<Case> SeparatorCases() {
  std::vector<Case> cases;
  for (wchar_t unit = 0x0001; unit <= 0x0020; ++unit) {
    const std::wstring separator(1, unit);
    const bool space = unit == L' ';
    cases.push_back(
        {UnitName(unit) + " before the program name", separator + L"\"{kelto}\" d Wine", 1});
    // Inside quotes a separator is an ordinary unit: no description holds a control character
    // between the two words, while "Wine" alone would match if it split the text.
    cases.push_back({UnitName(unit) + " inside a quoted search text",
                     L"d \"Wine" + separator + L"Adapter\"", space ? 1u : 0u});
    cases.push_back({UnitName(unit) + " at the end of the line, inside an open quote",
                     L"d \"Wine Adapter" + separator, 0});
  }
  const std::wstring all = AllSeparators();
  std::wstring reversed(all.rbegin(), all.rend());
  cases.push_back({"every separator in every gap, and at both ends",
                   all + L"\"{kelto}\"" + all + L"d" + all + L"Wine" + all, 1});
  cases.push_back({"every separator in every gap, with empty pairs among them",
                   reversed + L"\"\"\"{kelto}\"" + reversed + L"\"\"" + all + L"d\"\"\"\"" +
                       reversed + L"\"Wine Adapter\"" + all + L"\"\"",
                   1});
  cases.push_back({"every separator before an unquoted program name", all + L"{kelto} d Wine", 1});
  cases.push_back({"nothing but separators after the program name", L"\"{kelto}\"" + all, 0});
  cases.push_back({"nothing but separators and empty pairs", all + L"\"\"" + all, 0});
  return cases;
}

// The bulk's last device is the only one in the walk that holds these texts.
std::vector<Search> BulkSearches() {
  using namespace fixture::bulk;
  const std::size_t last = kCount - 1;
  return {
      {"d, the last device's description", Field::kDescription, Description(last), 1},
      {"h, the last device's hardware ID", Field::kHardwareId, HardwareId(last), 1},
      {"d, the end of the last device's description", Field::kDescription,
       Description(last).substr(std::wstring(L"Kelto bulk ").size()), 1},
      {"h, the end of the last device's hardware ID", Field::kHardwareId,
       HardwareId(last).substr(std::wstring(L"KeltoBulk\\").size()), 1},
      {"d, a description that comes after the last", Field::kDescription, Description(kCount), 0},
      {"h, a hardware ID that comes after the last", Field::kHardwareId, HardwareId(kCount), 0},
      {"d, the last device's description and one more unit", Field::kDescription,
       Description(last) + L"0", 0},
  };
}

// Standard output that refuses writes or is missing, for each command. What ? owes depends on
// the kind of handle: a character device is written line by line, and a failed line raises the
// I/O error report; a file or a pipe is written in one piece at the end, silently if that fails;
// a handle that is no handle fails the first line. d and h write nothing: their exit code is the
// answer whatever standard output is.
std::vector<Case> StreamCases() {
  struct Target {
    const char* name;
    StdoutTarget stdout_target;
    StderrTarget stderr_target;
    bool usage_case;  // false where kelto_e2e runs ? against the same target already
    StderrText usage_stderr;
  };
  const StderrText report = StderrText::kErrorReport;
  const StderrText nothing = StderrText::kNothing;
  static const Target kTargets[] = {
      {"the full device", StdoutTarget::kFullDevice, StderrTarget::kFile, true, report},
      {"the full device, standard error too", StdoutTarget::kFullDevice, StderrTarget::kFullDevice,
       true, nothing},
      {"the NUL device", StdoutTarget::kNulDevice, StderrTarget::kFile, true, nothing},
      {"a closed handle", StdoutTarget::kClosedHandle, StderrTarget::kFile, true, report},
      {"a closed handle, no standard error", StdoutTarget::kClosedHandle, StderrTarget::kNullHandle,
       true, nothing},
      {"no standard output, no standard error", StdoutTarget::kNullHandle,
       StderrTarget::kNullHandle, true, nothing},
      {"a pipe without reader", StdoutTarget::kPipeWithoutReader, StderrTarget::kFile, false,
       nothing},
      {"a file that refuses writes", StdoutTarget::kReadOnlyFile, StderrTarget::kFile, false,
       nothing},
  };
  struct Command {
    const char* name;
    const wchar_t* arguments;
    DWORD exit_code;
  };
  static const Command kCommands[] = {
      {"d with a match", L"d \"Wine Adapter\"", 1},
      {"d without a match", L"d \"No Such Kelto Device\"", 0},
      {"h with a match", L"h PCI\\VEN_0000", 1},
      {"h without a match", L"h KELTO\\NO_SUCH_ID", 0},
  };
  std::vector<Case> cases;
  for (const Target& target : kTargets) {
    const std::string to = std::string(" to ") + target.name;
    if (target.usage_case) {
      cases.push_back({std::string("?") + to, L"?", 1, StdoutText::kNothing, target.stdout_target,
                       target.usage_stderr, target.stderr_target});
    }
    for (const Command& command : kCommands) {
      cases.push_back({command.name + to, command.arguments, command.exit_code,
                       StdoutText::kNothing, target.stdout_target, StderrText::kNothing,
                       target.stderr_target});
    }
  }
  return cases;
}

// --- Groups that register devices -------------------------------------------------------------

void RunLoneSurrogateGroup(Suite& suite, const Program& program, const std::wstring& scratch) {
  namespace lone = fixture::lone_surrogates;
  std::vector<std::wstring> instance_ids;
  try {
    instance_ids = lone::Register();
  } catch (const std::exception& error) {
    suite.Check("lone surrogates", "register", {error.what()});
  }
  const std::vector<DeviceRecord> devices = ListDevices();
  CheckRegistered(suite, "lone surrogates", lone::Devices(), instance_ids, devices);
  const std::vector<Search> searches = LoneSurrogateSearches();
  suite.Check("lone surrogates", "the walk holds exactly the texts that the cases find",
              WalkDisagreements(devices, searches));
  suite.RunCases("lone surrogates", program, scratch, ToCases(searches));
  suite.RunCases("lone surrogates", program, scratch, LoneSurrogateCommandCases());
  suite.Check("lone surrogates", "remove",
              RemovalProblems(lone::kInstanceIdPrefix, lone::Devices().size()));
}

// The registered bulk in the walk: each value as given, the devices in the order of
// registration, and so every one of them ahead of the last.
std::vector<std::string> BulkWalkProblems(const std::vector<std::wstring>& instance_ids,
                                          const std::vector<DeviceRecord>& devices) {
  const std::vector<fixture::Device>& expected = fixture::bulk::Devices();
  if (instance_ids.size() != expected.size()) {
    return {"registered " + std::to_string(instance_ids.size()) + " devices, expected " +
            std::to_string(expected.size())};
  }
  const std::vector<std::vector<std::string>> per_device =
      RegistrationProblems(expected, instance_ids, devices);
  std::vector<std::string> problems;
  for (std::size_t index = 0; index < expected.size(); ++index) {
    for (const std::string& problem : per_device[index]) {
      problems.push_back(Printable(instance_ids[index]) + ": " + problem);
    }
  }
  return problems;
}

void RunBulkGroup(Suite& suite, const Program& program, const std::wstring& scratch) {
  namespace bulk = fixture::bulk;
  const std::string group = "bulk of " + std::to_string(bulk::kCount);
  ULONGLONG start = GetTickCount64();
  std::vector<std::wstring> instance_ids;
  try {
    instance_ids = bulk::Register();
  } catch (const std::exception& error) {
    suite.Check(group, "register", {error.what()});
  }
  std::printf("      registering %zu devices took %s\n", bulk::kCount, Milliseconds(start).c_str());

  const std::vector<DeviceRecord> devices = ListDevices();
  suite.Check(group, "registered as given, walked in the order of registration",
              BulkWalkProblems(instance_ids, devices));
  const std::vector<Search> searches = BulkSearches();
  std::vector<std::string> problems = WalkDisagreements(devices, searches);
  std::size_t last_position = 0;
  if (!instance_ids.empty() && FindByInstanceId(devices, instance_ids.back(), &last_position)) {
    for (const Search& search : searches) {
      if (search.exit_code != 1) continue;
      const std::vector<std::size_t> holders = Holders(devices, search.field, search.text);
      if (holders.size() != 1 || holders.front() != last_position) {
        problems.push_back(search.name + ": held by other devices than the bulk's last");
      }
    }
  } else {
    problems.push_back("the bulk's last device is not in the walk");
  }
  suite.Check(group, "the cases' texts are held by the last device alone", problems);

  start = GetTickCount64();
  suite.RunCases(group, program, scratch, ToCases(searches));
  std::printf("      %zu runs over %zu devices took %s\n", searches.size(), devices.size(),
              Milliseconds(start).c_str());

  start = GetTickCount64();
  suite.Check(group, "remove", RemovalProblems(bulk::kInstanceIdPrefix, bulk::kCount));
  std::printf("      removing them took %s\n", Milliseconds(start).c_str());
}

void RunAll(Suite& suite, const std::wstring& kelto_argument) {
  ScratchDir scratch;
  const Program built = DescribeProgram(ToWindowsPath(kelto_argument));
  const Program renamed = DescribeProgram(scratch.CopyInto(built.path, L"", L"kelto-hostile.exe"));

  CheckStreamTargets(suite);

  suite.RunCases("longest command line", built, scratch.path(),
                 LongCommandLineCases(LongLines(built, scratch.path())));
  RunLoneSurrogateGroup(suite, built, scratch.path());
  suite.RunCases("long search texts", built, scratch.path(), ToCases(LongSearchTextSearches()));
  // The renamed copy's path has no spaces, so that it may stand unquoted.
  suite.RunCases("separators", renamed, scratch.path(), SeparatorCases());
  RunBulkGroup(suite, built, scratch.path());
  suite.RunCases("streams", built, scratch.path(), StreamCases());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelto_hostile_e2e PATH-TO-kelto.exe\n");
    return 2;
  }
  Suite suite;
  try {
    RunAll(suite, argv[1]);
  } catch (const std::exception& error) {
    suite.Check("set-up", "run the hostile-input tests", {error.what()});
  }
  return suite.Finish();
}
