// End-to-end tests of kelto.exe under Wine: the real program, the real Setup API and
// configuration manager, Wine's own devices and the fixture devices registered here. Every run
// starts kelto through CreateProcessW with an exact command line and checks its exit code and
// every byte that it writes to standard output and standard error.
//
//   wine64 kelto_e2e.exe PATH-TO-kelto.exe
//
// Ends with the line "N passed, N failed" and exit code 1 when any check failed.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixture_devices.h"
#include "launcher.h"
#include "printable.h"
#include "setup_devices.h"

namespace {

constexpr char kUsageText[] =
    "kelto [comaand] [param] exitcode: 0(fail), 1(Success)\r\n"
    "   h: find by hardware-id\r\n"
    "   d: find by device-desc\r\n"
    "   ?: help\r\n";

constexpr DWORD kRunTimeoutMs = 60000;

constexpr wchar_t kProgramPlaceholder[] = L"{kelto}";
constexpr wchar_t kScratchPlaceholder[] = L"{scratch}";

enum class StdoutText { kNothing, kUsage };
enum class StderrText { kNothing, kErrorReport };

// One run of kelto and what it must do. When `command_line` holds a placeholder it is the whole
// command line, with "{kelto}" standing for the path of the program that runs and "{scratch}"
// for the run's scratch folder; otherwise it holds the arguments alone, and the run gets the
// quoted program path and a space before them.
struct Case {
  std::string name;
  std::wstring command_line;
  DWORD exit_code;
  StdoutText expected_stdout = StdoutText::kNothing;
  StdoutTarget stdout_target = StdoutTarget::kFile;
  StderrText expected_stderr = StderrText::kNothing;
};

// Part of a module image, as offsets from the image's start.
struct AddressRange {
  std::uint32_t begin;
  std::uint32_t end;
};

// A copy of kelto.exe on disk and what an error report from it has to name.
struct Program {
  std::wstring path;
  std::string module_name;                // the file name, without directory
  std::vector<AddressRange> code_ranges;  // its executable sections
};

std::wstring FileName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot open " + Printable(path) + ", error " +
                             std::to_string(GetLastError()));
  }
  std::string bytes;
  char chunk[65536];
  DWORD count = 0;
  while (ReadFile(file, chunk, sizeof chunk, &count, nullptr) && count > 0) {
    bytes.append(chunk, count);
  }
  CloseHandle(file);
  return bytes;
}

template <typename T>
T ReadAt(const std::string& image, std::size_t offset) {
  if (offset + sizeof(T) > image.size()) throw std::runtime_error("PE file cut short");
  T value;
  std::memcpy(&value, image.data() + offset, sizeof(T));
  return value;
}

// The executable sections of a PE file, from its section table.
std::vector<AddressRange> ExecutableSections(const std::wstring& path) {
  const std::string image = ReadWholeFile(path);
  const auto dos_header = ReadAt<IMAGE_DOS_HEADER>(image, 0);
  if (dos_header.e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("no MZ header");
  const std::size_t nt_offset = static_cast<std::size_t>(dos_header.e_lfanew);
  if (ReadAt<DWORD>(image, nt_offset) != IMAGE_NT_SIGNATURE) {
    throw std::runtime_error("no PE signature");
  }
  const auto file_header = ReadAt<IMAGE_FILE_HEADER>(image, nt_offset + sizeof(DWORD));
  std::size_t section_offset =
      nt_offset + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + file_header.SizeOfOptionalHeader;
  std::vector<AddressRange> ranges;
  for (WORD index = 0; index < file_header.NumberOfSections; ++index) {
    const auto section = ReadAt<IMAGE_SECTION_HEADER>(image, section_offset);
    section_offset += sizeof(IMAGE_SECTION_HEADER);
    if ((section.Characteristics & IMAGE_SCN_MEM_EXECUTE) == 0) continue;
    const DWORD size = section.Misc.VirtualSize > section.SizeOfRawData ? section.Misc.VirtualSize
                                                                        : section.SizeOfRawData;
    ranges.push_back({section.VirtualAddress, section.VirtualAddress + size});
  }
  return ranges;
}

Program DescribeProgram(const std::wstring& path) {
  return {path, Printable(FileName(path)), ExecutableSections(path)};
}

void ReplaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
  for (std::size_t at = text.find(placeholder); at != std::wstring::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

std::wstring ExpandCommandLine(const std::wstring& command_line, const Program& program,
                               const std::wstring& scratch_dir) {
  const bool whole_line = command_line.find(kProgramPlaceholder) != std::wstring::npos ||
                          command_line.find(kScratchPlaceholder) != std::wstring::npos;
  std::wstring expanded =
      whole_line ? command_line : L"\"" + std::wstring(kProgramPlaceholder) + L"\" " + command_line;
  ReplaceAll(expanded, kProgramPlaceholder, program.path);
  ReplaceAll(expanded, kScratchPlaceholder, scratch_dir);
  return expanded;
}

// Checks that stderr holds exactly one process-level error report for an I/O error raised in
// `program`'s own code.
std::vector<std::string> ErrorReportProblems(const std::string& report, const Program& program) {
  static const std::regex kFrame(
      R"(Exception EInOutError in module ([^\r\n]*) at ([0-9A-F]{8})\.\r\n([^\r\n]*)\r\n\r\n)");
  std::smatch match;
  if (!std::regex_match(report, match, kFrame)) {
    return {"stderr: expected one report \"Exception EInOutError in module " + program.module_name +
            " at XXXXXXXX.\\r\\n<message>.\\r\\n\\r\\n\", got \"" + PrintableBytes(report) + "\""};
  }
  std::vector<std::string> problems;
  if (match[1] != program.module_name) {
    problems.push_back("stderr: expected the module name " + program.module_name + ", got " +
                       match[1].str());
  }
  const auto address = static_cast<std::uint32_t>(std::stoul(match[2].str(), nullptr, 16));
  bool in_code = false;
  for (const AddressRange& range : program.code_ranges) {
    in_code = in_code || (address >= range.begin && address < range.end);
  }
  if (!in_code) {
    problems.push_back("stderr: the address " + match[2].str() +
                       " is no offset into an executable section of " + program.module_name);
  }
  const std::string message = match[3].str();
  if (message.empty() || message.back() != '.') {
    problems.push_back("stderr: expected a message that ends with a full stop, got \"" +
                       PrintableBytes(message) + "\"");
  }
  return problems;
}

class Suite {
 public:
  void Check(const std::string& group, const std::string& name,
             const std::vector<std::string>& problems, const std::string& context = "") {
    if (problems.empty()) {
      ++passed_;
      std::printf("ok    %s: %s\n", group.c_str(), name.c_str());
    } else {
      ++failed_;
      std::printf("FAIL  %s: %s\n", group.c_str(), name.c_str());
      if (!context.empty()) std::printf("        %s\n", context.c_str());
      for (const std::string& problem : problems) std::printf("        %s\n", problem.c_str());
    }
    std::fflush(stdout);
  }

  // `scratch_dir` receives the capture files of the runs.
  void RunCases(const std::string& group, const Program& program, const std::wstring& scratch_dir,
                const std::vector<Case>& cases) {
    for (const Case& test_case : cases) RunCase(group, program, scratch_dir, test_case);
  }

  int Finish() const {
    std::printf("%d passed, %d failed\n", passed_, failed_);
    return failed_ == 0 ? 0 : 1;
  }

 private:
  void RunCase(const std::string& group, const Program& program, const std::wstring& scratch_dir,
               const Case& test_case) {
    const std::wstring command_line =
        ExpandCommandLine(test_case.command_line, program, scratch_dir);
    std::vector<std::string> problems;
    try {
      const LaunchResult result =
          Launch(program.path, command_line, test_case.stdout_target, scratch_dir, kRunTimeoutMs);
      problems = RunProblems(result, program, test_case);
    } catch (const std::exception& error) {
      problems.push_back(std::string("could not run kelto: ") + error.what());
    }
    Check(group, test_case.name, problems, "command line: " + Printable(command_line));
  }

  static std::vector<std::string> RunProblems(const LaunchResult& result, const Program& program,
                                              const Case& test_case) {
    if (!result.started) {
      return {"could not start " + Printable(program.path) + ": error " +
              std::to_string(result.start_error)};
    }
    if (result.timed_out) return {"still running after " + std::to_string(kRunTimeoutMs) + " ms"};
    std::vector<std::string> problems;
    if (result.exit_code != test_case.exit_code) {
      problems.push_back("exit code: expected " + std::to_string(test_case.exit_code) + ", got " +
                         std::to_string(result.exit_code));
    }
    const std::string expected_stdout =
        test_case.expected_stdout == StdoutText::kUsage ? kUsageText : "";
    if (result.stdout_bytes != expected_stdout) {
      problems.push_back("stdout: expected \"" + PrintableBytes(expected_stdout) + "\", got \"" +
                         PrintableBytes(result.stdout_bytes) + "\"");
    }
    if (test_case.expected_stderr == StderrText::kErrorReport) {
      for (const std::string& problem : ErrorReportProblems(result.stderr_bytes, program)) {
        problems.push_back(problem);
      }
    } else if (!result.stderr_bytes.empty()) {
      problems.push_back("stderr: expected nothing, got \"" + PrintableBytes(result.stderr_bytes) +
                         "\"");
    }
    return problems;
  }

  int passed_ = 0;
  int failed_ = 0;
};

// --- Preconditions: the devices that the cases below rely on ---------------------------------

const DeviceRecord* FindByInstanceId(const std::vector<DeviceRecord>& devices,
                                     const std::wstring& instance_id, std::size_t* position) {
  for (std::size_t index = 0; index < devices.size(); ++index) {
    if (_wcsicmp(devices[index].instance_id.c_str(), instance_id.c_str()) == 0) {
      *position = index;
      return &devices[index];
    }
  }
  return nullptr;
}

std::string PrintableValue(const std::optional<std::wstring>& value) {
  return value ? "\"" + Printable(*value) + "\"" : std::string("(none)");
}

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

bool FitsKeltoBuffer(std::size_t value_units) {
  return value_units * sizeof(wchar_t) <= kKeltoPropertyBufferBytes;
}

// The fixture's negative cases mean something only when Wine returns the values exactly as
// registered, refuses the long ones to a 522-byte buffer, and walks the devices in order.
void CheckFixtureDevices(Suite& suite, const std::vector<DeviceRecord>& devices,
                         const std::vector<std::wstring>& instance_ids) {
  const std::vector<fixture::Device>& expected_devices = fixture::Devices();
  std::size_t previous_position = 0;
  for (std::size_t index = 0; index < expected_devices.size(); ++index) {
    const fixture::Device& expected = expected_devices[index];
    std::vector<std::string> problems;
    std::size_t position = 0;
    const DeviceRecord* device = index < instance_ids.size()
                                     ? FindByInstanceId(devices, instance_ids[index], &position)
                                     : nullptr;
    if (device == nullptr) {
      problems.push_back("not in the Setup API's list of all devices");
    } else {
      const std::wstring description_value = StringValue(expected.description);
      if (device->description_value != description_value) {
        problems.push_back("description: expected " + PrintableValue(description_value) + ", got " +
                           PrintableValue(device->description_value));
      }
      const std::wstring hardware_id_value = MultiStringValue(expected.hardware_ids);
      if (device->hardware_id_value != hardware_id_value) {
        problems.push_back("hardware IDs: expected " + PrintableValue(hardware_id_value) +
                           ", got " + PrintableValue(device->hardware_id_value));
      }
      const bool description_fits = FitsKeltoBuffer(description_value.size());
      if (device->description_fits_kelto_buffer != description_fits) {
        problems.push_back(std::string("description: expected a 522-byte read to ") +
                           (description_fits ? "succeed" : "fail"));
      }
      const bool list_fits = FitsKeltoBuffer(hardware_id_value.size());
      if (device->hardware_ids_fit_kelto_buffer != list_fits) {
        problems.push_back(std::string("hardware IDs: expected a 522-byte read to ") +
                           (list_fits ? "succeed" : "fail"));
      }
      if (index > 0 && position <= previous_position) {
        problems.push_back("walked before the fixture device registered ahead of it");
      }
      previous_position = position;
    }
    suite.Check("fixture devices",
                Printable(index < instance_ids.size() ? instance_ids[index] : L"(unregistered)") +
                    " \"" + Printable(expected.description.substr(0, 40)) + "\"",
                problems);
  }
}

// --- The cases ---------------------------------------------------------------------------------

// Part 1.1's table of outcomes: which argument lists write what and end with which code.
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

// A folder of this run's own on the prefix's system drive, holding the capture files and the
// copies of kelto.exe. Its path has no spaces, so that the spaces of the copies' paths are the
// only ones that the program-path cases see.
class ScratchDir {
 public:
  ScratchDir() {
    wchar_t temp[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, temp) < 3) throw std::runtime_error("no temporary folder");
    path_ = std::wstring(temp, 3) + L"kelto-e2e-" + std::to_wstring(GetCurrentProcessId());
    MakeDir(path_);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    for (auto file = files_.rbegin(); file != files_.rend(); ++file) DeleteFileW(file->c_str());
    for (auto dir = dirs_.rbegin(); dir != dirs_.rend(); ++dir) RemoveDirectoryW(dir->c_str());
  }

  const std::wstring& path() const { return path_; }

  std::wstring CopyInto(const std::wstring& source, const std::wstring& relative_dir,
                        const std::wstring& file_name) {
    std::wstring dir = path_;
    if (!relative_dir.empty()) {
      dir += L"\\" + relative_dir;
      MakeDir(dir);
    }
    const std::wstring target = dir + L"\\" + file_name;
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
      throw std::runtime_error("cannot copy kelto.exe to " + Printable(target) + ", error " +
                               std::to_string(GetLastError()));
    }
    files_.push_back(target);
    return target;
  }

 private:
  void MakeDir(const std::wstring& dir) {
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      throw std::runtime_error("cannot create " + Printable(dir) + ", error " +
                               std::to_string(GetLastError()));
    }
    dirs_.push_back(dir);
  }

  std::wstring path_;
  std::vector<std::wstring> dirs_;
  std::vector<std::wstring> files_;
};

std::vector<std::string> RemoveFixtureProblems() {
  try {
    const int removed = fixture::Remove();
    std::vector<std::string> problems;
    if (removed != static_cast<int>(fixture::Devices().size())) {
      problems.push_back("removed " + std::to_string(removed) + " devices, expected " +
                         std::to_string(fixture::Devices().size()));
    }
    for (const DeviceRecord& device : ListDevices()) {
      if (_wcsnicmp(device.instance_id.c_str(), fixture::kInstanceIdPrefix,
                    std::wcslen(fixture::kInstanceIdPrefix)) == 0) {
        problems.push_back("still registered: " + Printable(device.instance_id));
      }
    }
    return problems;
  } catch (const std::exception& error) {
    return {error.what()};
  }
}

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

  suite.Check("fixture devices", "remove", RemoveFixtureProblems());
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
