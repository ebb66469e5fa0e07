// The Windows layer against the platform's real Setup API and Configuration Manager: the
// setup library's process-wide reference count, the system-directory loading, standard output
// and the process-level error report.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device_info_list.h"
#include "errors.h"
#include "win/win_device_platform.h"
#include "win/win_error_report.h"
#include "win/win_text.h"
#include "win/win_text_output.h"

namespace {

using namespace kelto;

int GPassed = 0;
int GFailed = 0;

void Check(bool ACondition, const char* AWhat, const std::string& ADetail = {}) {
  if (ACondition) {
    ++GPassed;
  } else {
    ++GFailed;
    std::printf("FAILED: %s %s\n", AWhat, ADetail.c_str());
  }
}

bool SetupLibraryIsLoaded() { return GetModuleHandleW(L"setupapi.dll") != nullptr; }

std::wstring SystemDirectory() {
  wchar_t LPath[MAX_PATH];
  const UINT LLength = GetSystemDirectoryW(LPath, MAX_PATH);
  return std::wstring(LPath, LLength);
}

std::wstring ModulePath(HMODULE AModule) {
  wchar_t LPath[MAX_PATH];
  const DWORD LLength = GetModuleFileNameW(AModule, LPath, MAX_PATH);
  return std::wstring(LPath, LLength);
}

std::wstring Lower(std::wstring AText) {
  for (auto& LChar : AText) LChar = static_cast<wchar_t>(towlower(LChar));
  return AText;
}

void RefreshWalksTheRealDevicesAndReleasesTheSetupLibrary() {
  win::TWindowsDevicePlatform LPlatform;
  const bool LLoadedBefore = SetupLibraryIsLoaded();
  Check(!LLoadedBefore, "nothing binds the setup library at start");

  TDeviceInfoList LList(LPlatform);
  unsigned LReferencesInside = 0;
  std::wstring LSetupPath;
  LList.Refresh(
      [&](TDeviceInfo) {
        LReferencesInside = win::SetupLibraryReferenceCount();
        LSetupPath = ModulePath(GetModuleHandleW(L"setupapi.dll"));
        return false;
      },
      true);

  Check(LList.Count() >= 1, "the walk records Wine's devices");
  bool LFoundAdapter = false;
  for (std::int32_t LIndex = 0; LIndex < LList.Count(); ++LIndex) {
    const TDeviceInfo LDevice = LList.Items(LIndex);
    if (LDevice.DevDesc == u"Wine Adapter") {
      LFoundAdapter = true;
      Check(LDevice.HardwareID == u"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00",
            "the first hardware ID is read whole");
      Check(!LDevice.DeviceStatus.empty() && !LDevice.DeviceProblem.empty(),
            "status and problem texts are filled");
    }
  }
  Check(LFoundAdapter, "the Wine Adapter is among the records");
  Check(LReferencesInside == 1, "one reference is held during the walk");
  Check(Lower(LSetupPath).rfind(Lower(SystemDirectory()) + L"\\", 0) == 0,
        "the setup library comes from the system directory");
  Check(win::SetupLibraryReferenceCount() == 0, "the reference is given back");
  Check(!SetupLibraryIsLoaded(), "the last reference unloads the setup library");
  Check(GetModuleHandleW(L"cfgmgr32.dll") == nullptr || LLoadedBefore,
        "cfgmgr32 is freed after the walk");
}

void NestedRefreshesShareOneLibrary() {
  win::TWindowsDevicePlatform LPlatform;
  TDeviceInfoList LOuter(LPlatform);
  unsigned LDuringInner = 0;
  bool LLoadedAfterInner = false;
  std::int32_t LInnerCount = 0;
  LOuter.Refresh(
      [&](TDeviceInfo) {
        TDeviceInfoList LInner(LPlatform);
        LInner.Refresh(
            [&](TDeviceInfo) {
              LDuringInner = win::SetupLibraryReferenceCount();
              return false;
            },
            true);
        LInnerCount = LInner.Count();
        LLoadedAfterInner = SetupLibraryIsLoaded();
        return true;
      },
      true);
  Check(LDuringInner == 2, "a second refresh takes a second reference");
  Check(LInnerCount >= 1, "the inner refresh walks too");
  Check(LLoadedAfterInner, "the library stays while the outer refresh holds it");
  Check(LOuter.Count() == 1, "the outer walk stops at its first device");
  Check(win::SetupLibraryReferenceCount() == 0 && !SetupLibraryIsLoaded(),
        "both references are given back");
}

void QueriesAnswerThroughTheProcessPlatform() {
  win::TWindowsDevicePlatform LPlatform;
  const TScopedDevicePlatform LScope(LPlatform);
  Check(TDeviceInfoList::ExistsByDevDesc(u"Wine Adapter"), "description query finds the adapter");
  Check(!TDeviceInfoList::ExistsByDevDesc(u"wine adapter"), "description query is case-sensitive");
  Check(TDeviceInfoList::ExistsByHardwareID(u"PCI\\VEN_0000"), "hardware-ID query finds it");
  Check(!TDeviceInfoList::ExistsByHardwareID(u""), "the empty text matches nothing");
  Check(win::SetupLibraryReferenceCount() == 0, "queries leave no reference behind");
}

// Points a standard handle elsewhere for its own lifetime.
class TStdHandleOverride {
 public:
  TStdHandleOverride(DWORD AStdHandle, HANDLE AHandle)
      : FStdHandle(AStdHandle), FPrevious(GetStdHandle(AStdHandle)) {
    SetStdHandle(FStdHandle, AHandle);
  }
  TStdHandleOverride(const TStdHandleOverride&) = delete;
  TStdHandleOverride& operator=(const TStdHandleOverride&) = delete;
  ~TStdHandleOverride() { SetStdHandle(FStdHandle, FPrevious); }

 private:
  DWORD FStdHandle;
  HANDLE FPrevious;
};

// A file that is deleted when its owner ends.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const wchar_t* APath)
      : FPath(APath),
        FHandle(CreateFileW(APath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr)) {}
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;
  ~TTemporaryFile() {
    CloseHandle(FHandle);
    DeleteFileW(FPath.c_str());
  }
  HANDLE Handle() const { return FHandle; }

 private:
  std::wstring FPath;
  HANDLE FHandle;
};

// A temporary file that standard output or standard error is pointed at.
class TRedirectedHandle {
 public:
  TRedirectedHandle(DWORD AStdHandle, const wchar_t* APath)
      : FFile(APath), FOverride(AStdHandle, FFile.Handle()) {}

  std::string Contents() const {
    std::string LBytes;
    SetFilePointer(FFile.Handle(), 0, nullptr, FILE_BEGIN);
    char LChunk[4096];
    DWORD LRead = 0;
    while (ReadFile(FFile.Handle(), LChunk, sizeof LChunk, &LRead, nullptr) && LRead > 0) {
      LBytes.append(LChunk, LRead);
    }
    return LBytes;
  }

 private:
  TTemporaryFile FFile;
  // Declared after the file, so the standard handle is restored before the file is closed.
  TStdHandleOverride FOverride;
};

void OutputToAFileIsHeldUntilTheEnd() {
  const TRedirectedHandle LFile(STD_OUTPUT_HANDLE, L"kelto_output_test.txt");
  win::TStandardOutput LOutput;
  LOutput.WriteLine(u"first");
  LOutput.WriteLine(u"second");
  Check(LFile.Contents().empty(), "nothing reaches a file before the end");
  LOutput.WriteHeldOutput();
  Check(LFile.Contents() == "first\r\nsecond\r\n", "the held lines arrive in one piece",
        LFile.Contents());
  LOutput.WriteHeldOutput();
  Check(LFile.Contents() == "first\r\nsecond\r\n", "held output is written once");
}

void UnusableOutputRaisesAtTheFirstLine() {
  for (const HANDLE LHandle : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    const TStdHandleOverride LOverride(STD_OUTPUT_HANDLE, LHandle);
    win::TStandardOutput LOutput;
    bool LRaised = false;
    try {
      LOutput.WriteLine(u"line");
    } catch (const EInOutError&) {
      LRaised = true;
    }
    Check(LRaised, "an unusable standard output raises EInOutError");
  }
}

void AFailedFinalWriteIsSilent() {
  HANDLE LRead = nullptr;
  HANDLE LWrite = nullptr;
  CreatePipe(&LRead, &LWrite, nullptr, 0);
  CloseHandle(LRead);  // the reader is gone
  bool LRaised = false;
  {
    const TStdHandleOverride LOverride(STD_OUTPUT_HANDLE, LWrite);
    win::TStandardOutput LOutput;
    try {
      LOutput.WriteLine(u"held");
      LOutput.WriteHeldOutput();
    } catch (...) {
      LRaised = true;
    }
  }
  CloseHandle(LWrite);
  Check(!LRaised, "a pipe without reader neither raises while holding nor at the end");
}

void TheErrorReportNamesModuleAndOffset() {
  const TRedirectedHandle LFile(STD_ERROR_HANDLE, L"kelto_report_test.txt");
  try {
    RaiseInOutError("Standard output cannot be written");
  } catch (...) {
    win::ReportUnhandledError(DescribeCurrentException());
  }
  const std::string LReport = LFile.Contents();
  const std::string LHead = "Exception EInOutError in module windows_layer_test.exe at ";
  const std::string LTail = ".\r\nStandard output cannot be written.\r\n\r\n";
  const bool LFramed = LReport.size() == LHead.size() + 8 + LTail.size() &&
                       LReport.compare(0, LHead.size(), LHead) == 0 &&
                       LReport.compare(LHead.size() + 8, LTail.size(), LTail) == 0;
  Check(LFramed, "the report has the fixed frame", LReport);
  if (!LFramed) return;
  const std::string LHex = LReport.substr(LHead.size(), 8);
  Check(LHex.find_first_not_of("0123456789ABCDEF") == std::string::npos,
        "the offset is eight upper-case hexadecimal digits", LHex);
  const unsigned long LOffset = std::strtoul(LHex.c_str(), nullptr, 16);
  const auto* LImage = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  const auto* LDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(LImage);
  const auto* LNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(LImage + LDos->e_lfanew);
  Check(LOffset >= LNt->OptionalHeader.BaseOfCode &&
            LOffset < LNt->OptionalHeader.BaseOfCode + LNt->OptionalHeader.SizeOfCode,
        "the offset lies in the module's code", LHex);
}

void TheErrorReportOfExhaustedMemoryNeedsNoMemory() {
  const TRedirectedHandle LFile(STD_ERROR_HANDLE, L"kelto_oom_test.txt");
  try {
    throw std::bad_alloc();
  } catch (...) {
    win::ReportUnhandledError(DescribeCurrentException());
  }
  const std::string LReport = LFile.Contents();
  Check(LReport.rfind("Exception EOutOfMemory in module windows_layer_test.exe at ", 0) == 0 &&
            LReport.size() >= 4 && LReport.compare(LReport.size() - 4, 4, "\r\n\r\n") == 0,
        "exhausted memory is reported as EOutOfMemory", LReport);
}

void TextsConvertToTheCodePage() {
  Check(win::ToCodePage(u"kelto ?: help", CP_ACP) == "kelto ?: help", "ASCII stays ASCII");
  Check(win::ToCodePage(u"Pr\u00fcf", CP_UTF8) ==
            "Pr\xc3\xbc"
            "f",
        "UTF-8 conversion");
  Check(win::ToU16(L"W\u00e4") == u"W\u00e4" && win::ToU16(nullptr).empty(), "wide to UTF-16");
}

}  // namespace

int main() {
  RefreshWalksTheRealDevicesAndReleasesTheSetupLibrary();
  NestedRefreshesShareOneLibrary();
  QueriesAnswerThroughTheProcessPlatform();
  OutputToAFileIsHeldUntilTheEnd();
  UnusableOutputRaisesAtTheFirstLine();
  AFailedFinalWriteIsSilent();
  TheErrorReportNamesModuleAndOffset();
  TheErrorReportOfExhaustedMemoryNeedsNoMemory();
  TextsConvertToTheCodePage();
  std::printf("%d passed, %d failed\n", GPassed, GFailed);
  return GFailed == 0 ? 0 : 1;
}
