// The device platform of a real Windows process: the Setup API and the Configuration Manager,
// both loaded at run time from the system directory.
#pragma once

#include "device_platform.h"

namespace kelto::win {

class TWindowsDevicePlatform final : public TDevicePlatform {
 public:
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
};

// Number of references that the process holds on the setup library right now.
unsigned SetupLibraryReferenceCount() noexcept;

}  // namespace kelto::win
