// SendKeys key strings: event sequences, syntax errors and the room check,
// with a fake keyboard layout in place of the system's key lookup.
#include "tools/sendkeys.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

using tavro::KeyEvent;
using tavro::PlanSendKeys;
using tavro::SendKeysPlan;

// A US-like layout: letters, digits and a few punctuation keys; 0xE4 needs
// Ctrl+Alt, 0xE9 has no key at all.
int16_t FakeKeyScan(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<int16_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<int16_t>(0x100 | c);
    if (c >= '0' && c <= '9')
        return c;
    switch (c) {
    case ' ': return 0x20;
    case '{': return 0x1DB;
    case '}': return 0x1DD;
    case '(': return 0x139;
    case ')': return 0x130;
    case '+': return 0x1BB;
    case '^': return 0x136;
    case '%': return 0x135;
    case '~': return 0x1C0;
    case '\xE4': return 0x6DE;
    default: return -1;
    }
}

std::string KeyName(uint16_t vk)
{
    switch (vk) {
    case 0x10: return "Shift";
    case 0x11: return "Ctrl";
    case 0x12: return "Alt";
    case 0x0D: return "Enter";
    case 0x20: return "Space";
    case 0x24: return "Home";
    case 0x25: return "Left";
    case 0x2E: return "Del";
    }
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return std::string(1, static_cast<char>(vk));
    if (vk >= 0x70 && vk <= 0x7F)
        return "F" + std::to_string(vk - 0x6F);
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", vk);
    return hex;
}

// "Shift+ A+ A- Shift-": "+" down, "-" up, "/x" marks the extended flag.
std::string Describe(const std::vector<KeyEvent>& events)
{
    std::string text;
    for (const KeyEvent& e : events) {
        if (!text.empty())
            text += ' ';
        text += KeyName(e.virtualKey);
        if (e.flags & tavro::kKeyEventExtended)
            text += "/x";
        text += (e.flags & tavro::kKeyEventKeyUp) ? '-' : '+';
        if (e.flags & ~(tavro::kKeyEventExtended | tavro::kKeyEventKeyUp))
            text += "?";
    }
    return text;
}

std::string Times(const std::string& pair, int n)
{
    std::string text;
    for (int i = 0; i < n; ++i)
        text += (text.empty() ? "" : " ") + pair;
    return text;
}

std::string Repeat(const std::string& piece, int n)
{
    std::string text;
    for (int i = 0; i < n; ++i)
        text += piece;
    return text;
}

SendKeysPlan Plan(const std::string& keys)
{
    return PlanSendKeys(keys, FakeKeyScan);
}

struct EventCase {
    std::string keys;
    std::string events;
};

TEST(SendKeys, EventSequences)
{
    const std::string shifted = "Shift+ ";
    const EventCase cases[] = {
        {"", ""},
        {"+ab", "Shift+ A+ A- Shift- B+ B-"},
        {"+(ab)c", "Shift+ A+ A- B+ B- Shift- C+ C-"},
        {"^{F4}", "Ctrl+ F4+ F4- Ctrl-"},
        {"A", "Shift+ A+ A- Shift-"},
        {"+{LEFT 3}", "Shift+ " + Times("Left/x+ Left/x-", 3) + " Shift-"},
        {"{a 3}", Times("A+ A-", 3)},
        {"{a 0}", ""},
        {"x{a 0}y", "X+ X- Y+ Y-"},
        {"^{a 0}", "Ctrl+ Ctrl-"},
        {"{a 300}", Times("A+ A-", 44)},
        {"{a 1 2}", Times("A+ A-", 12)},
        {"{a 0000000000000000000000000000257}", "A+ A-"},
        {"{a }", "A+ A-"},
        {"{ENTER}", "Enter+ Enter-"},
        {"{enter}", "Enter+ Enter-"},
        {"~", "Enter+ Enter-"},
        {"{065}", "A+ A-"},
        {"+{065}", "Shift+ A+ A- Shift-"},
        {"{999}", "0xE7+ 0xE7-"},
        {"{f12}{F16}{bs}{ScrollLock}{pgUp}", "F12+ F12- F16+ F16- 0x08+ 0x08- 0x91+ 0x91- 0x21+ 0x21-"},
        {"{}}", "Shift+ 0xDD+ 0xDD- Shift-"},
        {"{{}", "Shift+ 0xDB+ 0xDB- Shift-"},
        {"{ }", "Space+ Space-"},
        {"{  }", "Space+ Space-"},
        {"{  2}", Times("Space+ Space-", 2)},
        {"{(}{)}{+}", "Shift+ 9+ 9- 0+ 0- 0xBB+ 0xBB- Shift-"},
        {"{^}{%}{~}", "Shift+ 6+ 6- 5+ 5- 0xC0+ 0xC0- Shift-"},
        {"{A}", "Shift+ A+ A- Shift-"},
        {"+{a}", "Shift+ A+ A- Shift-"},
        // Modifiers go down Shift, Ctrl, Alt, and come up in the same order.
        {"%^+a", "Shift+ Ctrl+ Alt+ A+ A- Shift- Ctrl- Alt-"},
        {"^a^b", "Ctrl+ A+ A- B+ B- Ctrl-"},
        {"^a+b", "Ctrl+ A+ A- Shift+ Ctrl- B+ B- Shift-"},
        {"\xE4", "Ctrl+ Alt+ 0xDE+ 0xDE- Ctrl- Alt-"},
        {"+{HOME}", "Shift+ Home/x+ Home/x- Shift-"},
        {"{HOME}", "Home+ Home-"},
        {"^{HOME}", "Ctrl+ Home+ Home- Ctrl-"},
        {"+{DEL}+{F1}", "Shift+ Del/x+ Del/x- F1+ F1- Shift-"},
        {"+(a{LEFT})", "Shift+ A+ A- Left/x+ Left/x- Shift-"},
        {"^(ab)c", "Ctrl+ A+ A- B+ B- Ctrl- C+ C-"},
        {"(^a)b", "Ctrl+ A+ A- Ctrl- B+ B-"},
        {"+(a)+b", "Shift+ A+ A- B+ B- Shift-"},
        // Modifiers typed just before ")" or at the end are dropped.
        {"(a+)b", "A+ A- B+ B-"},
        {"a+", "A+ A-"},
        {"a%^", "A+ A-"},
        // A character without a key is skipped and leaves its modifiers
        // pending for the next key.
        {"a\xE9" "b", "A+ A- B+ B-"},
        {"+\xE9" "a", "Shift+ A+ A- Shift-"},
        {"{\xE9}", ""},
        // The repeat count of a skipped braced character stays with its
        // position, so the next key takes it.
        {"{\xE9 3}a", Times("A+ A-", 3)},
    };
    for (const EventCase& c : cases) {
        const SendKeysPlan plan = Plan(c.keys);
        EXPECT_FALSE(plan.failed) << "keys \"" << c.keys << "\" error " << plan.errorText;
        EXPECT_TRUE(plan.fits) << "keys \"" << c.keys << "\"";
        EXPECT_EQ(Describe(plan.events), c.events) << "keys \"" << c.keys << "\"";
    }
}

struct ErrorCase {
    std::string keys;
    std::string error;
};

TEST(SendKeys, SyntaxErrorsSendNothing)
{
    const std::string letters510(510, 'a');
    const ErrorCase cases[] = {
        {"((a))", "( without )"},
        {"+(ab", "( without )"},
        {"(a{b", "( without )"}, // an open group is reported before open braces
        {"a)", ") without ("},
        {"(a))", ") without ("},
        {"a}", "} without {"},
        {"{a", "{ without }"},
        {"{", "{ without }"},
        {"{}", "{ without }"},
        {"{a 3", "{ without }"},
        {"{65}", "65\r\nInvalid key name"},
        {"{06}", "06\r\nInvalid key name"},
        {"{0651}", "0651\r\nInvalid key name"},
        {"{xyz}", "XYZ\r\nInvalid key name"},
        {"{f17}", "F17\r\nInvalid key name"},
        {"{ a}", " A\r\nInvalid key name"},
        {"{ab cd}", "cd\r\nExpecting digits (repeat)"},
        {"{a b}", "b\r\nExpecting digits (repeat)"},
        {"{LEFT -3}", "-3\r\nExpecting digits (repeat)"},
        {"{xyz 1b}", "1b\r\nExpecting digits (repeat)"}, // the count is checked first
        {"{a 1{}", "1{\r\nExpecting digits (repeat)"},
        {letters510 + "a", "Sendkeys overflow"},
        {letters510 + "+", "Sendkeys overflow"},
        {letters510 + ")", "Sendkeys overflow"},
        {Repeat("{a 2}", 510) + "{", "Sendkeys overflow"},
            };
    for (const ErrorCase& c : cases) {
        const SendKeysPlan plan = Plan(c.keys);
        EXPECT_TRUE(plan.failed) << "keys \"" << c.keys << "\"";
        EXPECT_EQ(plan.errorText, c.error) << "keys \"" << c.keys << "\"";
        EXPECT_TRUE(plan.events.empty()) << "keys \"" << c.keys << "\" events " << Describe(plan.events);
    }
}

struct RoomCase {
    const char* what;
    std::string keys;
    bool fits;
    size_t events;
};

// Each key needs room for its presses plus 20 events before it is added.
TEST(SendKeys, RoomCheckSendsAllOrNothing)
{
    const RoomCase cases[] = {
        {"502 letters", std::string(502, 'a'), true, 1004},
        {"503 letters", std::string(503, 'a'), false, 0},
        {"510 letters", std::string(510, 'a'), false, 0},
        {"two keys of 225", Repeat("{a 225}", 2), true, 900},
        {"three keys of 225", Repeat("{a 225}", 3), false, 0},
        {"three keys of 225 after an error-free prefix", "+b" + Repeat("{a 225}", 3), false, 0},
        // Modifier events already added count against the room.
        {"shifted key then 500 letters", "+a" + std::string(500, 'b'), true, 1004},
        {"shifted key then 501 letters", "+a" + std::string(501, 'b'), false, 0},
        // Ctrl stays held over a group: an odd count meets the bound exactly.
        {"501 letters under held Ctrl", "^(" + std::string(501, 'a') + ")", true, 1004},
        {"502 letters under held Ctrl", "^(" + std::string(502, 'a') + ")", false, 0},
        // Zero-count keys still toggle modifiers and still face the check.
        {"502 alternating zero-count keys", Repeat("^{a 0}+{a 0}", 251), true, 1004},
        {"504 alternating zero-count keys", Repeat("^{a 0}+{a 0}", 252), false, 0},
        {"510 zero-count keys", Repeat("{a 0}", 510), true, 0},
    };
    for (const RoomCase& c : cases) {
        const SendKeysPlan plan = Plan(c.keys);
        EXPECT_FALSE(plan.failed) << c.what << ": " << plan.errorText;
        EXPECT_EQ(plan.fits, c.fits) << c.what;
        EXPECT_EQ(plan.events.size(), c.events) << c.what;
    }
}

// Any byte string either fails with one of the known texts or gives a batch
// in which every key goes down and up again and nothing stays held.
TEST(SendKeys, RandomStringsGiveBalancedBatchesOrKnownErrors)
{
    const unsigned seed = 20261205;
    std::printf("SendKeys random strings: seed %u\n", seed);
    std::mt19937 rng(seed);
    const std::string alphabet = "ab+^%(){}~ 0123456789\xE4\xE9HOMEleft";
    const std::string suffixes[] = {"\r\nExpecting digits (repeat)", "\r\nInvalid key name"};
    const std::string fixedTexts[] = {"Sendkeys overflow", "( without )", ") without (", "} without {",
                                      "{ without }"};

    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string keys(rng() % 40, ' ');
        for (char& c : keys)
            c = alphabet[rng() % alphabet.size()];
        const SendKeysPlan plan = Plan(keys);
        if (plan.failed) {
            bool known = false;
            for (const std::string& t : fixedTexts)
                known = known || plan.errorText == t;
            for (const std::string& s : suffixes)
                known = known || (plan.errorText.size() > s.size() &&
                                  plan.errorText.compare(plan.errorText.size() - s.size(), s.size(), s) == 0);
            EXPECT_TRUE(known) << "keys \"" << keys << "\" error " << plan.errorText;
            EXPECT_TRUE(plan.events.empty()) << "keys \"" << keys << "\"";
            continue;
        }
        ++parsed;
        bool down[256] = {};
        for (const KeyEvent& e : plan.events) {
            const bool up = e.flags & tavro::kKeyEventKeyUp;
            ASSERT_LT(e.virtualKey, 256u);
            EXPECT_NE(down[e.virtualKey], !up) << "keys \"" << keys << "\": " << Describe(plan.events);
            down[e.virtualKey] = !up;
        }
        for (int vk = 0; vk < 256; ++vk)
            EXPECT_FALSE(down[vk]) << "keys \"" << keys << "\" leaves " << KeyName(vk) << " down";
        EXPECT_LE(plan.events.size(), static_cast<size_t>(tavro::kMaxKeyEvents));
    }
    EXPECT_GT(parsed, 300) << "too few valid strings to say anything";
}

} // namespace
