#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Size of the one property buffer through which kelto reads every device property:
// 261 UTF-16 units. A value that needs more cannot be read by kelto at all.
constexpr DWORD kKeltoPropertyBufferBytes = 522;

// One device as the Setup API reports it, with its values read in full.
struct DeviceRecord {
  std::wstring instance_id;
  // Whole values as stored, every NUL included; nothing when the device has no such value.
  std::optional<std::wstring> description_value;  // SPDRP_DEVICEDESC
  std::optional<std::wstring> hardware_id_value;  // SPDRP_HARDWAREID, a multi-string
  bool description_fits_kelto_buffer = false;     // a read into 522 bytes succeeds
  bool hardware_ids_fit_kelto_buffer = false;
};

// The value of a string property: the text and its terminating NUL.
std::wstring StringValue(const std::wstring& text);

// The value of a multi-string property: each entry with its NUL, then one more NUL.
std::wstring MultiStringValue(const std::vector<std::wstring>& entries);

// The units before the first NUL: a string value's text, a multi-string's first entry.
std::wstring TextBeforeNul(const std::wstring& value);

// Every device of SetupDiGetClassDevsW(all classes, present or not), in enumeration order:
// the same walk that kelto makes. Throws std::runtime_error when the set cannot be opened.
std::vector<DeviceRecord> ListDevices();

// The device of `devices` with this instance ID (letter case ignored) and its position, or null.
const DeviceRecord* FindByInstanceId(const std::vector<DeviceRecord>& devices,
                                     const std::wstring& instance_id, std::size_t* position);

// The whole values of a device's description and its hardware-ID list, as registered.
struct DeviceValues {
  std::wstring description_value;
  std::wstring hardware_id_value;
};

// Registers root-enumerated devices "ROOT\<device_name>\NNNN" of the given setup class, one for
// each entry of `devices` and in that order, all through one device-information set; returns
// their instance IDs in the same order. Throws std::runtime_error.
std::vector<std::wstring> RegisterRootDevices(const std::wstring& device_name,
                                              const GUID& class_guid,
                                              const std::vector<DeviceValues>& devices);

// Removes every device whose instance ID begins with `prefix` (letter case ignored) and
// returns how many went. Throws std::runtime_error.
int RemoveDevicesWithInstanceIdPrefix(const std::wstring& prefix);
