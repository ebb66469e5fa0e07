// The device inventory: one record of texts per device node that the setup service knows,
// and the two existence queries that the command line asks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "device_platform.h"

namespace kelto {

struct TDeviceInfo {
  std::u16string FriendlyName;
  std::u16string DevDesc;
  std::u16string Driver;
  std::u16string ClassStr;
  std::u16string HardwareID;
  std::u16string Location;
  std::u16string DeviceStatus;
  std::u16string DeviceProblem;

  friend bool operator==(const TDeviceInfo&, const TDeviceInfo&) = default;
};

// Offered each recorded device, on its own copy; true stops the walk at that device.
using TDeviceFindFunc = std::function<bool(TDeviceInfo)>;

// One line per recognised status flag (bits 0 to 18), each ended by CR LF; a zero word reads
// "The Device is not installed".
std::u16string GetDeviceStatusText(std::uint32_t AStatus);
// The name of a problem number from 0 to 30, or "Undefined Problem".
std::u16string GetDeviceProblemText(std::uint32_t AProblemNumber);

class TDeviceInfoList {
 public:
  // Walks through the process's current device platform.
  TDeviceInfoList();
  explicit TDeviceInfoList(TDevicePlatform& APlatform);
  TDeviceInfoList(const TDeviceInfoList&) = delete;
  TDeviceInfoList& operator=(const TDeviceInfoList&) = delete;
  virtual ~TDeviceInfoList();

  // Replaces the records by those of one walk over every device of every setup class.
  // LoadAllDevice false leaves out devices whose status word is 0. A platform failure ends
  // the walk quietly and leaves what was recorded so far.
  void Refresh(TDeviceFindFunc AFindFunc, bool LoadAllDevice);

  // A copy of the record at AIndex; raises EArgumentOutOfRangeException outside 0..Count-1.
  TDeviceInfo Items(std::int32_t AIndex) const { return GetItems(AIndex); }
  std::int32_t Count() const noexcept { return GetCount(); }

  // Whether some device's description, or first hardware ID, contains AValue as an exact,
  // case-sensitive run of UTF-16 units. An empty AValue is contained nowhere.
  static bool ExistsByDevDesc(std::u16string_view AValue);
  static bool ExistsByHardwareID(std::u16string_view AValue);

 private:
  TDeviceInfo GetItems(std::int32_t AIndex) const;
  std::int32_t GetCount() const noexcept;
  static bool ExistsByField(std::u16string TDeviceInfo::*AField, std::u16string_view AValue);

  TDevicePlatform& FPlatform;
  std::vector<TDeviceInfo> FList;
};

}  // namespace kelto
