#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fixture_devices.h"
#include "launcher.h"
#include "setup_devices.h"

// What the end-to-end drivers share: a run of kelto described as a table row, the checks of its
// exit code and of every byte that it writes, the log with its closing "N passed, N failed"
// line, and the scratch folder of a driver's runs.

inline constexpr char kUsageText[] =
    "kelto [comaand] [param] exitcode: 0(fail), 1(Success)\r\n"
    "   h: find by hardware-id\r\n"
    "   d: find by device-desc\r\n"
    "   ?: help\r\n";

// No single run of kelto may take longer; a run that does is ended and counts as a failure.
inline constexpr DWORD kRunTimeoutMs = 60000;

inline constexpr wchar_t kProgramPlaceholder[] = L"{kelto}";
inline constexpr wchar_t kScratchPlaceholder[] = L"{scratch}";

enum class StdoutText { kNothing, kUsage };
enum class StderrText { kNothing, kErrorReport };

// One run of kelto and what it must do. When `command_line` holds a placeholder it is the whole
// command line, with "{kelto}" standing for the path of the program that runs and "{scratch}"
// for the run's scratch folder; otherwise it holds the arguments alone, and the run gets the
// quoted program path and a space before them. Where standard error leads to no file, nothing
// written to it can be read back, and `expected_stderr` must be kNothing.
struct Case {
  std::string name;
  std::wstring command_line;
  DWORD exit_code;
  StdoutText expected_stdout = StdoutText::kNothing;
  StdoutTarget stdout_target = StdoutTarget::kFile;
  StderrText expected_stderr = StderrText::kNothing;
  StderrTarget stderr_target = StderrTarget::kFile;
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

// Reads the executable sections of the PE file at `path`. Throws std::runtime_error.
Program DescribeProgram(const std::wstring& path);

// The command line that a run of `command_line` gets, placeholders filled in.
std::wstring ExpandCommandLine(const std::wstring& command_line, const Program& program,
                               const std::wstring& scratch_dir);

// Checks that stderr holds exactly one process-level error report for an I/O error raised in
// `program`'s own code.
std::vector<std::string> ErrorReportProblems(const std::string& report, const Program& program);

// What is wrong with each of `expected` as the walk of `devices` reports it, given the instance
// IDs that registration returned in the same order: a device missing from the walk, values
// other than those registered, a read into kelto's 522-byte buffer that succeeds or fails other
// than the value's size says, a device walked before one registered ahead of it. One list of
// problems for each expected device.
std::vector<std::vector<std::string>> RegistrationProblems(
    const std::vector<fixture::Device>& expected, const std::vector<std::wstring>& instance_ids,
    const std::vector<DeviceRecord>& devices);

// Removes every device whose instance ID begins with `prefix` and lists what went wrong: a
// number removed other than `expected`, a device still there afterwards, an error.
std::vector<std::string> RemovalProblems(const std::wstring& prefix, std::size_t expected);

class Suite {
 public:
  // Logs one check: "ok" when `problems` is empty, otherwise "FAIL" with `context` and each
  // problem on a line of its own.
  void Check(const std::string& group, const std::string& name,
             const std::vector<std::string>& problems, const std::string& context = "");

  // Runs each case as one check. `scratch_dir` receives the capture files of the runs.
  void RunCases(const std::string& group, const Program& program, const std::wstring& scratch_dir,
                const std::vector<Case>& cases);

  // Prints "N passed, N failed"; the driver's exit code, 1 when any check failed.
  int Finish() const;

 private:
  void RunCase(const std::string& group, const Program& program, const std::wstring& scratch_dir,
               const Case& test_case);

  int passed_ = 0;
  int failed_ = 0;
};

// A folder of this run's own on the prefix's system drive, holding the capture files and the
// copies of kelto.exe; the copies and the folder go at the end. Its path has no spaces, so that
// the spaces of the copies' paths are the only ones that the program-path cases see.
class ScratchDir {
 public:
  ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();

  const std::wstring& path() const { return path_; }

  // Copies `source` to `file_name` in `relative_dir` of the folder ("" for the folder itself),
  // which is created when needed; returns the copy's path. Throws std::runtime_error.
  std::wstring CopyInto(const std::wstring& source, const std::wstring& relative_dir,
                        const std::wstring& file_name);

 private:
  void MakeDir(const std::wstring& dir);

  std::wstring path_;
  std::vector<std::wstring> dirs_;
  std::vector<std::wstring> files_;
};
