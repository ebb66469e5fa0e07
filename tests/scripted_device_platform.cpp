#include "scripted_device_platform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kelto::testing {

TBytes UnterminatedValue(std::u16string_view AText) {
  TBytes LBytes(AText.size() * sizeof(char16_t));
  std::memcpy(LBytes.data(), AText.data(), LBytes.size());
  return LBytes;
}

TBytes StringValue(std::u16string_view AText) {
  return UnterminatedValue(std::u16string(AText) + u'\0');
}

TBytes MultiStringValue(const std::vector<std::u16string>& AEntries) {
  std::u16string LUnits;
  for (const auto& LEntry : AEntries) {
    LUnits += LEntry;
    LUnits += u'\0';
  }
  LUnits += u'\0';
  return UnterminatedValue(LUnits);
}

TScriptedDevice& TScriptedDevice::With(TDeviceProperty AProperty, TBytes AValue) {
  Properties[AProperty] = std::move(AValue);
  return *this;
}

TScriptedDevice Device(std::u16string_view ADescription, std::u16string_view AHardwareId) {
  TScriptedDevice LDevice;
  LDevice.With(TDeviceProperty::DeviceDesc, StringValue(ADescription));
  if (!AHardwareId.empty()) {
    LDevice.With(TDeviceProperty::HardwareId, MultiStringValue({std::u16string(AHardwareId)}));
  }
  return LDevice;
}

TScriptedDevice FullDevice(std::u16string_view AName) {
  const std::u16string LName(AName);
  TScriptedDevice LDevice;
  LDevice.With(TDeviceProperty::FriendlyName, StringValue(LName + u" friendly"))
      .With(TDeviceProperty::DeviceDesc, StringValue(LName + u" description"))
      .With(TDeviceProperty::Driver, StringValue(LName + u" driver"))
      .With(TDeviceProperty::Class, StringValue(LName + u" class"))
      .With(TDeviceProperty::HardwareId, MultiStringValue({LName + u"\\HW", LName + u"\\COMPAT"}))
      .With(TDeviceProperty::LocationInformation, StringValue(LName + u" location"));
  return LDevice;
}

std::string Narrow(std::u16string_view AText) {
  std::string LResult;
  for (char16_t LUnit : AText) LResult.push_back(LUnit < 0x80 ? static_cast<char>(LUnit) : '?');
  return LResult;
}

int TScriptedDevicePlatform::CallCount(const std::string& APrefix) const {
  return static_cast<int>(std::count_if(Calls.begin(), Calls.end(), [&](const std::string& C) {
    return C == APrefix || C.rfind(APrefix + " ", 0) == 0;
  }));
}

void TScriptedDevicePlatform::Record(std::string ACall) {
  if (BeforeCall) BeforeCall(ACall);
  Calls.push_back(std::move(ACall));
}

void TScriptedDevicePlatform::RecordNoThrow(std::string ACall) noexcept {
  Calls.push_back(std::move(ACall));
}

const TScriptedDevice* TScriptedDevicePlatform::DeviceByInst(std::uint32_t ADevInst) const {
  if (ADevInst == 0 || ADevInst > Devices.size()) return nullptr;
  return &Devices[ADevInst - 1];
}

bool TScriptedDevicePlatform::AcquireSetupLibrary() {
  Record("AcquireSetupLibrary");
  if (!SetupLibraryLoads) return false;
  ++SetupLibraryReferences;
  return true;
}

void TScriptedDevicePlatform::ReleaseSetupLibrary() noexcept {
  RecordNoThrow("ReleaseSetupLibrary");
  --SetupLibraryReferences;
}

TModuleHandle TScriptedDevicePlatform::OpenModule(const char16_t* AFileName) {
  Record("OpenModule " + Narrow(AFileName));
  if (ConfigManagerHandle > 32) ++ModulesHeld;
  return ConfigManagerHandle;
}

TEntryPoint TScriptedDevicePlatform::ResolveEntryPoint(TModuleHandle AModule,
                                                       const char* AProcName) {
  Record(std::string("ResolveEntryPoint ") + AProcName);
  if (AModule != ConfigManagerHandle) throw std::logic_error("entry point of an unknown module");
  return ConfigManagerHasDevNodeStatus && std::string(AProcName) == "CM_Get_DevNode_Status"
             ? kDevNodeStatusEntry
             : 0;
}

void TScriptedDevicePlatform::ReleaseModule(TModuleHandle AModule) noexcept {
  RecordNoThrow("ReleaseModule " + std::to_string(AModule));
  ++ModulesFreed;
  if (AModule != ConfigManagerHandle || AModule <= 32) {
    ++ReleasesOfUnloadedModules;
  } else {
    --ModulesHeld;
  }
}

std::uint32_t TScriptedDevicePlatform::GetDevNodeStatus(TEntryPoint AEntryPoint,
                                                        std::uint32_t* AStatus,
                                                        std::uint32_t* AProblemNumber,
                                                        std::uint32_t ADevInst,
                                                        std::uint32_t AFlags) {
  Record("GetDevNodeStatus " + std::to_string(ADevInst));
  if (AEntryPoint != kDevNodeStatusEntry || AFlags != 0) throw std::logic_error("bad status call");
  const TScriptedDevice* LDevice = DeviceByInst(ADevInst);
  if (LDevice == nullptr) return 0x0D;  // no such devnode
  if (LDevice->StatusWritten) {
    *AStatus = LDevice->Status;
    *AProblemNumber = LDevice->ProblemNumber;
  }
  return 0;
}

TDeviceInfoSet TScriptedDevicePlatform::GetClassDevs(const TGuid* AClassGuid,
                                                     const char16_t* AEnumerator,
                                                     TWindowHandle AParent, std::uint32_t AFlags) {
  Record("GetClassDevs " + std::to_string(AFlags));
  if (AClassGuid != nullptr || AEnumerator != nullptr || AParent != 0) {
    throw std::logic_error("the set is opened for all classes without a filter");
  }
  if (!SetOpens) return kUnopenedSet;
  ++SetsOpened;
  return SetHandle;
}

bool TScriptedDevicePlatform::EnumDeviceInfo(TDeviceInfoSet ASet, std::uint32_t AMemberIndex,
                                             TSpDevInfoData& ADeviceInfoData) {
  Record("EnumDeviceInfo " + std::to_string(AMemberIndex));
  CbSizesSeen.push_back(ADeviceInfoData.cbSize);
  if (ASet != SetHandle || ADeviceInfoData.cbSize != sizeof(TSpDevInfoData)) return false;
  if (EnumerationFailsAt && AMemberIndex >= *EnumerationFailsAt) return false;
  if (AMemberIndex >= Devices.size()) return false;
  ADeviceInfoData.DevInst = AMemberIndex + 1;
  return true;
}

bool TScriptedDevicePlatform::GetDeviceRegistryProperty(
    TDeviceInfoSet ASet, TSpDevInfoData& ADeviceInfoData, TDeviceProperty AProperty,
    std::uint32_t* ADataType, std::uint8_t* ABuffer, std::uint32_t ABufferSize,
    std::uint32_t* ARequiredSize) {
  Record("Property " + std::to_string(static_cast<std::uint32_t>(AProperty)));
  PropertyBufferSizesSeen.push_back(ABufferSize);
  const TScriptedDevice* LDevice = DeviceByInst(ADeviceInfoData.DevInst);
  if (ASet != SetHandle || LDevice == nullptr) return false;
  const auto LFound = LDevice->Properties.find(AProperty);
  if (LFound == LDevice->Properties.end()) return false;
  const TBytes& LValue = LFound->second;
  *ADataType = AProperty == TDeviceProperty::HardwareId ? 7u : 1u;
  *ARequiredSize = static_cast<std::uint32_t>(LValue.size());
  if (LValue.size() > ABufferSize) return false;
  std::memcpy(ABuffer, LValue.data(), LValue.size());
  return true;
}

void TScriptedDevicePlatform::DestroyDeviceInfoList(TDeviceInfoSet ASet) noexcept {
  RecordNoThrow("DestroyDeviceInfoList");
  DestroyedSets.push_back(ASet);
  if (ASet == SetHandle) ++SetsDestroyed;
}

}  // namespace kelto::testing
