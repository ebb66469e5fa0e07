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
std::optional<std::wstring> ReadProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                                         DWORD buffer_bytes) {
  std::wstring units(buffer_bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD type = 0;
  DWORD size = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                         reinterpret_cast<BYTE*>(&units[0]), buffer_bytes, &size)) {
    return std::nullopt;
  }
  units.resize(size / sizeof(wchar_t));
  return units;
}

std::optional<std::wstring> ReadWholeProperty(HDEVINFO set, SP_DEVINFO_DATA& device,
                                              DWORD property) {
  DWORD type = 0;
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  return ReadProperty(set, device, property, size);
}

std::wstring InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
  // Instance IDs are at most 200 units long.
  wchar_t id[512] = {};
  if (!SetupDiGetDeviceInstanceIdW(set, &device, id, 512, nullptr)) {
    throw LastError("SetupDiGetDeviceInstanceIdW");
  }
  return id;
}

void SetProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const std::wstring& value) {
  if (!SetupDiSetDeviceRegistryPropertyW(set, &device, property,
                                         reinterpret_cast<const BYTE*>(value.data()),
                                         static_cast<DWORD>(value.size() * sizeof(wchar_t)))) {
    throw LastError("SetupDiSetDeviceRegistryPropertyW(" + std::to_string(property) + ")");
  }
}

}  // namespace

std::wstring StringValue(const std::wstring& text) { return text + L'\0'; }

std::wstring MultiStringValue(const std::vector<std::wstring>& entries) {
  std::wstring value;
  for (const std::wstring& entry : entries) value += entry + L'\0';
  return value + L'\0';
}

std::wstring TextBeforeNul(const std::wstring& value) { return value.substr(0, value.find(L'\0')); }

std::vector<DeviceRecord> ListDevices() {
  DeviceInfoSet set = OpenAllDevices();
  if (!set.valid()) throw LastError("SetupDiGetClassDevsW");
  std::vector<DeviceRecord> devices;
  SP_DEVINFO_DATA device = EmptyDeviceData();
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    DeviceRecord record;
    record.instance_id = InstanceId(set.get(), device);
    record.description_value = ReadWholeProperty(set.get(), device, SPDRP_DEVICEDESC);
    record.hardware_id_value = ReadWholeProperty(set.get(), device, SPDRP_HARDWAREID);
    record.description_fits_kelto_buffer =
        ReadProperty(set.get(), device, SPDRP_DEVICEDESC, kKeltoPropertyBufferBytes).has_value();
    record.hardware_ids_fit_kelto_buffer =
        ReadProperty(set.get(), device, SPDRP_HARDWAREID, kKeltoPropertyBufferBytes).has_value();
    devices.push_back(record);
  }
  return devices;
}

const DeviceRecord* FindByInstanceId(const std::vector<DeviceRecord>& devices,
                                     const std::wstring& instance_id, std::size_t* position) {
  for (std::size_t index = 0; index < devices.size(); ++index) {
    if (_wcsicmp(devices[index].instance_id.c_str(), instance_id.c_str()) == 0) {
      *position = index;
      return &devices[index];
    }
  }
  return nullptr;
}

std::vector<std::wstring> RegisterRootDevices(const std::wstring& device_name,
                                              const GUID& class_guid,
                                              const std::vector<DeviceValues>& devices) {
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(&class_guid, nullptr));
  if (!set.valid()) throw LastError("SetupDiCreateDeviceInfoList");
  std::vector<std::wstring> instance_ids;
  for (const DeviceValues& values : devices) {
    SP_DEVINFO_DATA device = EmptyDeviceData();
    if (!SetupDiCreateDeviceInfoW(set.get(), device_name.c_str(), &class_guid, nullptr, nullptr,
                                  DICD_GENERATE_ID, &device)) {
      throw LastError("SetupDiCreateDeviceInfoW");
    }
    SetProperty(set.get(), device, SPDRP_DEVICEDESC, values.description_value);
    SetProperty(set.get(), device, SPDRP_HARDWAREID, values.hardware_id_value);
    if (!SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr)) {
      throw LastError("SetupDiRegisterDeviceInfo");
    }
    instance_ids.push_back(InstanceId(set.get(), device));
  }
  return instance_ids;
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
