// kelto: answers through its exit code whether the device-setup service knows a device whose
// description (d) or first hardware ID (h) contains a text; ? prints the usage.
#include <windows.h>

#include "command_line.h"
#include "device_platform.h"
#include "errors.h"
#include "front_end.h"
#include "win/win_device_platform.h"
#include "win/win_error_report.h"
#include "win/win_text.h"
#include "win/win_text_output.h"

int main() {
  using namespace kelto;
  win::TWindowsDevicePlatform LPlatform;
  const TScopedDevicePlatform LUsePlatform(LPlatform);
  win::TStandardOutput LOutput;
  UINT LExitCode = 0;
  // The process-level handler: whatever escapes the program is reported once, with exit code 1.
  try {
    LExitCode =
        static_cast<UINT>(RunCommand(SplitCommandLine(win::ToU16(GetCommandLineW())), LOutput));
  } catch (...) {
    win::ReportUnhandledError(DescribeCurrentException());
    LExitCode = 1;
  }
  LOutput.WriteHeldOutput();
  ExitProcess(LExitCode);
}
