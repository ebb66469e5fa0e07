#include "fixture_devices.h"

#include <windows.h>

#include <initializer_list>

#include "setup_devices.h"

namespace fixture {
namespace {

// A setup class of the fixture's own, so that no class of Wine's gains members.
constexpr GUID kFixtureClass = {
    0x6b3a1f0e, 0x2c4d, 0x4e5f, {0x8a, 0x9b, 0x1c, 0x2d, 0x3e, 0x4f, 0x50, 0x61}};

std::wstring Padded(const std::wstring& head, const std::wstring& tail, std::size_t length) {
  return head + std::wstring(length - head.size() - tail.size(), L'.') + tail;
}

// Four digits, with leading zeros.
std::wstring Numbered(std::size_t number) {
  const std::wstring digits = std::to_wstring(number);
  return std::wstring(digits.size() < 4 ? 4 - digits.size() : 0, L'0') + digits;
}

std::vector<DeviceValues> ValuesOf(const std::vector<Device>& devices) {
  std::vector<DeviceValues> values;
  for (const Device& device : devices) {
    values.push_back({StringValue(device.description), MultiStringValue(device.hardware_ids)});
  }
  return values;
}

// Removes what an earlier run left under `instance_id_prefix`, then registers `devices` in
// order as "ROOT\<device_name>\NNNN"; returns their instance IDs in the same order.
std::vector<std::wstring> RegisterAfresh(const wchar_t* device_name,
                                         const wchar_t* instance_id_prefix,
                                         const std::vector<Device>& devices) {
  RemoveDevicesWithInstanceIdPrefix(instance_id_prefix);
  return RegisterRootDevices(device_name, kFixtureClass, ValuesOf(devices));
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
  return RegisterAfresh(kDeviceName, kInstanceIdPrefix, Devices());
}

int Remove() { return RemoveDevicesWithInstanceIdPrefix(kInstanceIdPrefix); }

namespace lone_surrogates {

const std::vector<LoneSurrogateDevice>& LoneSurrogateDevices() {
  // Built unit by unit: a \x escape in a literal would take in the hex digits after it.
  const auto units = [](std::initializer_list<unsigned> values) {
    std::wstring text;
    for (unsigned value : values) text += static_cast<wchar_t>(value);
    return text;
  };
  static const std::vector<LoneSurrogateDevice> devices = {
      {"a high surrogate alone",
       {L"Kelto lone high ", units({0xD800}), L" inside"},
       {L"KeltoHostile\\LoneHigh", units({0xD800}), L"Inside"}},
      {"a low surrogate alone",
       {L"Kelto lone low ", units({0xDFFF}), L" inside"},
       {L"KeltoHostile\\LoneLow", units({0xDFFF}), L"Inside"}},
      // U+1F600 is D83D DE00; here its halves come the other way round.
      {"a reversed pair",
       {L"Kelto reversed ", units({0xDE00, 0xD83D}), L" pair"},
       {L"KeltoHostile\\Reversed", units({0xDE00, 0xD83D}), L"Pair"}},
      {"a high surrogate at the end",
       {L"Kelto high at the end ", units({0xDBFF}), L""},
       {L"KeltoHostile\\HighAtEnd", units({0xDBFF}), L""}},
      {"a low surrogate at the end",
       {L"Kelto low at the end ", units({0xDC01}), L""},
       {L"KeltoHostile\\LowAtEnd", units({0xDC01}), L""}},
  };
  return devices;
}

const std::vector<Device>& Devices() {
  static const std::vector<Device> devices = [] {
    std::vector<Device> list;
    for (const LoneSurrogateDevice& device : LoneSurrogateDevices()) {
      list.push_back({device.description.Whole(), {device.hardware_id.Whole()}});
    }
    return list;
  }();
  return devices;
}

std::vector<std::wstring> Register() {
  return RegisterAfresh(kDeviceName, kInstanceIdPrefix, Devices());
}

int Remove() { return RemoveDevicesWithInstanceIdPrefix(kInstanceIdPrefix); }

}  // namespace lone_surrogates

namespace bulk {

std::wstring Description(std::size_t number) { return L"Kelto bulk device " + Numbered(number); }

std::wstring HardwareId(std::size_t number) { return L"KeltoBulk\\Device" + Numbered(number); }

const std::vector<Device>& Devices() {
  static const std::vector<Device> devices = [] {
    std::vector<Device> list;
    for (std::size_t number = 0; number < kCount; ++number) {
      list.push_back({Description(number), {HardwareId(number)}});
    }
    return list;
  }();
  return devices;
}

std::vector<std::wstring> Register() {
  return RegisterAfresh(kDeviceName, kInstanceIdPrefix, Devices());
}

int Remove() { return RemoveDevicesWithInstanceIdPrefix(kInstanceIdPrefix); }

}  // namespace bulk

}  // namespace fixture
