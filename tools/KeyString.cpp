// Key-string parser and keyboard event emitter behind MidiTools.SendKeys.
// The whole string is parsed before any event is built, so a syntax error
// anywhere sends nothing.
#include "tools/KeyString.h"

#include <array>
#include <cstring>

namespace tavro {

namespace {

struct KeyName {
    const char* name;
    uint8_t code;
};

// Searched in this order; the first match wins.
constexpr KeyName kKeyNameTable[] = {
    {"BACKSPACE", 0x08}, {"BS", 0x08},     {"BKSP", 0x08},  {"BREAK", 0x13},      {"CAPSLOCK", 0x14}, {"DELETE", 0x2E},
    {"DEL", 0x2E},       {"DOWN", 0x28},   {"END", 0x23},   {"ENTER", 0x0D},      {"ESC", 0x1B},      {"HELP", 0x2F},
    {"HOME", 0x24},      {"INSERT", 0x2D}, {"INS", 0x2D},   {"LEFT", 0x25},       {"NUMLOCK", 0x90},  {"PGDN", 0x22},
    {"PGUP", 0x21},      {"PRTSC", 0x2C},  {"RIGHT", 0x27}, {"SCROLLLOCK", 0x91}, {"TAB", 0x09},      {"UP", 0x26},
    {"F1", 0x70},        {"F2", 0x71},     {"F3", 0x72},    {"F4", 0x73},         {"F5", 0x74},       {"F6", 0x75},
    {"F7", 0x76},        {"F8", 0x77},     {"F9", 0x78},    {"F10", 0x79},        {"F11", 0x7A},      {"F12", 0x7B},
    {"F13", 0x7C},       {"F14", 0x7D},    {"F15", 0x7E},   {"F16", 0x7F},
};
static_assert(sizeof(kKeyNameTable) / sizeof(kKeyNameTable[0]) == 40, "40 key names");

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Parser state over fixed arrays: one slot per key position plus the end
// position (and one spare, as the event layout has always had).
class KeyStringParser {
public:
    explicit KeyStringParser(const KeyScanFunction& keyScan) : keyScan_(keyScan) {}

    KeyStringParse Run(std::string_view strKeys)
    {
        KeyStringParse result;
        for (char c : strKeys) {
            if (current_ >= kMaxSendKeys)
                return Fail("Sendkeys overflow");
            if (inBraces_ ? !BracedCharacter(c) : !PlainCharacter(c))
                return Fail(error_);
        }
        if (groupOpen_)
            return Fail("( without )");
        if (inBraces_)
            return Fail("{ without }");
        result.keys.assign(slots_.begin(), slots_.begin() + current_);
        return result;
    }

private:
    static KeyStringParse Fail(std::string text)
    {
        KeyStringParse result;
        result.failed = true;
        result.errorText = std::move(text);
        return result;
    }

    bool Error(std::string text)
    {
        error_ = std::move(text);
        return false;
    }

    void RecordKey(uint8_t code)
    {
        slots_[current_].virtualKey = code;
        ++current_;
        slots_[current_].modifiers = groupModifiers_;
    }

    // A character typed through its key: skipped when no key produces it.
    void RecordCharacter(char c)
    {
        const uint16_t k = static_cast<uint16_t>(keyScan_(c));
        if ((k & 0xFF) == 0xFF)
            return;
        uint8_t& modifiers = slots_[current_].modifiers;
        if (k & 0x100)
            modifiers |= kModShift;
        if (k & 0x200)
            modifiers |= kModCtrl;
        if (k & 0x400)
            modifiers |= kModAlt;
        RecordKey(static_cast<uint8_t>(k & 0xFF));
    }

    bool PlainCharacter(char c)
    {
        switch (c) {
        case '%':
            slots_[current_].modifiers |= kModAlt;
            return true;
        case '+':
            slots_[current_].modifiers |= kModShift;
            return true;
        case '^':
            slots_[current_].modifiers |= kModCtrl;
            return true;
        case '(':
            if (groupOpen_)
                return Error("( without )");
            groupModifiers_ = slots_[current_].modifiers;
            groupOpen_ = true;
            return true;
        case ')':
            if (!groupOpen_)
                return Error(") without (");
            groupOpen_ = false;
            slots_[current_].modifiers = 0;
            groupModifiers_ = 0;
            return true;
        case '{':
            inBraces_ = true;
            return true;
        case '}':
            return Error("} without {");
        case '~':
            RecordKey(kVkReturn);
            return true;
        default:
            RecordCharacter(c);
            return true;
        }
    }

    bool BracedCharacter(char c)
    {
        if (c == '}' && !name_.empty())
            return CloseBraces();
        if (c == ' ' && !name_.empty())
            countStarted_ = true; // the blank itself is dropped
        else if (countStarted_)
            count_ += c;
        else
            name_ += c;
        return true;
    }

    bool CloseBraces()
    {
        if (!count_.empty()) {
            unsigned value = 0; // kept modulo 256 digit by digit: no overflow
            for (char d : count_) {
                if (!IsDigit(d))
                    return Error(count_ + "\r\nExpecting digits (repeat)");
                value = (value * 10 + static_cast<unsigned>(d - '0')) % 256;
            }
            slots_[current_].repeatCount = static_cast<uint8_t>(value);
        }

        if (name_.size() == 1) {
            RecordCharacter(name_[0]);
        } else if (name_.size() == 3 && IsDigit(name_[0]) && IsDigit(name_[1]) && IsDigit(name_[2])) {
            const int code = (name_[0] - '0') * 100 + (name_[1] - '0') * 10 + (name_[2] - '0');
            RecordKey(static_cast<uint8_t>(code % 256));
        } else {
            std::string upper = name_;
            for (char& ch : upper)
                ch = AsciiUpper(ch);
            const int code = LookUpKeyName(upper);
            if (code < 0)
                return Error(upper + "\r\nInvalid key name");
            RecordKey(static_cast<uint8_t>(code));
        }

        inBraces_ = false;
        name_.clear();
        count_.clear();
        countStarted_ = false;
        return true;
    }

    const KeyScanFunction& keyScan_;
    std::array<KeyStroke, kMaxSendKeys + 2> slots_{};
    int current_ = 0;
    uint8_t groupModifiers_ = 0;
    bool groupOpen_ = false;
    bool inBraces_ = false;
    std::string name_;
    std::string count_;
    bool countStarted_ = false;
    std::string error_;
};

// Keys that need the extended flag when typed with Shift held: page up and
// down, end, home, the arrows, insert and delete.
bool IsShiftExtendedKey(uint8_t code)
{
    return (code >= 0x21 && code <= 0x28) || code == 0x2D || code == 0x2E;
}

} // namespace

int LookUpKeyName(std::string_view name)
{
    for (const KeyName& entry : kKeyNameTable) {
        const size_t length = std::strlen(entry.name);
        if (length != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i)
            same = AsciiUpper(name[i]) == entry.name[i];
        if (same)
            return entry.code;
    }
    return -1;
}

KeyStringParse ParseKeyString(std::string_view strKeys, const KeyScanFunction& keyScan)
{
    return KeyStringParser(keyScan).Run(strKeys);
}

bool EmitKeyEvents(const std::vector<KeyStroke>& keys, std::vector<KeyEvent>& events)
{
    struct Modifier {
        uint8_t bit;
        uint8_t virtualKey;
    };
    // Pressed and released in this order.
    static constexpr Modifier kModifiers[] = {{kModShift, kVkShift}, {kModCtrl, kVkControl}, {kModAlt, kVkMenu}};

    events.clear();
    events.reserve(kMaxKeyEvents);
    uint8_t held = 0;
    // One pass beyond the last key: the end position needs no modifier, so
    // whatever is still held is released there.
    for (size_t position = 0; position <= keys.size(); ++position) {
        const bool atEnd = position == keys.size();
        const uint8_t needed = atEnd ? 0 : keys[position].modifiers;
        for (const Modifier& m : kModifiers) {
            if ((needed & m.bit) && !(held & m.bit)) {
                events.push_back({m.virtualKey, 0});
                held |= m.bit;
            } else if (!(needed & m.bit) && (held & m.bit)) {
                events.push_back({m.virtualKey, kKeyEventKeyUp});
                held &= static_cast<uint8_t>(~m.bit);
            }
        }
        if (atEnd)
            break;

        const KeyStroke& key = keys[position];
        const uint32_t extended = ((held & kModShift) && IsShiftExtendedKey(key.virtualKey)) ? kKeyEventExtended : 0;
        // Room for this key's presses plus a margin for the modifier events
        // that may still follow; otherwise the whole batch is dropped.
        if (2 * static_cast<size_t>(key.repeatCount) + events.size() + 20 > kMaxKeyEvents) {
            events.clear();
            return false;
        }
        for (int i = 0; i < key.repeatCount; ++i) {
            events.push_back({key.virtualKey, extended});
            events.push_back({key.virtualKey, extended | kKeyEventKeyUp});
        }
    }
    return true;
}

SendKeysPlan PlanSendKeys(std::string_view strKeys, const KeyScanFunction& keyScan)
{
    SendKeysPlan plan;
    KeyStringParse parse = ParseKeyString(strKeys, keyScan);
    if (parse.failed) {
        plan.failed = true;
        plan.errorText = std::move(parse.errorText);
        return plan;
    }
    plan.fits = EmitKeyEvents(parse.keys, plan.events);
    return plan;
}

} // namespace tavro
