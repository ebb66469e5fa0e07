#include "win/win_device_platform.h"

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "win/win_text.h"

namespace kelto::win {
namespace {

static_assert(sizeof(TSpDevInfoData) == sizeof(SP_DEVINFO_DATA));
static_assert(offsetof(TSpDevInfoData, DevInst) == offsetof(SP_DEVINFO_DATA, DevInst));
static_assert(sizeof(TGuid) == sizeof(GUID));
static_assert(sizeof(TDeviceInfoSet) == sizeof(HDEVINFO));

template <typename TFunction>
TFunction EntryPointAs(FARPROC AEntryPoint) noexcept {
  // The detour through a plain function pointer type keeps the cast well-defined and quiet.
  return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(AEntryPoint));
}

// Loads a library from the system directory only, never from the program's folder or the
// current one, so a file planted there cannot run inside the process.
HMODULE LoadSystemLibrary(const wchar_t* AFileName) noexcept {
  // LOAD_LIBRARY_SEARCH_SYSTEM32 is understood wherever AddDllDirectory exists.
  const HMODULE LKernel = GetModuleHandleW(L"kernel32.dll");
  if (LKernel != nullptr && GetProcAddress(LKernel, "AddDllDirectory") != nullptr) {
    return LoadLibraryExW(AFileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  wchar_t LPath[MAX_PATH];
  const UINT LLength = GetSystemDirectoryW(LPath, MAX_PATH);
  const std::size_t LNameLength = std::wcslen(AFileName);
  if (LLength == 0 || LLength + 1 + LNameLength >= MAX_PATH) return nullptr;
  LPath[LLength] = L'\\';
  std::memcpy(LPath + LLength + 1, AFileName, (LNameLength + 1) * sizeof(wchar_t));
  return LoadLibraryW(LPath);
}

using TGetClassDevsW = decltype(&::SetupDiGetClassDevsW);
using TEnumDeviceInfo = decltype(&::SetupDiEnumDeviceInfo);
using TGetDeviceRegistryPropertyW = decltype(&::SetupDiGetDeviceRegistryPropertyW);
using TDestroyDeviceInfoList = decltype(&::SetupDiDestroyDeviceInfoList);
using TGetDevNodeStatusFunction = CONFIGRET(WINAPI*)(PULONG, PULONG, DEVINST, ULONG);

// The setup library and its entry points, shared by every refresh of the process.
struct TSetupLibrary {
  HMODULE Module = nullptr;
  unsigned References = 0;
  TGetClassDevsW GetClassDevs = nullptr;
  TEnumDeviceInfo EnumDeviceInfo = nullptr;
  TGetDeviceRegistryPropertyW GetDeviceRegistryProperty = nullptr;
  TDestroyDeviceInfoList DestroyDeviceInfoList = nullptr;
};

TSetupLibrary GSetupLibrary;

// Owns a library handle until it is handed over.
class TUniqueModule {
 public:
  explicit TUniqueModule(HMODULE AModule) noexcept : FModule(AModule) {}
  TUniqueModule(const TUniqueModule&) = delete;
  TUniqueModule& operator=(const TUniqueModule&) = delete;
  ~TUniqueModule() {
    if (FModule != nullptr) FreeLibrary(FModule);
  }
  HMODULE Get() const noexcept { return FModule; }
  HMODULE Release() noexcept { return std::exchange(FModule, nullptr); }

 private:
  HMODULE FModule;
};

bool LoadSetupLibrary() noexcept {
  TUniqueModule LModule(LoadSystemLibrary(L"SetupApi.dll"));
  if (LModule.Get() == nullptr) return false;
  TSetupLibrary LLoaded;
  LLoaded.GetClassDevs =
      EntryPointAs<TGetClassDevsW>(GetProcAddress(LModule.Get(), "SetupDiGetClassDevsW"));
  LLoaded.EnumDeviceInfo =
      EntryPointAs<TEnumDeviceInfo>(GetProcAddress(LModule.Get(), "SetupDiEnumDeviceInfo"));
  LLoaded.GetDeviceRegistryProperty = EntryPointAs<TGetDeviceRegistryPropertyW>(
      GetProcAddress(LModule.Get(), "SetupDiGetDeviceRegistryPropertyW"));
  LLoaded.DestroyDeviceInfoList = EntryPointAs<TDestroyDeviceInfoList>(
      GetProcAddress(LModule.Get(), "SetupDiDestroyDeviceInfoList"));
  if (LLoaded.GetClassDevs == nullptr || LLoaded.EnumDeviceInfo == nullptr ||
      LLoaded.GetDeviceRegistryProperty == nullptr || LLoaded.DestroyDeviceInfoList == nullptr) {
    return false;
  }
  LLoaded.Module = LModule.Release();
  GSetupLibrary = LLoaded;
  return true;
}

HDEVINFO AsDeviceInfoSet(TDeviceInfoSet ASet) noexcept { return reinterpret_cast<HDEVINFO>(ASet); }

}  // namespace

bool TWindowsDevicePlatform::AcquireSetupLibrary() {
  if (GSetupLibrary.References == 0 && !LoadSetupLibrary()) return false;
  ++GSetupLibrary.References;
  return true;
}

void TWindowsDevicePlatform::ReleaseSetupLibrary() noexcept {
  if (GSetupLibrary.References == 0) return;
  if (--GSetupLibrary.References == 0) {
    FreeLibrary(GSetupLibrary.Module);
    GSetupLibrary = TSetupLibrary{};
  }
}

TModuleHandle TWindowsDevicePlatform::OpenModule(const char16_t* AFileName) {
  const std::wstring LFileName = ToWide(AFileName);
  return reinterpret_cast<TModuleHandle>(LoadSystemLibrary(LFileName.c_str()));
}

TEntryPoint TWindowsDevicePlatform::ResolveEntryPoint(TModuleHandle AModule,
                                                      const char* AProcName) {
  return reinterpret_cast<TEntryPoint>(
      GetProcAddress(reinterpret_cast<HMODULE>(AModule), AProcName));
}

void TWindowsDevicePlatform::ReleaseModule(TModuleHandle AModule) noexcept {
  FreeLibrary(reinterpret_cast<HMODULE>(AModule));
}

std::uint32_t TWindowsDevicePlatform::GetDevNodeStatus(TEntryPoint AEntryPoint,
                                                       std::uint32_t* AStatus,
                                                       std::uint32_t* AProblemNumber,
                                                       std::uint32_t ADevInst,
                                                       std::uint32_t AFlags) {
  const auto LFunction =
      EntryPointAs<TGetDevNodeStatusFunction>(reinterpret_cast<FARPROC>(AEntryPoint));
  // The entry point writes only what it knows; what it leaves alone keeps the caller's value.
  ULONG LStatus = *AStatus;
  ULONG LProblemNumber = *AProblemNumber;
  const CONFIGRET LResult = LFunction(&LStatus, &LProblemNumber, ADevInst, AFlags);
  *AStatus = LStatus;
  *AProblemNumber = LProblemNumber;
  return LResult;
}

TDeviceInfoSet TWindowsDevicePlatform::GetClassDevs(const TGuid* AClassGuid,
                                                    const char16_t* AEnumerator,
                                                    TWindowHandle AParent, std::uint32_t AFlags) {
  GUID LClassGuid{};
  if (AClassGuid != nullptr) std::memcpy(&LClassGuid, AClassGuid, sizeof LClassGuid);
  std::wstring LEnumerator;
  if (AEnumerator != nullptr) LEnumerator = ToWide(AEnumerator);
  const HDEVINFO LSet =
      GSetupLibrary.GetClassDevs(AClassGuid != nullptr ? &LClassGuid : nullptr,
                                 AEnumerator != nullptr ? LEnumerator.c_str() : nullptr,
                                 reinterpret_cast<HWND>(AParent), AFlags);
  return reinterpret_cast<TDeviceInfoSet>(LSet);
}

bool TWindowsDevicePlatform::EnumDeviceInfo(TDeviceInfoSet ASet, std::uint32_t AMemberIndex,
                                            TSpDevInfoData& ADeviceInfoData) {
  SP_DEVINFO_DATA LData;
  std::memcpy(&LData, &ADeviceInfoData, sizeof LData);
  const BOOL LResult = GSetupLibrary.EnumDeviceInfo(AsDeviceInfoSet(ASet), AMemberIndex, &LData);
  std::memcpy(&ADeviceInfoData, &LData, sizeof LData);
  return LResult != FALSE;
}

bool TWindowsDevicePlatform::GetDeviceRegistryProperty(
    TDeviceInfoSet ASet, TSpDevInfoData& ADeviceInfoData, TDeviceProperty AProperty,
    std::uint32_t* ADataType, std::uint8_t* ABuffer, std::uint32_t ABufferSize,
    std::uint32_t* ARequiredSize) {
  SP_DEVINFO_DATA LData;
  std::memcpy(&LData, &ADeviceInfoData, sizeof LData);
  DWORD LDataType = 0;
  DWORD LRequiredSize = 0;
  const BOOL LResult = GSetupLibrary.GetDeviceRegistryProperty(
      AsDeviceInfoSet(ASet), &LData, static_cast<DWORD>(AProperty), &LDataType, ABuffer,
      ABufferSize, &LRequiredSize);
  if (ADataType != nullptr) *ADataType = LDataType;
  if (ARequiredSize != nullptr) *ARequiredSize = LRequiredSize;
  return LResult != FALSE;
}

void TWindowsDevicePlatform::DestroyDeviceInfoList(TDeviceInfoSet ASet) noexcept {
  GSetupLibrary.DestroyDeviceInfoList(AsDeviceInfoSet(ASet));
}

unsigned SetupLibraryReferenceCount() noexcept { return GSetupLibrary.References; }

}  // namespace kelto::win
