#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The devices that the end-to-end tests register in their Wine prefix, next to Wine's own,
// and the texts that the tests search for in them.
namespace fixture {

// Every fixture device is registered as "ROOT\KELTOTEST\NNNN": the prefix tells them apart
// from Wine's own devices and lets a later run remove whatever an earlier one left behind.
inline constexpr wchar_t kDeviceName[] = L"KELTOTEST";
inline constexpr wchar_t kInstanceIdPrefix[] = L"ROOT\\KELTOTEST\\";

inline constexpr wchar_t kNonAsciiDescription[] = L"Kelto Pr\u00fcfger\u00e4t \u03a9mega";

inline constexpr wchar_t kTwoEntryDescription[] = L"Kelto two-entry device";
inline constexpr wchar_t kFirstOfTwoId[] = L"KeltoTest\\FirstOfTwo";
inline constexpr wchar_t kSecondOfTwoId[] = L"KeltoTest\\SecondOfTwo";

inline constexpr wchar_t kLetterCaseDescription[] = L"Kelto letter-case device";
inline constexpr wchar_t kMixedCaseId[] = L"KeltoTest\\MiXeD-CaSe";

inline constexpr wchar_t kNoBreakSpaceDescription[] = L"Kelto\u00a0Gap device";

inline constexpr wchar_t kBackslashDescription[] = L"Kelto path C:\\Kelto\\Dir\\";

// The first entry is short, but the whole list needs more than kelto's buffer holds.
inline constexpr wchar_t kLongListDescription[] = L"Kelto long hardware-ID list";
inline constexpr wchar_t kFirstBeforeLongSecondId[] = L"KeltoTest\\FirstBeforeLongSecond";

inline constexpr wchar_t kShortIdDescription259[] = L"Kelto 259-unit hardware ID";
inline constexpr wchar_t kLongIdDescription260[] = L"Kelto 260-unit hardware ID";

// A description value with a NUL inside: only the text before it is the description.
inline constexpr wchar_t kBeforeNulText[] = L"Kelto embedded NUL";
inline constexpr wchar_t kAfterNulText[] = L"kelto-after-nul";

// A hardware-ID list whose first entry is empty: the first hardware ID is the empty text.
inline constexpr wchar_t kEmptyFirstIdDescription[] = L"Kelto empty first hardware ID";
inline constexpr wchar_t kAfterEmptyFirstId[] = L"KeltoTest\\AfterEmptyFirst";

// Letters outside the Basic Multilingual Plane, each a pair of UTF-16 surrogates (D835 xxxx).
inline constexpr wchar_t kSurrogatePairDescription[] =
    L"Kelto Fraktur \U0001D50E\U0001D522\U0001D529\U0001D531\U0001D52C";

// Registered last, so that kelto's walk reaches it only past the unreadable values above.
inline constexpr wchar_t kLastDescription[] = L"Kelto device after the unreadable ones";

// A description of exactly `length` units: LongDescriptionHead, dots, LongDescriptionTail.
std::wstring LongDescription(std::size_t length);
std::wstring LongDescriptionHead(std::size_t length);  // "Kelto 260 head"
std::wstring LongDescriptionTail(std::size_t length);  // "kelto-tail-260"

// A hardware ID of exactly `length` units, built the same way.
std::wstring LongHardwareId(std::size_t length);
std::wstring LongHardwareIdHead(std::size_t length);  // "KeltoTest\Id259-head"
std::wstring LongHardwareIdTail(std::size_t length);  // "id-tail-259"

// The description may hold a NUL of its own; registration adds the terminating NULs.
struct Device {
  std::wstring description;
  std::vector<std::wstring> hardware_ids;
};

// The fixture's devices in the order of registration.
const std::vector<Device>& Devices();

// Removes what an earlier run left, then registers Devices() in order; returns their instance
// IDs in the same order. Throws std::runtime_error.
std::vector<std::wstring> Register();

// Removes every fixture device; returns how many went. Throws std::runtime_error.
int Remove();

// Devices with surrogates that have no partner, which only the hostile-input tests register, as
// "ROOT\KELTOHOSTILE\NNNN": a name of their own keeps them out of the fixture above and its
// walk. Each description and each first hardware ID is a head, the unpaired units, a tail.
namespace lone_surrogates {

inline constexpr wchar_t kDeviceName[] = L"KELTOHOSTILE";
inline constexpr wchar_t kInstanceIdPrefix[] = L"ROOT\\KELTOHOSTILE\\";

struct Text {
  std::wstring head;
  std::wstring units;  // the unpaired surrogates
  std::wstring tail;
  std::wstring Whole() const { return head + units + tail; }
};

struct LoneSurrogateDevice {
  const char* name;  // for the log
  Text description;
  Text hardware_id;
};

// A high surrogate alone and a low one alone, each inside a text and at its end, and a low and
// a high one the wrong way round. No other device holds these units.
const std::vector<LoneSurrogateDevice>& LoneSurrogateDevices();

// LoneSurrogateDevices() as registered, in the same order.
const std::vector<Device>& Devices();

// Removes what an earlier run left, then registers Devices() in order; returns their instance
// IDs in the same order. Throws std::runtime_error.
std::vector<std::wstring> Register();

// Removes every one of these devices; returns how many went. Throws std::runtime_error.
int Remove();

}  // namespace lone_surrogates

// A batch of look-alike devices "ROOT\KELTOBULK\NNNN", numbered from 0000 in the order in which
// they are registered and walked, so that the texts of the last one are found only at the end of
// a long walk. Only the hostile-input tests register them.
namespace bulk {

inline constexpr wchar_t kDeviceName[] = L"KELTOBULK";
inline constexpr wchar_t kInstanceIdPrefix[] = L"ROOT\\KELTOBULK\\";
inline constexpr std::size_t kCount = 500;

std::wstring Description(std::size_t number);  // "Kelto bulk device 0042"
std::wstring HardwareId(std::size_t number);   // "KeltoBulk\\Device0042"

// The kCount devices in the order of registration.
const std::vector<Device>& Devices();

// As lone_surrogates::Register() and Remove().
std::vector<std::wstring> Register();
int Remove();

}  // namespace bulk

}  // namespace fixture
