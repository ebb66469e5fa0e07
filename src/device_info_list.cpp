#include "device_info_list.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "errors.h"

namespace kelto {
namespace {

constexpr std::array<std::u16string_view, 19> kStatusFlagLines = {
    u"DN_ROOT_ENUMERATED: Was enumerated by ROOT",
    u"DN_DRIVER_LOADED: Has Register_Device_Driver",
    u"DN_ENUM_LOADED: Has Register_Enumerator",
    u"DN_STARTED: Is currently configured",
    u"DN_MANUAL: Manually installed",
    u"DN_NEED_TO_ENUM: May need reenumeration",
    u"DN_NOT_FIRST_TIME: Has received a config",
    u"DN_HARDWARE_ENUM:  Enum generates hardware ID",
    u"DN_LIAR: Lied about can reconfig once",
    u"DN_HAS_MARK: Not CM_Create_DevInst lately",
    u"DN_HAS_PROBLEM: Need device installer",
    u"DN_FILTERED: Is filtered",
    u"DN_MOVED: Has been moved",
    u"DN_DISABLEABLE: Can be rebalanced",
    u"DN_REMOVABLE: Can be removed",
    u"DN_PRIVATE_PROBLEM: Has a private problem",
    u"DN_MF_PARENT: Multi function parent",
    u"DN_MF_CHILD: Multi function child",
    u"DN_WILL_BE_REMOVED: DevInst is being removed",
};

constexpr std::array<std::u16string_view, 31> kProblemNames = {
    u"No Problems",
    u"CM_PROB_NOT_CONFIGURED",
    u"CM_PROB_DEVLOADER_FAILED",
    u"CM_PROB_OUT_OF_MEMORY",
    u"CM_PROB_ENTRY_IS_WRONG_TYPE",
    u"CM_PROB_LACKED_ARBITRATOR",
    u"CM_PROB_BOOT_CONFIG_CONFLICT",
    u"CM_PROB_FAILED_FILTER",
    u"CM_PROB_DEVLOADER_NOT_FOUND",
    u"CM_PROB_INVALID_DATA",
    u"CM_PROB_FAILED_START",
    u"CM_PROB_LIAR",
    u"CM_PROB_NORMAL_CONFLICT",
    u"CM_PROB_NOT_VERIFIED",
    u"CM_PROB_NEED_RESTART",
    u"CM_PROB_REENUMERATION",
    u"CM_PROB_PARTIAL_LOG_CONF",
    u"CM_PROB_UNKNOWN_RESOURCE",
    u"CM_PROB_REINSTALL",
    u"CM_PROB_REGISTRY",
    u"CM_PROB_VXDLDR",
    u"CM_PROB_WILL_BE_REMOVED",
    u"CM_PROB_DISABLED",
    u"CM_PROB_DEVLOADER_NOT_READY",
    u"CM_PROB_DEVICE_NOT_THERE",
    u"CM_PROB_MOVED",
    u"CM_PROB_TOO_EARLY",
    u"CM_PROB_NO_VALID_LOG_CONF",
    u"CM_PROB_FAILED_INSTALL",
    u"CM_PROB_HARDWARE_DISABLED",
    u"CM_PROB_CANT_SHARE_IRQ",
};

constexpr std::u16string_view kLineBreak = u"\r\n";

// 260 characters and a terminating NUL: values that need more are not read.
constexpr std::size_t kPropertyBufferUnits = 261;
constexpr std::uint32_t kPropertyBufferBytes = kPropertyBufferUnits * sizeof(char16_t);
static_assert(kPropertyBufferBytes == 522);

constexpr std::array<std::pair<TDeviceProperty, std::u16string TDeviceInfo::*>, 6> kPropertyFields =
    {{
        {TDeviceProperty::FriendlyName, &TDeviceInfo::FriendlyName},
        {TDeviceProperty::DeviceDesc, &TDeviceInfo::DevDesc},
        {TDeviceProperty::Driver, &TDeviceInfo::Driver},
        {TDeviceProperty::Class, &TDeviceInfo::ClassStr},
        {TDeviceProperty::HardwareId, &TDeviceInfo::HardwareID},
        {TDeviceProperty::LocationInformation, &TDeviceInfo::Location},
    }};

bool Contains(std::u16string_view AField, std::u16string_view AValue) noexcept {
  return !AValue.empty() && AField.find(AValue) != std::u16string_view::npos;
}

}  // namespace

std::u16string GetDeviceStatusText(std::uint32_t AStatus) {
  if (AStatus == 0) return u"The Device is not installed";
  // Measured first so that the text is allocated once, at its final size.
  std::size_t LLength = 0;
  for (std::size_t LBit = 0; LBit < kStatusFlagLines.size(); ++LBit) {
    if ((AStatus >> LBit) & 1u) LLength += kStatusFlagLines[LBit].size() + kLineBreak.size();
  }
  std::u16string LText;
  LText.reserve(LLength);
  for (std::size_t LBit = 0; LBit < kStatusFlagLines.size(); ++LBit) {
    if ((AStatus >> LBit) & 1u) {
      LText.append(kStatusFlagLines[LBit]);
      LText.append(kLineBreak);
    }
  }
  return LText;
}

std::u16string GetDeviceProblemText(std::uint32_t AProblemNumber) {
  if (AProblemNumber < kProblemNames.size()) {
    return std::u16string(kProblemNames[AProblemNumber]);
  }
  return u"Undefined Problem";
}

TDeviceInfoList::TDeviceInfoList() : TDeviceInfoList(CurrentDevicePlatform()) {}

TDeviceInfoList::TDeviceInfoList(TDevicePlatform& APlatform) : FPlatform(APlatform) {}

TDeviceInfoList::~TDeviceInfoList() = default;

void TDeviceInfoList::Refresh(TDeviceFindFunc AFindFunc, bool LoadAllDevice) {
  // Declared first so that it is let go of last, after the set and both libraries.
  const TDeviceFindFunc LFindFunc = std::move(AFindFunc);
  TDeviceInfo LInfo;
  std::vector<TDeviceInfo>().swap(FList);

  const TSetupLibraryReference LSetupLibrary(FPlatform);
  if (!LSetupLibrary) return;
  const TLoadedModule LConfigManager(FPlatform, u"cfgmgr32.dll");
  if (!LConfigManager.IsLoaded()) return;
  const TEntryPoint LGetDevNodeStatus =
      FPlatform.ResolveEntryPoint(LConfigManager.Handle(), "CM_Get_DevNode_Status");
  if (LGetDevNodeStatus == 0) return;

  const TDeviceInfoSetOwner LDeviceSet(
      FPlatform, FPlatform.GetClassDevs(nullptr, nullptr, 0, kDigcfAllClasses));

  std::array<char16_t, kPropertyBufferUnits> LBuffer{};
  TSpDevInfoData LDeviceInfoData{};
  // Set once: a status call that fails without writing leaves the previous device's values.
  std::uint32_t LStatus = 0;
  std::uint32_t LProblemNumber = 0;
  std::uint32_t LDataType = 0;
  std::uint32_t LRequiredSize = 0;
  bool LTextsMade = false;
  std::uint32_t LTextStatus = 0;
  std::uint32_t LTextProblemNumber = 0;

  for (std::uint32_t LIndex = 0;; ++LIndex) {
    LDeviceInfoData.cbSize = sizeof(TSpDevInfoData);
    if (!FPlatform.EnumDeviceInfo(LDeviceSet.Get(), LIndex, LDeviceInfoData)) break;
    FPlatform.GetDevNodeStatus(LGetDevNodeStatus, &LStatus, &LProblemNumber,
                               LDeviceInfoData.DevInst, 0);
    if (LStatus == 0 && !LoadAllDevice) continue;

    for (const auto& [LProperty, LField] : kPropertyFields) {
      // Cleared before every read: a value stored without its NUL must not pick up the tail of
      // an earlier, longer value.
      LBuffer.fill(u'\0');
      auto* LBytes = reinterpret_cast<std::uint8_t*>(LBuffer.data());
      if (FPlatform.GetDeviceRegistryProperty(LDeviceSet.Get(), LDeviceInfoData, LProperty,
                                              &LDataType, LBytes, kPropertyBufferBytes,
                                              &LRequiredSize)) {
        const auto LEnd = std::find(LBuffer.begin(), LBuffer.end(), u'\0');
        (LInfo.*LField).assign(LBuffer.begin(), LEnd);
      } else {
        // A device without the property gets an empty field, not a text of the device before.
        (LInfo.*LField).clear();
      }
    }
    // The two texts follow from the two numbers alone, which most devices share with the
    // device before them: they are made again only when a number differs.
    if (!LTextsMade || LStatus != LTextStatus) LInfo.DeviceStatus = GetDeviceStatusText(LStatus);
    if (!LTextsMade || LProblemNumber != LTextProblemNumber) {
      LInfo.DeviceProblem = GetDeviceProblemText(LProblemNumber);
    }
    LTextsMade = true;
    LTextStatus = LStatus;
    LTextProblemNumber = LProblemNumber;

    FList.push_back(LInfo);
    if (LFindFunc && LFindFunc(LInfo)) break;
  }
}

TDeviceInfo TDeviceInfoList::GetItems(std::int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) RaiseArgumentOutOfRange();
  return FList[static_cast<std::size_t>(AIndex)];
}

std::int32_t TDeviceInfoList::GetCount() const noexcept {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(FList.size(), std::numeric_limits<std::int32_t>::max()));
}

bool TDeviceInfoList::ExistsByDevDesc(std::u16string_view AValue) {
  return ExistsByField(&TDeviceInfo::DevDesc, AValue);
}

bool TDeviceInfoList::ExistsByHardwareID(std::u16string_view AValue) {
  return ExistsByField(&TDeviceInfo::HardwareID, AValue);
}

bool TDeviceInfoList::ExistsByField(std::u16string TDeviceInfo::*AField,
                                    std::u16string_view AValue) {
  bool LFind = false;
  const std::u16string LValue(AValue);
  TDeviceInfoList LList;
  LList.Refresh(
      [&LFind, LValue, AField](const TDeviceInfo& ADevice) {
        LFind = Contains(ADevice.*AField, LValue);
        return LFind;
      },
      true);
  return LFind;
}

}  // namespace kelto
