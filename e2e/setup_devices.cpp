#include "setup_devices.h"

#include <setupapi.h>

#include <cwchar>
#include <stdexcept>

namespace {

std::runtime_error LastError(const std::string& what) {
  return std::runtime_error(what + " failed with error " + std::to_string(GetLastError()));
}

class DeviceInfoSet {
 public:
  explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  ~DeviceInfoSet() {
    if (valid()) SetupDiDestroyDeviceInfoList(set_);
  }
  HDEVINFO get() const { return set_; }
  bool valid() const { return set_ != INVALID_HANDLE_VALUE; }

 private:
  HDEVINFO set_;
};

DeviceInfoSet OpenAllDevices() {
  return DeviceInfoSet(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
}

SP_DEVINFO_DATA EmptyDeviceData() {
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  return device;
}

// The value's UTF-16 units as stored, or nothing when it cannot be read into `buffer_bytes`.
std::optional<std::vector<wchar_t>> ReadProperty(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                 DWORD property, DWORD buffer_bytes) {
  std::vector<wchar_t> units(buffer_bytes / sizeof(wchar_t) + 1);
  DWORD type = 0;
  DWORD size = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                         reinterpret_cast<BYTE*>(units.data()), buffer_bytes,
                                         &size)) {
    return std::nullopt;
  }
  units.resize(size / sizeof(wchar_t));
  return units;
}

std::optional<std::vector<wchar_t>> ReadWholeProperty(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                      DWORD property) {
  DWORD type = 0;
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  return ReadProperty(set, device, property, size);
}

std::wstring TextBeforeNul(const std::vector<wchar_t>& units) {
  std::wstring text;
  for (wchar_t unit : units) {
    if (unit == L'\0') break;
    text += unit;
  }
  return text;
}

std::vector<std::wstring> SplitMultiString(const std::vector<wchar_t>& units) {
  std::vector<std::wstring> entries;
  std::wstring entry;
  for (wchar_t unit : units) {
    if (unit != L'\0') {
      entry += unit;
    } else if (entry.empty()) {
      break;
    } else {
      entries.push_back(entry);
      entry.clear();
    }
  }
  if (!entry.empty()) entries.push_back(entry);
  return entries;
}

std::wstring InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
  // Instance IDs are at most 200 units long.
  wchar_t id[512] = {};
  if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 512, nullptr)) {
    throw LastError("SetupDiGetDeviceInstanceIdW");
  }
  return id;
}

void SetProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                 const std::wstring& value_with_terminators) {
  if (!SetupDiSetDeviceRegistryPropertyW(
          set, &device, property, reinterpret_cast<const BYTE*>(value_with_terminators.data()),
          static_cast<DWORD>(value_with_terminators.size() * sizeof(wchar_t)))) {
    throw LastError("SetupDiSetDeviceRegistryPropertyW(" + std::to_string(property) + ")");
  }
}

}  // namespace

std::vector<DeviceRecord> ListDevices() {
  DeviceInfoSet set = OpenAllDevices();
  if (!set.valid()) throw LastError("SetupDiGetClassDevsW");
  std::vector<DeviceRecord> devices;
  SP_DEVINFO_DATA device = EmptyDeviceData();
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    DeviceRecord record;
    record.instance_id = InstanceId(set.get(), device);
    if (auto description = ReadWholeProperty(set.get(), device, SPDRP_DEVICEDESC)) {
      record.description = TextBeforeNul(*description);
    }
    if (auto hardware_ids = ReadWholeProperty(set.get(), device, SPDRP_HARDWAREID)) {
      record.hardware_ids = SplitMultiString(*hardware_ids);
    }
    record.description_fits_kelto_buffer =
        ReadProperty(set.get(), device, SPDRP_DEVICEDESC, kKeltoPropertyBufferBytes).has_value();
    record.hardware_ids_fit_kelto_buffer =
        ReadProperty(set.get(), device, SPDRP_HARDWAREID, kKeltoPropertyBufferBytes).has_value();
    devices.push_back(record);
  }
  return devices;
}

std::wstring RegisterRootDevice(const std::wstring& device_name, const GUID& class_guid,
                                const std::wstring& description,
                                const std::vector<std::wstring>& hardware_ids) {
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(&class_guid, nullptr));
  if (!set.valid()) throw LastError("SetupDiCreateDeviceInfoList");
  SP_DEVINFO_DATA device = EmptyDeviceData();
  if (!SetupDiCreateDeviceInfoW(set.get(), device_name.c_str(), &class_guid, nullptr, nullptr,
                                DICD_GENERATE_ID, &device)) {
    throw LastError("SetupDiCreateDeviceInfoW");
  }
  SetProperty(set.get(), device, SPDRP_DEVICEDESC, description + L'\0');
  std::wstring multi_string;
  for (const std::wstring& id : hardware_ids) multi_string += id + L'\0';
  multi_string += L'\0';
  SetProperty(set.get(), device, SPDRP_HARDWAREID, multi_string);
  if (!SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr)) {
    throw LastError("SetupDiRegisterDeviceInfo");
  }
  return InstanceId(set.get(), device);
}

int RemoveDevicesWithInstanceIdPrefix(const std::wstring& prefix) {
  DeviceInfoSet set = OpenAllDevices();
  if (!set.valid()) throw LastError("SetupDiGetClassDevsW");
  int removed = 0;
  SP_DEVINFO_DATA device = EmptyDeviceData();
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    const std::wstring id = InstanceId(set.get(), device);
    if (_wcsnicmp(id.c_str(), prefix.c_str(), prefix.size()) != 0) continue;
    if (!SetupDiRemoveDevice(set.get(), &device)) throw LastError("SetupDiRemoveDevice");
    ++removed;
  }
  return removed;
}
