#pragma once

#include <windows.h>

#include <string>

// Where a started program's standard output goes. Standard input is always the NUL device.
enum class StdoutTarget {
  kFile,               // a fresh file, read back after the run
  kPipe,               // an anonymous pipe, drained while the program runs
  kNullHandle,         // no handle at all: NULL
  kInvalidHandle,      // INVALID_HANDLE_VALUE
  kReadOnlyFile,       // a file opened for reading only, so that every write to it fails
  kPipeWithoutReader,  // a pipe whose read end is closed before the start: every write fails
  kFullDevice,         // the host's /dev/full, a character device on which every write fails
  kNulDevice,          // the NUL device, a character device that takes every write
  kClosedHandle,       // a handle value open in no process, as after CloseHandle
};

// Where a started program's standard error goes.
enum class StderrTarget {
  kFile,        // a fresh file, read back after the run
  kFullDevice,  // as for standard output: nothing written can be read back
  kNullHandle,  // no handle at all: NULL
};

struct LaunchResult {
  bool started = false;
  DWORD start_error = 0;  // GetLastError() of a failed CreateProcessW
  bool timed_out = false;
  DWORD exit_code = 0;
  std::string stdout_bytes;  // for kReadOnlyFile what the file holds afterwards; for a device
                             // or a handle without reader nothing
  std::string stderr_bytes;  // nothing unless standard error was a file
};

// Starts `application` with `command_line` as its command line, character for character: the
// program sees exactly this text through GetCommandLineW, quotes, control characters and all.
// A run that outlasts `timeout_ms` is terminated and reported as timed out. Capture files go
// to `scratch_dir` and are removed afterwards. Throws std::runtime_error when the streams
// cannot be set up (there is no full device outside Wine).
LaunchResult Launch(const std::wstring& application, const std::wstring& command_line,
                    StdoutTarget stdout_target, const std::wstring& scratch_dir, DWORD timeout_ms,
                    StderrTarget stderr_target = StderrTarget::kFile);

// The DOS path under which the host's /dev/full reaches a Windows program under Wine.
std::wstring FullDevicePath();

// A handle value that no process has open: what a program sees in place of a standard handle
// that was closed.
HANDLE ClosedHandleValue();

// Paths that reach a program under Wine from the Linux side arrive as Unix paths; this turns
// such a path into the DOS path that CreateProcessW understands. Other paths are made absolute.
std::wstring ToWindowsPath(const std::wstring& path);
