#include "launcher.h"

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

std::runtime_error LastError(const std::string& what) {
  return std::runtime_error(what + " failed with error " + std::to_string(GetLastError()));
}

class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Close(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE* receive() {
    Close();
    return &handle_;
  }
  void Close() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

SECURITY_ATTRIBUTES Inheritable() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

std::string ReadToEnd(HANDLE handle) {
  std::string bytes;
  char chunk[4096];
  DWORD count = 0;
  while (ReadFile(handle, chunk, sizeof chunk, &count, nullptr) && count > 0) {
    bytes.append(chunk, count);
  }
  return bytes;
}

// A file that receives one stream of the started program. The child inherits the handle; the
// content is read back by name afterwards, and the file is removed with this object.
class CaptureFile {
 public:
  CaptureFile(const std::wstring& dir, DWORD access) {
    wchar_t name[MAX_PATH];
    if (GetTempFileNameW(dir.c_str(), L"cap", 0, name) == 0) throw LastError("GetTempFileNameW");
    path_ = name;
    SECURITY_ATTRIBUTES inheritable = Inheritable();
    *handle_.receive() =
        CreateFileW(path_.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (!handle_.valid()) {
      DeleteFileW(path_.c_str());
      throw LastError("CreateFileW for a capture file");
    }
  }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;
  ~CaptureFile() {
    handle_.Close();
    DeleteFileW(path_.c_str());
  }

  HANDLE handle() const { return handle_.get(); }

  std::string Content() const {
    OwnedHandle reader(CreateFileW(path_.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!reader.valid()) throw LastError("CreateFileW to read a capture file back");
    return ReadToEnd(reader.get());
  }

 private:
  std::wstring path_;
  OwnedHandle handle_;
};

// Drains a pipe on a thread of its own, so that a child that writes more than the pipe holds
// cannot block on a parent that is waiting for it to end.
class PipeDrain {
 public:
  explicit PipeDrain(HANDLE pipe) : pipe_(pipe) {
    *thread_.receive() = CreateThread(nullptr, 0, &PipeDrain::Drain, this, 0, nullptr);
    if (!thread_.valid()) throw LastError("CreateThread");
  }
  PipeDrain(const PipeDrain&) = delete;
  PipeDrain& operator=(const PipeDrain&) = delete;
  ~PipeDrain() { WaitForSingleObject(thread_.get(), INFINITE); }

  // Valid once every write end of the pipe is closed.
  std::string Finish() {
    WaitForSingleObject(thread_.get(), INFINITE);
    return bytes_;
  }

 private:
  static DWORD WINAPI Drain(void* self) {
    auto* drain = static_cast<PipeDrain*>(self);
    drain->bytes_ = ReadToEnd(drain->pipe_);
    return 0;
  }

  HANDLE pipe_;
  std::string bytes_;
  OwnedHandle thread_;
};

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size,
                      nullptr, nullptr);
  return utf8;
}

// An existing device such as NUL, opened for the child to inherit.
void OpenDevice(OwnedHandle& handle, const std::wstring& path, DWORD access) {
  SECURITY_ATTRIBUTES inheritable = Inheritable();
  *handle.receive() = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, OPEN_EXISTING, 0, nullptr);
  if (!handle.valid()) {
    const DWORD error = GetLastError();
    throw std::runtime_error("CreateFileW for the device " + ToUtf8(path) + " failed with error " +
                             std::to_string(error));
  }
}

}  // namespace

std::wstring FullDevicePath() { return ToWindowsPath(L"/dev/full"); }

HANDLE ClosedHandleValue() {
  // Handle values are multiples of four counted up from the start of a process's handle table;
  // this one lies far beyond the entries that either process ever fills.
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x3FFFFFF0));
}

LaunchResult Launch(const std::wstring& application, const std::wstring& command_line,
                    StdoutTarget stdout_target, const std::wstring& scratch_dir, DWORD timeout_ms,
                    StderrTarget stderr_target) {
  OwnedHandle stdin_handle;
  OpenDevice(stdin_handle, L"NUL", GENERIC_READ);

  std::optional<CaptureFile> stderr_file;
  OwnedHandle stderr_device;
  HANDLE child_stderr = nullptr;
  switch (stderr_target) {
    case StderrTarget::kFile:
      stderr_file.emplace(scratch_dir, GENERIC_WRITE);
      child_stderr = stderr_file->handle();
      break;
    case StderrTarget::kFullDevice:
      OpenDevice(stderr_device, FullDevicePath(), GENERIC_WRITE);
      child_stderr = stderr_device.get();
      break;
    case StderrTarget::kNullHandle:
      child_stderr = nullptr;
      break;
  }

  SECURITY_ATTRIBUTES inheritable = Inheritable();
  std::optional<CaptureFile> stdout_file;
  OwnedHandle stdout_device;
  OwnedHandle pipe_read;
  OwnedHandle pipe_write;
  HANDLE child_stdout = nullptr;
  switch (stdout_target) {
    case StdoutTarget::kFile:
      stdout_file.emplace(scratch_dir, GENERIC_WRITE);
      child_stdout = stdout_file->handle();
      break;
    case StdoutTarget::kReadOnlyFile:
      stdout_file.emplace(scratch_dir, GENERIC_READ);
      child_stdout = stdout_file->handle();
      break;
    case StdoutTarget::kPipe:
    case StdoutTarget::kPipeWithoutReader:
      if (!CreatePipe(pipe_read.receive(), pipe_write.receive(), &inheritable, 0)) {
        throw LastError("CreatePipe");
      }
      // Only the write end belongs to the child; an inherited read end would keep the pipe
      // readable after our own copy is closed.
      SetHandleInformation(pipe_read.get(), HANDLE_FLAG_INHERIT, 0);
      if (stdout_target == StdoutTarget::kPipeWithoutReader) pipe_read.Close();
      child_stdout = pipe_write.get();
      break;
    case StdoutTarget::kNullHandle:
      child_stdout = nullptr;
      break;
    case StdoutTarget::kInvalidHandle:
      child_stdout = INVALID_HANDLE_VALUE;
      break;
    case StdoutTarget::kFullDevice:
      OpenDevice(stdout_device, FullDevicePath(), GENERIC_WRITE);
      child_stdout = stdout_device.get();
      break;
    case StdoutTarget::kNulDevice:
      OpenDevice(stdout_device, L"NUL", GENERIC_WRITE);
      child_stdout = stdout_device.get();
      break;
    case StdoutTarget::kClosedHandle:
      child_stdout = ClosedHandleValue();
      break;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = stdin_handle.get();
  startup.hStdOutput = child_stdout;
  startup.hStdError = child_stderr;

  // CreateProcessW may write into the command line buffer, so it gets a copy of its own.
  std::vector<wchar_t> writable_line(command_line.begin(), command_line.end());
  writable_line.push_back(L'\0');

  LaunchResult result;
  PROCESS_INFORMATION process{};
  // DETACHED_PROCESS: the child gets no console, so the handles above are all it has.
  if (!CreateProcessW(application.c_str(), writable_line.data(), nullptr, nullptr, TRUE,
                      DETACHED_PROCESS, nullptr, nullptr, &startup, &process)) {
    result.start_error = GetLastError();
    return result;
  }
  result.started = true;
  OwnedHandle process_handle(process.hProcess);
  OwnedHandle thread_handle(process.hThread);

  // The reader sees the end of the pipe only once our copy of the write end is gone too.
  pipe_write.Close();
  std::optional<PipeDrain> drain;
  if (pipe_read.valid()) drain.emplace(pipe_read.get());

  if (WaitForSingleObject(process_handle.get(), timeout_ms) != WAIT_OBJECT_0) {
    result.timed_out = true;
    TerminateProcess(process_handle.get(), 1);
    WaitForSingleObject(process_handle.get(), INFINITE);
  }
  GetExitCodeProcess(process_handle.get(), &result.exit_code);

  if (drain) result.stdout_bytes = drain->Finish();
  if (stdout_file) result.stdout_bytes = stdout_file->Content();
  if (stderr_file) result.stderr_bytes = stderr_file->Content();
  return result;
}

std::wstring ToWindowsPath(const std::wstring& path) {
  if (!path.empty() && path[0] == L'/') {
    // Wine's own export; absent on Windows, where no path begins with a slash anyway.
    using UnixToDos = WCHAR*(CDECL*)(const char*);
    const FARPROC entry =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (entry != nullptr) {
      const auto unix_to_dos = reinterpret_cast<UnixToDos>(reinterpret_cast<void (*)()>(entry));
      WCHAR* dos_path = unix_to_dos(ToUtf8(path).c_str());
      if (dos_path != nullptr) {
        std::wstring converted(dos_path);
        HeapFree(GetProcessHeap(), 0, dos_path);
        return converted;
      }
    }
  }
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4) return path;
  return full;
}
