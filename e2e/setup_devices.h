#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Size of the one property buffer through which kelto reads every device property:
// 261 UTF-16 units. A value that needs more cannot be read by kelto at all.
constexpr DWORD kKeltoPropertyBufferBytes = 522;

// One device as the Setup API reports it, with its values read in full.
struct DeviceRecord {
  std::wstring instance_id;
  std::optional<std::wstring> description;                // SPDRP_DEVICEDESC, whole value
  std::optional<std::vector<std::wstring>> hardware_ids;  // SPDRP_HARDWAREID, every entry
  bool description_fits_kelto_buffer = false;             // a read into 522 bytes succeeds
  bool hardware_ids_fit_kelto_buffer = false;
};

// Every device of SetupDiGetClassDevsW(all classes, present or not), in enumeration order:
// the same walk that kelto makes. Throws std::runtime_error when the set cannot be opened.
std::vector<DeviceRecord> ListDevices();

// Registers a root-enumerated device "ROOT\<device_name>\NNNN" of the given setup class with
// a description and a hardware-ID list; returns its instance ID. Throws std::runtime_error.
std::wstring RegisterRootDevice(const std::wstring& device_name, const GUID& class_guid,
                                const std::wstring& description,
                                const std::vector<std::wstring>& hardware_ids);

// Removes every device whose instance ID begins with `prefix` (letter case ignored) and
// returns how many went. Throws std::runtime_error.
int RemoveDevicesWithInstanceIdPrefix(const std::wstring& prefix);
