// Registers, removes or lists the end-to-end fixture devices in the current Wine prefix, for
// looking at by hand what the tests set up:
//   wine64 kelto_fixture.exe register|remove|list

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "fixture_devices.h"
#include "printable.h"
#include "setup_devices.h"

namespace {

void PrintDevices() {
  const std::vector<DeviceRecord> devices = ListDevices();
  for (std::size_t index = 0; index < devices.size(); ++index) {
    const DeviceRecord& device = devices[index];
    std::printf("%zu: %s\n", index, Printable(device.instance_id).c_str());
    // Values as stored, NULs shown as \u0000.
    std::printf("   description%s: %s\n", device.description_fits_kelto_buffer ? "" : " (too long)",
                device.description_value ? Printable(*device.description_value).c_str() : "(none)");
    std::printf("   hardware IDs%s: %s\n",
                device.hardware_ids_fit_kelto_buffer ? "" : " (too long)",
                device.hardware_id_value ? Printable(*device.hardware_id_value).c_str() : "(none)");
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc == 2 ? argv[1] : L"";
  try {
    if (command == L"register") {
      for (const std::wstring& id : fixture::Register()) {
        std::printf("registered %s\n", Printable(id).c_str());
      }
    } else if (command == L"remove") {
      std::printf("removed %d devices\n", fixture::Remove());
    } else if (command == L"list") {
      PrintDevices();
    } else {
      std::fprintf(stderr, "usage: kelto_fixture register|remove|list\n");
      return 2;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kelto_fixture: %s\n", error.what());
    return 1;
  }
  return 0;
}
