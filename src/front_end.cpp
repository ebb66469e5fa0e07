#include "front_end.h"

#include "command_line.h"
#include "device_info_list.h"

namespace kelto {
namespace {

// Only A to Z fold; every other unit stays as it is.
char16_t CommandCharacter(std::u16string_view AArgument) noexcept {
  if (AArgument.empty()) return u'\0';
  const char16_t LUnit = AArgument.front();
  return (LUnit >= u'A' && LUnit <= u'Z') ? static_cast<char16_t>(LUnit - u'A' + u'a') : LUnit;
}

}  // namespace

int RunCommand(const std::vector<std::u16string>& AArguments, TTextOutput& AOutput) {
  if (AArguments.empty()) return 0;
  const char16_t LCommand = CommandCharacter(AArguments.front());
  if (AArguments.size() == 1 && LCommand == u'?') {
    for (const std::u16string_view LLine : kUsageLines) AOutput.WriteLine(LLine);
    return 1;
  }
  const std::u16string_view LSearchText = ArgumentAt(AArguments, 2);
  bool LFound = false;
  switch (LCommand) {
    case u'd':
      LFound = TDeviceInfoList::ExistsByDevDesc(LSearchText);
      break;
    case u'h':
      LFound = TDeviceInfoList::ExistsByHardwareID(LSearchText);
      break;
    default:
      break;
  }
  return LFound ? 1 : 0;
}

}  // namespace kelto
