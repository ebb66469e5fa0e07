#include "suite.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <optional>
#include <regex>
#include <stdexcept>

#include "printable.h"

namespace {

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

void ReplaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value) {
  for (std::size_t at = text.find(placeholder); at != std::wstring::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

// Decimal, and in hexadecimal too where it may be an NTSTATUS such as that of a crash.
std::string ExitCodeText(DWORD exit_code) {
  std::string text = std::to_string(exit_code);
  if (exit_code > 0xFF) {
    char hex[16];
    std::snprintf(hex, sizeof hex, " (0x%08lX)", exit_code);
    text += hex;
  }
  return text;
}

std::vector<std::string> RunProblems(const LaunchResult& result, const Program& program,
                                     const Case& test_case) {
  if (!result.started) {
    return {"could not start " + Printable(program.path) + ": error " +
            std::to_string(result.start_error)};
  }
  if (result.timed_out) return {"still running after " + std::to_string(kRunTimeoutMs) + " ms"};
  std::vector<std::string> problems;
  if (result.exit_code != test_case.exit_code) {
    problems.push_back("exit code: expected " + ExitCodeText(test_case.exit_code) + ", got " +
                       ExitCodeText(result.exit_code));
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

std::string PrintableValue(const std::optional<std::wstring>& value) {
  return value ? "\"" + Printable(*value) + "\"" : std::string("(none)");
}

bool FitsKeltoBuffer(std::size_t value_units) {
  return value_units * sizeof(wchar_t) <= kKeltoPropertyBufferBytes;
}

// What is wrong with one registered device as the walk reports it; null when it is missing.
std::vector<std::string> DeviceProblems(const fixture::Device& expected,
                                        const DeviceRecord* device) {
  if (device == nullptr) return {"not in the Setup API's list of all devices"};
  std::vector<std::string> problems;
  const std::wstring description_value = StringValue(expected.description);
  if (device->description_value != description_value) {
    problems.push_back("description: expected " + PrintableValue(description_value) + ", got " +
                       PrintableValue(device->description_value));
  }
  const std::wstring hardware_id_value = MultiStringValue(expected.hardware_ids);
  if (device->hardware_id_value != hardware_id_value) {
    problems.push_back("hardware IDs: expected " + PrintableValue(hardware_id_value) + ", got " +
                       PrintableValue(device->hardware_id_value));
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
  return problems;
}

}  // namespace

Program DescribeProgram(const std::wstring& path) {
  return {path, Printable(FileName(path)), ExecutableSections(path)};
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

std::vector<std::vector<std::string>> RegistrationProblems(
    const std::vector<fixture::Device>& expected, const std::vector<std::wstring>& instance_ids,
    const std::vector<DeviceRecord>& devices) {
  std::vector<std::vector<std::string>> problems;
  std::size_t previous_position = 0;
  for (std::size_t index = 0; index < expected.size(); ++index) {
    std::size_t position = 0;
    const DeviceRecord* device = index < instance_ids.size()
                                     ? FindByInstanceId(devices, instance_ids[index], &position)
                                     : nullptr;
    problems.push_back(DeviceProblems(expected[index], device));
    if (device == nullptr) continue;
    if (index > 0 && position <= previous_position) {
      problems.back().push_back("walked before the device registered ahead of it");
    }
    previous_position = position;
  }
  return problems;
}

std::vector<std::string> RemovalProblems(const std::wstring& prefix, std::size_t expected) {
  try {
    const int removed = RemoveDevicesWithInstanceIdPrefix(prefix);
    std::vector<std::string> problems;
    if (removed != static_cast<int>(expected)) {
      problems.push_back("removed " + std::to_string(removed) + " devices, expected " +
                         std::to_string(expected));
    }
    for (const DeviceRecord& device : ListDevices()) {
      if (_wcsnicmp(device.instance_id.c_str(), prefix.c_str(), prefix.size()) == 0) {
        problems.push_back("still registered: " + Printable(device.instance_id));
      }
    }
    return problems;
  } catch (const std::exception& error) {
    return {error.what()};
  }
}

void Suite::Check(const std::string& group, const std::string& name,
                  const std::vector<std::string>& problems, const std::string& context) {
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

void Suite::RunCases(const std::string& group, const Program& program,
                     const std::wstring& scratch_dir, const std::vector<Case>& cases) {
  for (const Case& test_case : cases) RunCase(group, program, scratch_dir, test_case);
}

int Suite::Finish() const {
  std::printf("%d passed, %d failed\n", passed_, failed_);
  return failed_ == 0 ? 0 : 1;
}

void Suite::RunCase(const std::string& group, const Program& program,
                    const std::wstring& scratch_dir, const Case& test_case) {
  const std::wstring command_line = ExpandCommandLine(test_case.command_line, program, scratch_dir);
  std::vector<std::string> problems;
  try {
    const LaunchResult result = Launch(program.path, command_line, test_case.stdout_target,
                                       scratch_dir, kRunTimeoutMs, test_case.stderr_target);
    problems = RunProblems(result, program, test_case);
  } catch (const std::exception& error) {
    problems.push_back(std::string("could not run kelto: ") + error.what());
  }
  // A command line of thousands of units would bury the log; its length and ends say enough.
  constexpr std::size_t kShownUnits = 400;
  std::string shown = Printable(command_line);
  if (command_line.size() > kShownUnits) {
    shown = Printable(command_line.substr(0, kShownUnits / 2)) + " ... " +
            Printable(command_line.substr(command_line.size() - kShownUnits / 2)) + " (" +
            std::to_string(command_line.size()) + " units)";
  }
  Check(group, test_case.name, problems, "command line: " + shown);
}

ScratchDir::ScratchDir() {
  wchar_t temp[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, temp) < 3) throw std::runtime_error("no temporary folder");
  path_ = std::wstring(temp, 3) + L"kelto-e2e-" + std::to_wstring(GetCurrentProcessId());
  MakeDir(path_);
}

ScratchDir::~ScratchDir() {
  for (auto file = files_.rbegin(); file != files_.rend(); ++file) DeleteFileW(file->c_str());
  for (auto dir = dirs_.rbegin(); dir != dirs_.rend(); ++dir) RemoveDirectoryW(dir->c_str());
}

std::wstring ScratchDir::CopyInto(const std::wstring& source, const std::wstring& relative_dir,
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

void ScratchDir::MakeDir(const std::wstring& dir) {
  if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    throw std::runtime_error("cannot create " + Printable(dir) + ", error " +
                             std::to_string(GetLastError()));
  }
  dirs_.push_back(dir);
}
