#include "device_platform.h"

namespace kelto {
namespace {

class TUnavailablePlatform final : public TDevicePlatform {
 public:
  bool AcquireSetupLibrary() override { return false; }
  void ReleaseSetupLibrary() noexcept override {}
  TModuleHandle OpenModule(const char16_t*) override { return 0; }
  TEntryPoint ResolveEntryPoint(TModuleHandle, const char*) override { return 0; }
  void ReleaseModule(TModuleHandle) noexcept override {}
  std::uint32_t GetDevNodeStatus(TEntryPoint, std::uint32_t*, std::uint32_t*, std::uint32_t,
                                 std::uint32_t) override {
    return 1;
  }
  TDeviceInfoSet GetClassDevs(const TGuid*, const char16_t*, TWindowHandle,
                              std::uint32_t) override {
    return 0;
  }
  bool EnumDeviceInfo(TDeviceInfoSet, std::uint32_t, TSpDevInfoData&) override { return false; }
  bool GetDeviceRegistryProperty(TDeviceInfoSet, TSpDevInfoData&, TDeviceProperty, std::uint32_t*,
                                 std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return false;
  }
  void DestroyDeviceInfoList(TDeviceInfoSet) noexcept override {}
};

TUnavailablePlatform GUnavailablePlatform;
TDevicePlatform* GCurrentPlatform = &GUnavailablePlatform;

}  // namespace

TDevicePlatform& CurrentDevicePlatform() noexcept { return *GCurrentPlatform; }

TScopedDevicePlatform::TScopedDevicePlatform(TDevicePlatform& APlatform) noexcept
    : FPrevious(GCurrentPlatform) {
  GCurrentPlatform = &APlatform;
}

TScopedDevicePlatform::~TScopedDevicePlatform() { GCurrentPlatform = FPrevious; }

TSetupLibraryReference::TSetupLibraryReference(TDevicePlatform& APlatform)
    : FPlatform(APlatform), FHeld(APlatform.AcquireSetupLibrary()) {}

TSetupLibraryReference::~TSetupLibraryReference() {
  if (FHeld) FPlatform.ReleaseSetupLibrary();
}

TLoadedModule::TLoadedModule(TDevicePlatform& APlatform, const char16_t* AFileName)
    : FPlatform(APlatform), FHandle(APlatform.OpenModule(AFileName)), FLoaded(FHandle > 32) {}

TLoadedModule::~TLoadedModule() {
  if (FLoaded) FPlatform.ReleaseModule(FHandle);
}

TDeviceInfoSetOwner::TDeviceInfoSetOwner(TDevicePlatform& APlatform, TDeviceInfoSet ASet) noexcept
    : FPlatform(APlatform), FSet(ASet) {}

TDeviceInfoSetOwner::~TDeviceInfoSetOwner() { FPlatform.DestroyDeviceInfoList(FSet); }

}  // namespace kelto
