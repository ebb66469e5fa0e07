// kelto's refresh against the least that any walk over the same devices costs, in one process
// under the real Setup API (Wine's, when run by scripts/bench).
//
//   kelto_wine_bench ROUNDS   times ROUNDS runs of each contender, interleaved
//
// The program imports neither library, so that each walk loads and frees them as kelto does.
// The contenders of one round: a full refresh through kelto's core and Windows layer, the
// description query for a text that no device has, and a bare loop that makes exactly the calls
// that a refresh makes (the same libraries loaded the same way, the same set, the status call
// and six property reads into a 522-byte buffer per device) and keeps nothing.
#include <windows.h>
#include <cfgmgr32.h>
#include <psapi.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "device_info_list.h"
#include "device_platform.h"
#include "win/win_device_platform.h"

// Heap use of the process, so that the peak of one refresh can be reported. One thread only.
namespace {

struct THeapStatistics {
  std::uint64_t LiveBytes = 0;
  std::uint64_t PeakLiveBytes = 0;
  std::uint64_t Allocations = 0;
};

THeapStatistics GHeap;

void* CountedAllocate(std::size_t ASize) {
  void* LMemory = std::malloc(ASize != 0 ? ASize : 1);
  if (LMemory == nullptr) throw std::bad_alloc();
  GHeap.LiveBytes += _msize(LMemory);
  ++GHeap.Allocations;
  if (GHeap.LiveBytes > GHeap.PeakLiveBytes) GHeap.PeakLiveBytes = GHeap.LiveBytes;
  return LMemory;
}

void CountedRelease(void* AMemory) noexcept {
  if (AMemory == nullptr) return;
  GHeap.LiveBytes -= _msize(AMemory);
  std::free(AMemory);
}

}  // namespace

void* operator new(std::size_t ASize) { return CountedAllocate(ASize); }
void* operator new[](std::size_t ASize) { return CountedAllocate(ASize); }
void operator delete(void* AMemory) noexcept { CountedRelease(AMemory); }
void operator delete[](void* AMemory) noexcept { CountedRelease(AMemory); }
void operator delete(void* AMemory, std::size_t) noexcept { CountedRelease(AMemory); }
void operator delete[](void* AMemory, std::size_t) noexcept { CountedRelease(AMemory); }

namespace kelto::bench {
namespace {

constexpr DWORD kPropertyBufferBytes = 522;
constexpr std::u16string_view kAbsentText = u"kelto-bench: no such device";

[[noreturn]] void Die(const char* AWhat) {
  std::fprintf(stderr, "kelto_wine_bench: %s failed (error %lu)\n", AWhat, GetLastError());
  std::exit(2);
}

HMODULE LoadFromSystemDirectory(const wchar_t* AFileName) {
  return LoadLibraryExW(AFileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <typename TFunction>
TFunction EntryPoint(HMODULE AModule, const char* AName) {
  return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(AModule, AName)));
}

// The calls of one refresh and nothing else; returns the number of devices walked.
std::uint32_t BareWalk() {
  const HMODULE LSetupApi = LoadFromSystemDirectory(L"SetupApi.dll");
  const auto LGetClassDevs =
      EntryPoint<decltype(&SetupDiGetClassDevsW)>(LSetupApi, "SetupDiGetClassDevsW");
  const auto LEnum = EntryPoint<decltype(&SetupDiEnumDeviceInfo)>(LSetupApi,
                                                                  "SetupDiEnumDeviceInfo");
  const auto LGetProperty = EntryPoint<decltype(&SetupDiGetDeviceRegistryPropertyW)>(
      LSetupApi, "SetupDiGetDeviceRegistryPropertyW");
  const auto LDestroy = EntryPoint<decltype(&SetupDiDestroyDeviceInfoList)>(
      LSetupApi, "SetupDiDestroyDeviceInfoList");
  const HMODULE LConfigManager = LoadFromSystemDirectory(L"cfgmgr32.dll");
  const auto LGetStatus = EntryPoint<CONFIGRET(WINAPI*)(PULONG, PULONG, DEVINST, ULONG)>(
      LConfigManager, "CM_Get_DevNode_Status");
  if (LGetClassDevs == nullptr || LEnum == nullptr || LGetProperty == nullptr ||
      LDestroy == nullptr || LGetStatus == nullptr) {
    Die("loading the setup and configuration-manager libraries");
  }

  const HDEVINFO LSet = LGetClassDevs(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  BYTE LBuffer[kPropertyBufferBytes];
  SP_DEVINFO_DATA LData;
  ULONG LStatus = 0;
  ULONG LProblem = 0;
  DWORD LType = 0;
  DWORD LSize = 0;
  constexpr DWORD kProperties[] = {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC, SPDRP_DRIVER,
                                   SPDRP_CLASS,        SPDRP_HARDWAREID, SPDRP_LOCATION_INFORMATION};
  std::uint32_t LIndex = 0;
  for (;; ++LIndex) {
    LData.cbSize = sizeof LData;
    if (!LEnum(LSet, LIndex, &LData)) break;
    LGetStatus(&LStatus, &LProblem, LData.DevInst, 0);
    for (const DWORD LProperty : kProperties) {
      LGetProperty(LSet, &LData, LProperty, &LType, LBuffer, kPropertyBufferBytes, &LSize);
    }
  }
  LDestroy(LSet);
  FreeLibrary(LConfigManager);
  FreeLibrary(LSetupApi);
  return LIndex;
}

double Now() {
  static const double LTicksPerSecond = [] {
    LARGE_INTEGER LFrequency;
    QueryPerformanceFrequency(&LFrequency);
    return static_cast<double>(LFrequency.QuadPart);
  }();
  LARGE_INTEGER LCounter;
  QueryPerformanceCounter(&LCounter);
  return static_cast<double>(LCounter.QuadPart) / LTicksPerSecond;
}

struct TSamples {
  const char* Name;
  std::vector<double> Seconds;

  double Median() const {
    std::vector<double> LSorted = Seconds;
    std::sort(LSorted.begin(), LSorted.end());
    const std::size_t LMiddle = LSorted.size() / 2;
    return LSorted.size() % 2 != 0 ? LSorted[LMiddle]
                                   : (LSorted[LMiddle - 1] + LSorted[LMiddle]) / 2;
  }
  double Minimum() const { return *std::min_element(Seconds.begin(), Seconds.end()); }
};

int Refresh(unsigned ARounds) {
  win::TWindowsDevicePlatform LPlatform;
  const TScopedDevicePlatform LUsePlatform(LPlatform);
  TDeviceInfoList LList(LPlatform);

  // The first load of each library in the process costs more than any later one; it is paid
  // here, outside the timings, by each contender alike.
  const std::uint32_t LDevices = BareWalk();
  LList.Refresh(nullptr, true);
  if (static_cast<std::uint32_t>(LList.Count()) != LDevices) {
    std::fprintf(stderr, "kelto_wine_bench: kelto recorded %d devices, the bare walk saw %u\n",
                 LList.Count(), LDevices);
    return 1;
  }
  if (TDeviceInfoList::ExistsByDevDesc(kAbsentText)) {
    std::fputs("kelto_wine_bench: the query found a text that no device has\n", stderr);
    return 1;
  }

  TSamples LBare{"bare Setup API loop", {}};
  TSamples LRefresh{"kelto refresh", {}};
  TSamples LQuery{"kelto query (absent text)", {}};
  std::uint64_t LRefreshPeak = 0;
  std::uint64_t LRefreshAllocations = 0;
  for (unsigned LRound = 0; LRound < ARounds; ++LRound) {
    double LStart = Now();
    BareWalk();
    LBare.Seconds.push_back(Now() - LStart);

    // A list of its own, freed at the end as a query frees its list; the peak above what was
    // live before is then that of one refresh alone.
    const std::uint64_t LLiveBefore = GHeap.LiveBytes;
    const std::uint64_t LAllocationsBefore = GHeap.Allocations;
    GHeap.PeakLiveBytes = LLiveBefore;
    LStart = Now();
    {
      TDeviceInfoList LRefreshed(LPlatform);
      LRefreshed.Refresh(nullptr, true);
    }
    LRefresh.Seconds.push_back(Now() - LStart);
    LRefreshPeak = std::max(LRefreshPeak, GHeap.PeakLiveBytes - LLiveBefore);
    LRefreshAllocations = GHeap.Allocations - LAllocationsBefore;

    LStart = Now();
    TDeviceInfoList::ExistsByDevDesc(kAbsentText);
    LQuery.Seconds.push_back(Now() - LStart);
  }

  std::int32_t LBenchDevices = 0;
  for (std::int32_t LIndex = 0; LIndex < LList.Count(); ++LIndex) {
    if (LList.Items(LIndex).HardwareID.starts_with(u"ROOT\\KELTOBENCH_")) ++LBenchDevices;
  }
  std::printf("devices walked: %u (%d of them bench devices)\n", LDevices, LBenchDevices);
  std::printf("rounds: %u\n", ARounds);
  for (const TSamples* LSamples : {&LBare, &LRefresh, &LQuery}) {
    std::printf("%-28s median %8.2f ms   min %8.2f ms   %6.2f us/device\n", LSamples->Name,
                LSamples->Median() * 1e3, LSamples->Minimum() * 1e3,
                LSamples->Median() * 1e6 / LDevices);
  }
  std::printf("refresh / bare loop (medians): %.3f\n", LRefresh.Median() / LBare.Median());
  std::printf("query / bare loop (medians):   %.3f\n", LQuery.Median() / LBare.Median());
  std::printf("heap of one refresh: peak %llu bytes (%.0f per device), %llu allocations\n",
              static_cast<unsigned long long>(LRefreshPeak),
              static_cast<double>(LRefreshPeak) / LDevices,
              static_cast<unsigned long long>(LRefreshAllocations));
  PROCESS_MEMORY_COUNTERS LMemory{};
  LMemory.cb = sizeof LMemory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &LMemory, sizeof LMemory)) {
    std::printf("process peak working set: %.1f MiB, peak private bytes: %.1f MiB\n",
                static_cast<double>(LMemory.PeakWorkingSetSize) / 1048576.0,
                static_cast<double>(LMemory.PeakPagefileUsage) / 1048576.0);
  }
  return 0;
}

}  // namespace
}  // namespace kelto::bench

int main(int argc, char** argv) {
  const long LRounds = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (LRounds < 1 || LRounds > 100000) {
    std::fputs("usage: kelto_wine_bench ROUNDS\n", stderr);
    return 2;
  }
  return kelto::bench::Refresh(static_cast<unsigned>(LRounds));
}
