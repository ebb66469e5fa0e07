#include "fixture_devices.h"

#include <windows.h>

#include "setup_devices.h"

namespace fixture {
namespace {

// A setup class of the fixture's own, so that no class of Wine's gains members.
constexpr GUID kFixtureClass = {
    0x6b3a1f0e, 0x2c4d, 0x4e5f, {0x8a, 0x9b, 0x1c, 0x2d, 0x3e, 0x4f, 0x50, 0x61}};

std::wstring Padded(const std::wstring& head, const std::wstring& tail, std::size_t length) {
  return head + std::wstring(length - head.size() - tail.size(), L'.') + tail;
}

}  // namespace

std::wstring LongDescriptionHead(std::size_t length) {
  return L"Kelto " + std::to_wstring(length) + L" head";
}
std::wstring LongDescriptionTail(std::size_t length) {
  return L"kelto-tail-" + std::to_wstring(length);
}
std::wstring LongDescription(std::size_t length) {
  return Padded(LongDescriptionHead(length), LongDescriptionTail(length), length);
}

std::wstring LongHardwareIdHead(std::size_t length) {
  return L"KeltoTest\\Id" + std::to_wstring(length) + L"-head";
}
std::wstring LongHardwareIdTail(std::size_t length) {
  return L"id-tail-" + std::to_wstring(length);
}
std::wstring LongHardwareId(std::size_t length) {
  return Padded(LongHardwareIdHead(length), LongHardwareIdTail(length), length);
}

const std::vector<Device>& Devices() {
  static const std::vector<Device> devices = {
      {kNonAsciiDescription, {L"KeltoTest\\NonAscii"}},
      {kTwoEntryDescription, {kFirstOfTwoId, kSecondOfTwoId}},
      {kLetterCaseDescription, {kMixedCaseId}},
      {kNoBreakSpaceDescription, {L"KeltoTest\\NoBreakSpace"}},
      {kBackslashDescription, {L"KeltoTest\\Backslash"}},
      // 260 units and the NUL fill kelto's 522 bytes exactly; 261 units do not fit.
      {LongDescription(260), {L"KeltoTest\\Description260"}},
      {LongDescription(261), {L"KeltoTest\\Description261"}},
      {LongDescription(400), {L"KeltoTest\\Description400"}},
      // A list of one entry ends with two NULs: 259 units are the most that fit.
      {kShortIdDescription259, {LongHardwareId(259)}},
      {kLongIdDescription260, {LongHardwareId(260)}},
      {kLongListDescription, {kFirstBeforeLongSecondId, LongHardwareId(300)}},
      {std::wstring(kBeforeNulText) + L'\0' + kAfterNulText, {L"KeltoTest\\EmbeddedNul"}},
      {kEmptyFirstIdDescription, {L"", kAfterEmptyFirstId}},
      {kSurrogatePairDescription, {L"KeltoTest\\SurrogatePairs"}},
      {kLastDescription, {L"KeltoTest\\AfterUnreadable"}},
  };
  return devices;
}

std::vector<std::wstring> Register() {
  Remove();
  std::vector<std::wstring> instance_ids;
  for (const Device& device : Devices()) {
    instance_ids.push_back(RegisterRootDevice(kDeviceName, kFixtureClass,
                                              StringValue(device.description),
                                              MultiStringValue(device.hardware_ids)));
  }
  return instance_ids;
}

int Remove() { return RemoveDevicesWithInstanceIdPrefix(kInstanceIdPrefix); }

}  // namespace fixture
