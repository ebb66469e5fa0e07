// Registers the bench devices of a Wine prefix: root-enumerated devices ROOT\KELTOBENCH\NNNN of
// the system class, each with a description, a friendly name, a two-entry hardware-ID list and
// a location of the lengths that real devices have.
//
//   kelto_bench_devices COUNT   makes exactly COUNT bench devices exist, adding or removing only
//                               what differs, so that running it again changes nothing
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <set>
#include <string>

namespace {

constexpr wchar_t kBenchEnumerator[] = L"ROOT\\KELTOBENCH\\";
// The system device class: always installed, so Wine lists its devices with every other.
constexpr GUID kSystemClass = {
    0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

[[noreturn]] void Die(const char* AWhat) {
  std::fprintf(stderr, "kelto_bench_devices: %s failed (error %lu)\n", AWhat, GetLastError());
  std::exit(2);
}

class TDeviceSet {
 public:
  explicit TDeviceSet(HDEVINFO ASet) : FSet(ASet) {
    if (FSet == INVALID_HANDLE_VALUE) Die("opening a device-information set");
  }
  TDeviceSet(const TDeviceSet&) = delete;
  TDeviceSet& operator=(const TDeviceSet&) = delete;
  ~TDeviceSet() { SetupDiDestroyDeviceInfoList(FSet); }
  HDEVINFO Get() const noexcept { return FSet; }

 private:
  HDEVINFO FSet;
};

std::wstring BenchInstanceId(unsigned ANumber) {
  wchar_t LText[64];
  std::swprintf(LText, 64, L"%ls%04u", kBenchEnumerator, ANumber);
  return LText;
}

// Instance IDs of the bench devices registered now, in upper case as the platform keeps them.
std::set<std::wstring> RegisteredBenchDevices() {
  const TDeviceSet LSet(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
  std::set<std::wstring> LIds;
  SP_DEVINFO_DATA LData{};
  LData.cbSize = sizeof LData;
  for (DWORD LIndex = 0; SetupDiEnumDeviceInfo(LSet.Get(), LIndex, &LData); ++LIndex) {
    wchar_t LId[MAX_DEVICE_ID_LEN + 1] = {};
    if (!SetupDiGetDeviceInstanceIdW(LSet.Get(), &LData, LId, MAX_DEVICE_ID_LEN + 1, nullptr)) {
      continue;
    }
    if (_wcsnicmp(LId, kBenchEnumerator, std::wcslen(kBenchEnumerator)) == 0) {
      LIds.insert(_wcsupr(LId));
    }
  }
  return LIds;
}

void SetTextProperty(HDEVINFO ASet, SP_DEVINFO_DATA& AData, DWORD AProperty,
                     const std::wstring& AUnitsWithNuls) {
  if (!SetupDiSetDeviceRegistryPropertyW(
          ASet, &AData, AProperty, reinterpret_cast<const BYTE*>(AUnitsWithNuls.data()),
          static_cast<DWORD>(AUnitsWithNuls.size() * sizeof(wchar_t)))) {
    Die("SetupDiSetDeviceRegistryPropertyW");
  }
}

void RegisterBenchDevice(unsigned ANumber) {
  const TDeviceSet LSet(SetupDiCreateDeviceInfoList(&kSystemClass, nullptr));
  SP_DEVINFO_DATA LData{};
  LData.cbSize = sizeof LData;
  const std::wstring LId = BenchInstanceId(ANumber);
  if (!SetupDiCreateDeviceInfoW(LSet.Get(), LId.c_str(), &kSystemClass, nullptr, nullptr, 0,
                                &LData)) {
    Die("SetupDiCreateDeviceInfoW");
  }
  const std::wstring LNumber = LId.substr(LId.size() - 4);
  SetTextProperty(LSet.Get(), LData, SPDRP_DEVICEDESC,
                  L"Kelto Bench Controller " + LNumber + L'\0');
  SetTextProperty(LSet.Get(), LData, SPDRP_FRIENDLYNAME,
                  L"Kelto Bench Controller " + LNumber + L" (bench)" + L'\0');
  SetTextProperty(LSet.Get(), LData, SPDRP_HARDWAREID,
                  L"ROOT\\KELTOBENCH_" + LNumber + L'\0' + L"ROOT\\KELTOBENCH" + L'\0' + L'\0');
  SetTextProperty(LSet.Get(), LData, SPDRP_LOCATION_INFORMATION,
                  L"Bench bus 0, slot " + LNumber + L'\0');
  if (!SetupDiRegisterDeviceInfo(LSet.Get(), &LData, 0, nullptr, nullptr, nullptr)) {
    Die("SetupDiRegisterDeviceInfo");
  }
}

void RemoveBenchDevice(const std::wstring& AId) {
  const TDeviceSet LSet(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  SP_DEVINFO_DATA LData{};
  LData.cbSize = sizeof LData;
  if (!SetupDiOpenDeviceInfoW(LSet.Get(), AId.c_str(), nullptr, 0, &LData)) {
    Die("SetupDiOpenDeviceInfoW");
  }
  if (!SetupDiRemoveDevice(LSet.Get(), &LData)) Die("SetupDiRemoveDevice");
}

}  // namespace

int main(int argc, char** argv) {
  const long LCount = argc == 2 ? std::strtol(argv[1], nullptr, 10) : -1;
  if (LCount < 0 || LCount > 9999) {
    std::fputs("usage: kelto_bench_devices COUNT\n", stderr);
    return 2;
  }
  std::set<std::wstring> LWanted;
  for (unsigned LNumber = 0; LNumber < static_cast<unsigned>(LCount); ++LNumber) {
    LWanted.insert(BenchInstanceId(LNumber));
  }
  const std::set<std::wstring> LPresent = RegisteredBenchDevices();
  unsigned LAdded = 0;
  unsigned LRemoved = 0;
  for (unsigned LNumber = 0; LNumber < static_cast<unsigned>(LCount); ++LNumber) {
    if (LPresent.count(BenchInstanceId(LNumber)) == 0) {
      RegisterBenchDevice(LNumber);
      ++LAdded;
    }
  }
  for (const std::wstring& LId : LPresent) {
    if (LWanted.count(LId) == 0) {
      RemoveBenchDevice(LId);
      ++LRemoved;
    }
  }
  const std::size_t LNow = RegisteredBenchDevices().size();
  std::printf("bench devices: %zu (added %u, removed %u)\n", LNow, LAdded, LRemoved);
  return LNow == static_cast<std::size_t>(LCount) ? 0 : 1;
}
