// Key strings for MidiTools.SendKeys: parsing into keys with modifiers and
// repeat counts, and turning them into one batch of keyboard events.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

// Virtual-key codes used here, with their Windows values.
constexpr uint8_t kVkShift = 0x10;
constexpr uint8_t kVkControl = 0x11;
constexpr uint8_t kVkMenu = 0x12; // Alt
constexpr uint8_t kVkReturn = 0x0D;

// Modifier bits of a key position.
constexpr uint8_t kModShift = 1;
constexpr uint8_t kModCtrl = 2;
constexpr uint8_t kModAlt = 4;

// Key event flags, equal to KEYEVENTF_EXTENDEDKEY and KEYEVENTF_KEYUP.
constexpr uint32_t kKeyEventExtended = 0x0001;
constexpr uint32_t kKeyEventKeyUp = 0x0002;

// Fixed bounds: keys a string may hold, and events one call may send.
constexpr int kMaxSendKeys = 510;
constexpr int kMaxKeyEvents = 1024;

// Dispatch error code of every key-string syntax error.
constexpr long kSendKeysErrorCode = 2000;

// Character to key, as VkKeyScanA answers: virtual key in the low byte
// (0xFF: no key produces the character), needed modifiers in the high byte
// (0x100 Shift, 0x200 Ctrl, 0x400 Alt).
using KeyScanFunction = std::function<int16_t(char)>;

// One recorded key: what to hold, what to press and how often.
struct KeyStroke {
    uint8_t modifiers = 0; // kModShift | kModCtrl | kModAlt
    uint8_t virtualKey = 0;
    uint8_t repeatCount = 1;
};

// The parsed key string, or the description of its first syntax error.
// The position after the last key releases every modifier; it is implied.
struct KeyStringParse {
    bool failed = false;
    std::string errorText; // description for the code-2000 dispatch error
    std::vector<KeyStroke> keys;
};

// One keyboard input record: type keyboard, scan code 0, time 0 and extra
// information 0 are left to the layer that builds the system records.
struct KeyEvent {
    uint16_t virtualKey = 0;
    uint32_t flags = 0; // kKeyEventKeyUp | kKeyEventExtended

    bool operator==(const KeyEvent& other) const { return virtualKey == other.virtualKey && flags == other.flags; }
};

// What a SendKeys call does: raise errorText (code 2000), or send events
// in one call (an empty batch sends nothing: empty string, or no room).
struct SendKeysPlan {
    bool failed = false;
    std::string errorText;
    bool fits = true; // false: the events did not fit, nothing is sent
    std::vector<KeyEvent> events;
};

// Virtual-key code of a key name, case-insensitive; -1 for an unknown name.
int LookUpKeyName(std::string_view name);

// Reads the whole string; stops at the first syntax error.
KeyStringParse ParseKeyString(std::string_view strKeys, const KeyScanFunction& keyScan);

// Modifier presses and releases around each key, repeated key presses.
// Returns false (and clears events) when the batch would not fit into
// kMaxKeyEvents; then nothing is to be sent.
bool EmitKeyEvents(const std::vector<KeyStroke>& keys, std::vector<KeyEvent>& events);

// Parse then emit: everything SendKeys decides before calling the system.
SendKeysPlan PlanSendKeys(std::string_view strKeys, const KeyScanFunction& keyScan);

} // namespace tavro
