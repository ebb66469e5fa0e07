// The platform operations that a device walk needs, behind an interface of the core's own.
// The Windows layer forwards them to the Setup API and the Configuration Manager; the host
// tests script them. Names differ from the Windows functions on purpose: the platform headers
// define macros for several of those names.
#pragma once

#include <cstdint>

namespace kelto {

using TModuleHandle = std::uintptr_t;
using TEntryPoint = std::uintptr_t;
using TDeviceInfoSet = std::uintptr_t;
using TWindowHandle = std::uintptr_t;

struct TGuid {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

// Laid out as the platform's SP_DEVINFO_DATA in the same data model: 28 bytes in a 32-bit
// build, 32 in a 64-bit one. The walk sets cbSize from this size so that the value always
// matches the build.
struct TSpDevInfoData {
  std::uint32_t cbSize;
  TGuid ClassGuid;
  std::uint32_t DevInst;
  std::uintptr_t Reserved;
};

inline constexpr std::uint32_t kDigcfPresent = 0x2;
inline constexpr std::uint32_t kDigcfAllClasses = 0x4;

enum class TDeviceProperty : std::uint32_t {
  DeviceDesc = 0,
  HardwareId = 1,
  Class = 7,
  Driver = 9,
  FriendlyName = 12,
  LocationInformation = 13,
};

class TDevicePlatform {
 public:
  TDevicePlatform() = default;
  TDevicePlatform(const TDevicePlatform&) = delete;
  TDevicePlatform& operator=(const TDevicePlatform&) = delete;
  virtual ~TDevicePlatform() = default;

  // Takes one process-wide reference on the setup library and makes its four entry points
  // callable. False means no reference was taken.
  virtual bool AcquireSetupLibrary() = 0;
  // Gives back one reference; the last one unloads the library.
  virtual void ReleaseSetupLibrary() noexcept = 0;

  virtual TModuleHandle OpenModule(const char16_t* AFileName) = 0;
  virtual TEntryPoint ResolveEntryPoint(TModuleHandle AModule, const char* AProcName) = 0;
  virtual void ReleaseModule(TModuleHandle AModule) noexcept = 0;

  // CM_Get_DevNode_Status through the entry point that ResolveEntryPoint delivered.
  virtual std::uint32_t GetDevNodeStatus(TEntryPoint AEntryPoint, std::uint32_t* AStatus,
                                         std::uint32_t* AProblemNumber, std::uint32_t ADevInst,
                                         std::uint32_t AFlags) = 0;

  virtual TDeviceInfoSet GetClassDevs(const TGuid* AClassGuid, const char16_t* AEnumerator,
                                      TWindowHandle AParent, std::uint32_t AFlags) = 0;
  virtual bool EnumDeviceInfo(TDeviceInfoSet ASet, std::uint32_t AMemberIndex,
                              TSpDevInfoData& ADeviceInfoData) = 0;
  virtual bool GetDeviceRegistryProperty(TDeviceInfoSet ASet, TSpDevInfoData& ADeviceInfoData,
                                         TDeviceProperty AProperty, std::uint32_t* ADataType,
                                         std::uint8_t* ABuffer, std::uint32_t ABufferSize,
                                         std::uint32_t* ARequiredSize) = 0;
  virtual void DestroyDeviceInfoList(TDeviceInfoSet ASet) noexcept = 0;
};

// The platform that the device lists of this process use. Until one is installed it is a
// platform without a setup library, so every refresh ends early with an empty list.
TDevicePlatform& CurrentDevicePlatform() noexcept;

// Installs a platform for its own lifetime and restores the previous one afterwards.
class TScopedDevicePlatform {
 public:
  explicit TScopedDevicePlatform(TDevicePlatform& APlatform) noexcept;
  TScopedDevicePlatform(const TScopedDevicePlatform&) = delete;
  TScopedDevicePlatform& operator=(const TScopedDevicePlatform&) = delete;
  ~TScopedDevicePlatform();

 private:
  TDevicePlatform* FPrevious;
};

// One reference on the setup library, given back when the owner ends.
class TSetupLibraryReference {
 public:
  explicit TSetupLibraryReference(TDevicePlatform& APlatform);
  TSetupLibraryReference(const TSetupLibraryReference&) = delete;
  TSetupLibraryReference& operator=(const TSetupLibraryReference&) = delete;
  ~TSetupLibraryReference();
  explicit operator bool() const noexcept { return FHeld; }

 private:
  TDevicePlatform& FPlatform;
  bool FHeld;
};

// A module loaded through the platform. It counts as loaded only when its handle is above 32,
// the range that older loaders used for error codes.
class TLoadedModule {
 public:
  TLoadedModule(TDevicePlatform& APlatform, const char16_t* AFileName);
  TLoadedModule(const TLoadedModule&) = delete;
  TLoadedModule& operator=(const TLoadedModule&) = delete;
  ~TLoadedModule();
  bool IsLoaded() const noexcept { return FLoaded; }
  TModuleHandle Handle() const noexcept { return FHandle; }

 private:
  TDevicePlatform& FPlatform;
  TModuleHandle FHandle;
  bool FLoaded;
};

// A device-information set, destroyed when the owner ends. The handle is not tested: an
// invalid one makes the first enumeration step fail, which ends the walk.
class TDeviceInfoSetOwner {
 public:
  TDeviceInfoSetOwner(TDevicePlatform& APlatform, TDeviceInfoSet ASet) noexcept;
  TDeviceInfoSetOwner(const TDeviceInfoSetOwner&) = delete;
  TDeviceInfoSetOwner& operator=(const TDeviceInfoSetOwner&) = delete;
  ~TDeviceInfoSetOwner();
  TDeviceInfoSet Get() const noexcept { return FSet; }

 private:
  TDevicePlatform& FPlatform;
  TDeviceInfoSet FSet;
};

}  // namespace kelto
