// A device platform for the host tests: a scripted device set, failures on request, and a log
// of every call with the counts that the device list must keep balanced.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device_info_list.h"
#include "device_platform.h"

namespace kelto::testing {

using TBytes = std::vector<std::uint8_t>;

// A property value as the registry holds it: the units, then the NUL that ends a string.
TBytes StringValue(std::u16string_view AText);
// A list of strings, each ended by NUL, and one more NUL at the end.
TBytes MultiStringValue(const std::vector<std::u16string>& AEntries);
// The units alone, without any NUL.
TBytes UnterminatedValue(std::u16string_view AText);

struct TScriptedDevice {
  std::uint32_t DevInst = 0;
  std::uint32_t Status = 0x0000180A;  // driver loaded, started, has mark
  std::uint32_t ProblemNumber = 0;
  // False models a status call that answers without writing, as Wine's does.
  bool StatusWritten = true;
  std::map<TDeviceProperty, TBytes> Properties;

  TScriptedDevice& With(TDeviceProperty AProperty, TBytes AValue);
};

// A device with a description and a single hardware ID, the two fields that the queries read.
TScriptedDevice Device(std::u16string_view ADescription, std::u16string_view AHardwareId = u"");
// A device with all six properties, each text beginning with AName so that a field carried
// over from another device shows; its hardware IDs are AName\HW and AName\COMPAT.
TScriptedDevice FullDevice(std::u16string_view AName);

class TScriptedDevicePlatform final : public TDevicePlatform {
 public:
  std::vector<TScriptedDevice> Devices;

  bool SetupLibraryLoads = true;
  TModuleHandle ConfigManagerHandle = 0x10000;
  bool ConfigManagerHasDevNodeStatus = true;
  TDeviceInfoSet SetHandle = 0x5E7;
  // False: the set cannot be opened, and GetClassDevs hands out kUnopenedSet instead.
  bool SetOpens = true;
  static constexpr TDeviceInfoSet kUnopenedSet = ~TDeviceInfoSet{0};
  // The enumeration step at this index, and every later one, answers false.
  std::optional<std::uint32_t> EnumerationFailsAt;
  // Runs before every call, named as in the log; a test may throw from it.
  std::function<void(const std::string& ACall)> BeforeCall;

  // Every call in order, e.g. "AcquireSetupLibrary", "EnumDeviceInfo 3", "Property 12".
  std::vector<std::string> Calls;
  int SetupLibraryReferences = 0;
  // A handle of 32 or below is an error code: no module was loaded for it.
  int ModulesHeld = 0;
  int ModulesFreed = 0;
  int ReleasesOfUnloadedModules = 0;
  int SetsOpened = 0;
  int SetsDestroyed = 0;
  // Every handle given to DestroyDeviceInfoList, a valid one or not.
  std::vector<TDeviceInfoSet> DestroyedSets;
  std::vector<std::uint32_t> CbSizesSeen;
  std::vector<std::uint32_t> PropertyBufferSizesSeen;

  // How many calls of a name the log holds.
  int CallCount(const std::string& APrefix) const;

  bool AcquireSetupLibrary() override;
  void ReleaseSetupLibrary() noexcept override;
  TModuleHandle OpenModule(const char16_t* AFileName) override;
  TEntryPoint ResolveEntryPoint(TModuleHandle AModule, const char* AProcName) override;
  void ReleaseModule(TModuleHandle AModule) noexcept override;
  std::uint32_t GetDevNodeStatus(TEntryPoint AEntryPoint, std::uint32_t* AStatus,
                                 std::uint32_t* AProblemNumber, std::uint32_t ADevInst,
                                 std::uint32_t AFlags) override;
  TDeviceInfoSet GetClassDevs(const TGuid* AClassGuid, const char16_t* AEnumerator,
                              TWindowHandle AParent, std::uint32_t AFlags) override;
  bool EnumDeviceInfo(TDeviceInfoSet ASet, std::uint32_t AMemberIndex,
                      TSpDevInfoData& ADeviceInfoData) override;
  bool GetDeviceRegistryProperty(TDeviceInfoSet ASet, TSpDevInfoData& ADeviceInfoData,
                                 TDeviceProperty AProperty, std::uint32_t* ADataType,
                                 std::uint8_t* ABuffer, std::uint32_t ABufferSize,
                                 std::uint32_t* ARequiredSize) override;
  void DestroyDeviceInfoList(TDeviceInfoSet ASet) noexcept override;

 private:
  void Record(std::string ACall);
  void RecordNoThrow(std::string ACall) noexcept;
  const TScriptedDevice* DeviceByInst(std::uint32_t ADevInst) const;

  static constexpr TEntryPoint kDevNodeStatusEntry = 0xC0FFEE;
};

// Installs the scripted platform as the process's platform for one test.
class TScriptedPlatformScope {
 public:
  TScriptedDevicePlatform Platform;
  TScriptedPlatformScope() : FScope(Platform) {}

 private:
  TScopedDevicePlatform FScope;
};

std::string Narrow(std::u16string_view AText);

}  // namespace kelto::testing
