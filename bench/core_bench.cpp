// The program's own cost per device: a refresh and the queries over a platform whose calls cost
// next to nothing, beside a bare loop that makes the same platform calls and keeps nothing. The
// gap between the two is what kelto adds to the platform's work.
//
//   kelto_core_bench [--smoke] [--keep-memory] [benchmark flags]
//
// --smoke runs every benchmark once on ten devices, so that a test run keeps them building and
// working without timing anything. Each benchmark checks its answer and the process exits
// non-zero when one was wrong.
//
// --keep-memory makes the C heap keep what is freed instead of giving it back to the system,
// so that a walk reuses the pages of the one before. Without it every large walk pays the
// system for fresh pages (reported as faults/dev), which on some machines costs more than
// everything else a walk does.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "device_info_list.h"
#include "device_platform.h"

// Heap statistics of the process, kept by the replaced allocator below. The benchmarks run on
// one thread, so plain counters suffice.
namespace {

struct THeapStatistics {
  std::uint64_t Allocations = 0;
  std::uint64_t AllocatedBytes = 0;
  std::uint64_t LiveBytes = 0;
  std::uint64_t PeakLiveBytes = 0;
};

THeapStatistics GHeap;

void* CountedAllocate(std::size_t ASize) {
  void* LMemory = std::malloc(ASize != 0 ? ASize : 1);
  if (LMemory == nullptr) throw std::bad_alloc();
  // The usable size is what the heap really hands out; it is also what the release gives back,
  // so live bytes stay balanced whichever form of delete is used.
  const std::size_t LUsable = malloc_usable_size(LMemory);
  ++GHeap.Allocations;
  GHeap.AllocatedBytes += LUsable;
  GHeap.LiveBytes += LUsable;
  if (GHeap.LiveBytes > GHeap.PeakLiveBytes) GHeap.PeakLiveBytes = GHeap.LiveBytes;
  return LMemory;
}

void CountedRelease(void* AMemory) noexcept {
  if (AMemory == nullptr) return;
  GHeap.LiveBytes -= malloc_usable_size(AMemory);
  std::free(AMemory);
}

}  // namespace

void* operator new(std::size_t ASize) { return CountedAllocate(ASize); }
void* operator new[](std::size_t ASize) { return CountedAllocate(ASize); }
void* operator new(std::size_t ASize, const std::nothrow_t&) noexcept {
  try {
    return CountedAllocate(ASize);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t ASize, const std::nothrow_t& ANoThrow) noexcept {
  return ::operator new(ASize, ANoThrow);
}
void operator delete(void* AMemory) noexcept { CountedRelease(AMemory); }
void operator delete[](void* AMemory) noexcept { CountedRelease(AMemory); }
void operator delete(void* AMemory, std::size_t) noexcept { CountedRelease(AMemory); }
void operator delete[](void* AMemory, std::size_t) noexcept { CountedRelease(AMemory); }

namespace kelto::bench {
namespace {

// A property value as the platform delivers it: the units and the NUL that ends them.
template <std::size_t ASize>
struct TPropertyImage {
  std::array<std::uint8_t, ASize * sizeof(char16_t)> Bytes{};
  explicit constexpr TPropertyImage(const char16_t (&AText)[ASize]) {
    for (std::size_t LIndex = 0; LIndex < ASize; ++LIndex) {
      Bytes[2 * LIndex] = static_cast<std::uint8_t>(AText[LIndex] & 0xFF);
      Bytes[2 * LIndex + 1] = static_cast<std::uint8_t>(AText[LIndex] >> 8);
    }
  }
};

// Values of the lengths that real devices have, so that each field costs what it costs there:
// all but the class name are too long to be kept inside the string object itself.
constexpr TPropertyImage kFriendlyName(u"Intel(R) 82574L Gigabit Network Connection");
constexpr TPropertyImage kDescription(u"Intel(R) 82574L Gigabit Network Connection");
constexpr TPropertyImage kMatchingDescription(u"Intel(R) 82574L Gigabit Network Connection #7");
constexpr TPropertyImage kDriver(u"{4d36e972-e325-11ce-bfc1-08002be10318}\\0001");
constexpr TPropertyImage kClass(u"Net");
// Two entries and the final NUL, as the platform delivers the hardware-ID list.
constexpr TPropertyImage kHardwareIds(
    u"PCI\\VEN_8086&DEV_10D3&SUBSYS_07D01028&REV_00\0PCI\\VEN_8086&DEV_10D3\0");
constexpr TPropertyImage kLocation(u"PCI bus 2, device 0, function 0");

// Driver loaded, started, disableable and two flags beyond the named ones: the status word of
// an ordinary running device.
constexpr std::uint32_t kRunningStatus = 0x0180200A;

constexpr std::u16string_view kMatchText = u"#7";
constexpr std::u16string_view kAbsentText = u"No such device anywhere";

// A device set of ACount devices whose calls do no more than copy a prepared value. At most one
// device, at MatchIndex, has a description that contains kMatchText.
class TFreeDevicePlatform final : public TDevicePlatform {
 public:
  explicit TFreeDevicePlatform(std::uint32_t ACount, std::int64_t AMatchIndex = -1) noexcept
      : FCount(ACount), FMatchDevInst(static_cast<std::uint32_t>(AMatchIndex + 1)) {}

  // How many devices the last walks fetched, added up; a query must stop at its match.
  std::uint64_t DevicesFetched() const noexcept { return FDevicesFetched; }

  bool AcquireSetupLibrary() override { return true; }
  void ReleaseSetupLibrary() noexcept override {}
  TModuleHandle OpenModule(const char16_t*) override { return kModule; }
  TEntryPoint ResolveEntryPoint(TModuleHandle, const char*) override { return kEntryPoint; }
  void ReleaseModule(TModuleHandle) noexcept override {}
  std::uint32_t GetDevNodeStatus(TEntryPoint, std::uint32_t* AStatus,
                                 std::uint32_t* AProblemNumber, std::uint32_t,
                                 std::uint32_t) override {
    *AStatus = kRunningStatus;
    *AProblemNumber = 0;
    return 0;
  }
  TDeviceInfoSet GetClassDevs(const TGuid*, const char16_t*, TWindowHandle,
                              std::uint32_t) override {
    return kSet;
  }
  bool EnumDeviceInfo(TDeviceInfoSet, std::uint32_t AMemberIndex,
                      TSpDevInfoData& ADeviceInfoData) override {
    if (AMemberIndex >= FCount) return false;
    ++FDevicesFetched;
    ADeviceInfoData.DevInst = AMemberIndex + 1;
    return true;
  }
  bool GetDeviceRegistryProperty(TDeviceInfoSet, TSpDevInfoData& ADeviceInfoData,
                                 TDeviceProperty AProperty, std::uint32_t* ADataType,
                                 std::uint8_t* ABuffer, std::uint32_t ABufferSize,
                                 std::uint32_t* ARequiredSize) override {
    switch (AProperty) {
      case TDeviceProperty::FriendlyName:
        return Deliver(kFriendlyName.Bytes, 1, ADataType, ABuffer, ABufferSize, ARequiredSize);
      case TDeviceProperty::DeviceDesc:
        if (ADeviceInfoData.DevInst == FMatchDevInst) {
          return Deliver(kMatchingDescription.Bytes, 1, ADataType, ABuffer, ABufferSize,
                         ARequiredSize);
        }
        return Deliver(kDescription.Bytes, 1, ADataType, ABuffer, ABufferSize, ARequiredSize);
      case TDeviceProperty::Driver:
        return Deliver(kDriver.Bytes, 1, ADataType, ABuffer, ABufferSize, ARequiredSize);
      case TDeviceProperty::Class:
        return Deliver(kClass.Bytes, 1, ADataType, ABuffer, ABufferSize, ARequiredSize);
      case TDeviceProperty::HardwareId:
        return Deliver(kHardwareIds.Bytes, 7, ADataType, ABuffer, ABufferSize, ARequiredSize);
      case TDeviceProperty::LocationInformation:
        return Deliver(kLocation.Bytes, 1, ADataType, ABuffer, ABufferSize, ARequiredSize);
    }
    return false;
  }
  void DestroyDeviceInfoList(TDeviceInfoSet) noexcept override {}

 private:
  template <std::size_t ASize>
  static bool Deliver(const std::array<std::uint8_t, ASize>& AValue, std::uint32_t AType,
                      std::uint32_t* ADataType, std::uint8_t* ABuffer, std::uint32_t ABufferSize,
                      std::uint32_t* ARequiredSize) noexcept {
    *ADataType = AType;
    *ARequiredSize = static_cast<std::uint32_t>(ASize);
    if (ASize > ABufferSize) return false;
    std::memcpy(ABuffer, AValue.data(), ASize);
    return true;
  }

  static constexpr TModuleHandle kModule = 0x10000;
  static constexpr TEntryPoint kEntryPoint = 0xC0FFEE;
  static constexpr TDeviceInfoSet kSet = 0x5E7;

  std::uint32_t FCount;
  std::uint32_t FMatchDevInst;
  std::uint64_t FDevicesFetched = 0;
};

bool GAnswerWrong = false;

std::uint64_t IterationsOf(const benchmark::State& AState) {
  return static_cast<std::uint64_t>(AState.iterations());
}

void Fail(benchmark::State& AState, const char* AMessage) {
  GAnswerWrong = true;
  AState.SkipWithError(AMessage);
}

std::uint64_t PageFaults() noexcept {
  rusage LUsage{};
  getrusage(RUSAGE_SELF, &LUsage);
  return static_cast<std::uint64_t>(LUsage.ru_minflt) + static_cast<std::uint64_t>(LUsage.ru_majflt);
}

// Heap use of one iteration and the page faults it caused, reported per device and averaged
// over the iterations.
class THeapCounters {
 public:
  THeapCounters() noexcept : FStart(GHeap), FStartFaults(PageFaults()) {}
  void BeginIteration() noexcept {
    FIterationStartLive = GHeap.LiveBytes;
    GHeap.PeakLiveBytes = GHeap.LiveBytes;
  }
  void EndIteration() noexcept {
    const std::uint64_t LPeak = GHeap.PeakLiveBytes - FIterationStartLive;
    if (LPeak > FPeakBytes) FPeakBytes = LPeak;
  }
  void Report(benchmark::State& AState, double ADevicesPerIteration) const {
    const double LDevices = ADevicesPerIteration;
    AState.counters["allocs/dev"] = benchmark::Counter(
        static_cast<double>(GHeap.Allocations - FStart.Allocations) / LDevices,
        benchmark::Counter::kAvgIterations);
    AState.counters["bytes/dev"] = benchmark::Counter(
        static_cast<double>(GHeap.AllocatedBytes - FStart.AllocatedBytes) / LDevices,
        benchmark::Counter::kAvgIterations);
    AState.counters["peak_bytes/dev"] =
        benchmark::Counter(static_cast<double>(FPeakBytes) / LDevices);
    AState.counters["faults/dev"] = benchmark::Counter(
        static_cast<double>(PageFaults() - FStartFaults) / LDevices,
        benchmark::Counter::kAvgIterations);
  }

 private:
  THeapStatistics FStart;
  std::uint64_t FStartFaults;
  std::uint64_t FIterationStartLive = 0;
  std::uint64_t FPeakBytes = 0;
};

void ReportTimePerDevice(benchmark::State& AState, double ADevicesPerIteration) {
  // Seconds per device; the console shows it with an SI prefix (n for nanoseconds).
  AState.counters["time/dev"] = benchmark::Counter(
      ADevicesPerIteration, benchmark::Counter::kIsIterationInvariantRate |
                                benchmark::Counter::kInvert);
}

// The least that any walk must do: the same platform calls as a refresh, in the same order,
// into the same kind of buffer, keeping nothing.
std::uint64_t BareWalk(TDevicePlatform& APlatform) {
  std::uint64_t LUnitsSeen = 0;
  if (!APlatform.AcquireSetupLibrary()) return 0;
  const TModuleHandle LModule = APlatform.OpenModule(u"cfgmgr32.dll");
  const TEntryPoint LEntryPoint = APlatform.ResolveEntryPoint(LModule, "CM_Get_DevNode_Status");
  const TDeviceInfoSet LSet = APlatform.GetClassDevs(nullptr, nullptr, 0, kDigcfAllClasses);
  std::array<char16_t, 261> LBuffer{};
  TSpDevInfoData LData{};
  std::uint32_t LStatus = 0;
  std::uint32_t LProblem = 0;
  std::uint32_t LType = 0;
  std::uint32_t LSize = 0;
  constexpr TDeviceProperty kOrder[] = {
      TDeviceProperty::FriendlyName, TDeviceProperty::DeviceDesc,
      TDeviceProperty::Driver,       TDeviceProperty::Class,
      TDeviceProperty::HardwareId,   TDeviceProperty::LocationInformation};
  for (std::uint32_t LIndex = 0;; ++LIndex) {
    LData.cbSize = sizeof LData;
    if (!APlatform.EnumDeviceInfo(LSet, LIndex, LData)) break;
    APlatform.GetDevNodeStatus(LEntryPoint, &LStatus, &LProblem, LData.DevInst, 0);
    for (const TDeviceProperty LProperty : kOrder) {
      if (APlatform.GetDeviceRegistryProperty(LSet, LData, LProperty, &LType,
                                              reinterpret_cast<std::uint8_t*>(LBuffer.data()),
                                              522, &LSize)) {
        LUnitsSeen += LBuffer[0];
      }
    }
  }
  APlatform.DestroyDeviceInfoList(LSet);
  APlatform.ReleaseModule(LModule);
  APlatform.ReleaseSetupLibrary();
  return LUnitsSeen;
}

void BM_BareWalk(benchmark::State& AState) {
  const auto LCount = static_cast<std::uint32_t>(AState.range(0));
  TFreeDevicePlatform LPlatform(LCount);
  // Reached through an opaque pointer so that the calls stay virtual, as they are for a refresh.
  TDevicePlatform* LOpaque = &LPlatform;
  benchmark::DoNotOptimize(LOpaque);
  for (auto _ : AState) benchmark::DoNotOptimize(BareWalk(*LOpaque));
  if (LPlatform.DevicesFetched() != std::uint64_t{LCount} * IterationsOf(AState)) {
    Fail(AState, "the bare walk did not fetch every device");
  }
  ReportTimePerDevice(AState, LCount);
}

// Refresh(empty find function, LoadAllDevice true) into a list that lives across iterations,
// as an inventory caller would use it: each refresh discards the records of the one before.
void BM_Refresh(benchmark::State& AState) {
  const auto LCount = static_cast<std::uint32_t>(AState.range(0));
  TFreeDevicePlatform LPlatform(LCount);
  TDeviceInfoList LList(LPlatform);
  THeapCounters LHeap;
  for (auto _ : AState) {
    LHeap.BeginIteration();
    LList.Refresh(nullptr, true);
    LHeap.EndIteration();
  }
  if (LList.Count() != static_cast<std::int32_t>(LCount) ||
      LList.Items(LList.Count() - 1).DevDesc != u"Intel(R) 82574L Gigabit Network Connection") {
    Fail(AState, "the refresh did not record every device");
  }
  ReportTimePerDevice(AState, LCount);
  LHeap.Report(AState, LCount);
}

// ExistsByDevDesc for a text that no device has: the walk visits every device.
void BM_QueryAbsent(benchmark::State& AState) {
  const auto LCount = static_cast<std::uint32_t>(AState.range(0));
  TFreeDevicePlatform LPlatform(LCount);
  const TScopedDevicePlatform LUsePlatform(LPlatform);
  THeapCounters LHeap;
  bool LAnyFound = false;
  for (auto _ : AState) {
    LHeap.BeginIteration();
    LAnyFound |= TDeviceInfoList::ExistsByDevDesc(kAbsentText);
    LHeap.EndIteration();
  }
  if (LAnyFound || LPlatform.DevicesFetched() != std::uint64_t{LCount} * IterationsOf(AState)) {
    Fail(AState, "the query for an absent text did not walk every device");
  }
  ReportTimePerDevice(AState, LCount);
  LHeap.Report(AState, LCount);
}

// ExistsByDevDesc whose only match is device range(1) of range(0): the walk must stop there.
void BM_QueryMatch(benchmark::State& AState) {
  const auto LCount = static_cast<std::uint32_t>(AState.range(0));
  const std::int64_t LMatchIndex = AState.range(1);
  TFreeDevicePlatform LPlatform(LCount, LMatchIndex);
  const TScopedDevicePlatform LUsePlatform(LPlatform);
  THeapCounters LHeap;
  bool LAllFound = true;
  for (auto _ : AState) {
    LHeap.BeginIteration();
    LAllFound &= TDeviceInfoList::ExistsByDevDesc(kMatchText);
    LHeap.EndIteration();
  }
  const auto LVisited = static_cast<std::uint64_t>(LMatchIndex + 1);
  if (!LAllFound || LPlatform.DevicesFetched() != LVisited * IterationsOf(AState)) {
    Fail(AState, "the query did not stop at its match");
  }
  AState.counters["visited"] = static_cast<double>(LVisited);
  ReportTimePerDevice(AState, static_cast<double>(LVisited));
  LHeap.Report(AState, static_cast<double>(LVisited));
}

void RegisterAll(bool ASmoke) {
  const std::vector<std::int64_t> LSizes =
      ASmoke ? std::vector<std::int64_t>{10} : std::vector<std::int64_t>{1000, 10000, 100000,
                                                                         1000000};
  const std::int64_t LMatchCount = ASmoke ? 10 : 100000;
  auto LConfigure = [ASmoke](benchmark::internal::Benchmark* ABenchmark) {
    ABenchmark->Unit(benchmark::kMicrosecond);
    if (ASmoke) ABenchmark->Iterations(1);
  };
  for (const std::int64_t LSize : LSizes) {
    LConfigure(benchmark::RegisterBenchmark("BareWalk", BM_BareWalk)->Arg(LSize));
  }
  for (const std::int64_t LSize : LSizes) {
    LConfigure(benchmark::RegisterBenchmark("Refresh", BM_Refresh)->Arg(LSize));
  }
  for (const std::int64_t LSize : LSizes) {
    LConfigure(benchmark::RegisterBenchmark("QueryAbsent", BM_QueryAbsent)->Arg(LSize));
  }
  const std::pair<const char*, std::int64_t> kPositions[] = {
      {"QueryMatch/first", 0}, {"QueryMatch/middle", LMatchCount / 2},
      {"QueryMatch/last", LMatchCount - 1}};
  for (const auto& [LName, LIndex] : kPositions) {
    LConfigure(benchmark::RegisterBenchmark(LName, BM_QueryMatch)->Args({LMatchCount, LIndex}));
  }
}

}  // namespace
}  // namespace kelto::bench

int main(int argc, char** argv) {
  bool LSmoke = false;
  std::vector<char*> LArguments;
  for (int LIndex = 0; LIndex < argc; ++LIndex) {
    if (std::string_view(argv[LIndex]) == "--smoke") {
      LSmoke = true;
    } else if (std::string_view(argv[LIndex]) == "--keep-memory") {
      // Everything from the heap proper, which is never trimmed.
      mallopt(M_MMAP_MAX, 0);
      mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    } else {
      LArguments.push_back(argv[LIndex]);
    }
  }
  int LCount = static_cast<int>(LArguments.size());
  benchmark::Initialize(&LCount, LArguments.data());
  if (benchmark::ReportUnrecognizedArguments(LCount, LArguments.data())) return 2;
  kelto::bench::RegisterAll(LSmoke);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (kelto::bench::GAnswerWrong) {
    std::fputs("kelto_core_bench: a benchmark gave a wrong answer\n", stderr);
    return 1;
  }
  return 0;
}
