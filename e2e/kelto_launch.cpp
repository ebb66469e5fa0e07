// Starts a program with an exact command line and shows what came back, for trying by hand
// what the end-to-end tests do:
//   wine64 kelto_launch.exe [--stdout=KIND] PROGRAM COMMAND-LINE
// KIND is file (the default), pipe, null, invalid, read-only, no-reader, full (the host's
// /dev/full), nul (the NUL device) or closed (a handle value open in no process). In COMMAND-LINE,
// {U+XXXX} stands for the UTF-16 unit XXXX, so that control characters survive the shell.
// The exit code is the started program's, or 125 when it could not be run.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <exception>
#include <map>
#include <string>

#include "launcher.h"
#include "printable.h"

namespace {

constexpr int kCouldNotRun = 125;
constexpr DWORD kTimeoutMs = 60000;

bool IsHexDigit(wchar_t unit) { return std::iswxdigit(static_cast<wint_t>(unit)) != 0; }

std::wstring DecodeUnitEscapes(const std::wstring& text) {
  std::wstring decoded;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const bool escape = text.compare(at, 3, L"{U+") == 0 && at + 8 <= text.size() &&
                        text[at + 7] == L'}' && IsHexDigit(text[at + 3]) &&
                        IsHexDigit(text[at + 4]) && IsHexDigit(text[at + 5]) &&
                        IsHexDigit(text[at + 6]);
    if (escape) {
      decoded += static_cast<wchar_t>(std::stoul(text.substr(at + 3, 4), nullptr, 16));
      at += 7;
    } else {
      decoded += text[at];
    }
  }
  return decoded;
}

std::wstring ScratchDir() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  return length == 0 ? std::wstring(L".") : std::wstring(temp, length);
}

int Usage() {
  std::fprintf(stderr,
               "usage: kelto_launch "
               "[--stdout=file|pipe|null|invalid|read-only|no-reader|full|nul|closed] "
               "PROGRAM COMMAND-LINE\n");
  return kCouldNotRun;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  static const std::map<std::wstring, StdoutTarget> kTargets = {
      {L"--stdout=file", StdoutTarget::kFile},
      {L"--stdout=pipe", StdoutTarget::kPipe},
      {L"--stdout=null", StdoutTarget::kNullHandle},
      {L"--stdout=invalid", StdoutTarget::kInvalidHandle},
      {L"--stdout=read-only", StdoutTarget::kReadOnlyFile},
      {L"--stdout=no-reader", StdoutTarget::kPipeWithoutReader},
      {L"--stdout=full", StdoutTarget::kFullDevice},
      {L"--stdout=nul", StdoutTarget::kNulDevice},
      {L"--stdout=closed", StdoutTarget::kClosedHandle},
  };
  int next = 1;
  StdoutTarget target = StdoutTarget::kFile;
  if (argc > next && std::wcsncmp(argv[next], L"--", 2) == 0) {
    const auto found = kTargets.find(argv[next]);
    if (found == kTargets.end()) return Usage();
    target = found->second;
    ++next;
  }
  if (argc != next + 2) return Usage();

  const std::wstring program = ToWindowsPath(argv[next]);
  const std::wstring command_line = DecodeUnitEscapes(argv[next + 1]);
  try {
    const LaunchResult result = Launch(program, command_line, target, ScratchDir(), kTimeoutMs);
    std::printf("command line: %s\n", Printable(command_line).c_str());
    if (!result.started) {
      std::printf("could not start %s: error %lu\n", Printable(program).c_str(),
                  result.start_error);
      return kCouldNotRun;
    }
    if (result.timed_out) std::printf("timed out after %lu ms\n", kTimeoutMs);
    std::printf("exit code: %lu\n", result.exit_code);
    std::printf("stdout: \"%s\"\n", PrintableBytes(result.stdout_bytes).c_str());
    std::printf("stderr: \"%s\"\n", PrintableBytes(result.stderr_bytes).c_str());
    return result.timed_out ? kCouldNotRun : static_cast<int>(result.exit_code);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kelto_launch: %s\n", error.what());
    return kCouldNotRun;
  }
}
