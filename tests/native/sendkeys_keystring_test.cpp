// SendKeys key strings: event sequences, syntax errors and the room check,
// with a fake keyboard layout in place of the system's key lookup.
#include "tools/KeyString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

namespace {

using tavro::KeyEvent;
using tavro::SendKeysPlan;

// A US-like layout: letters, digits and a few punctuation keys; 0xE4 needs
// Ctrl+Alt, 0xE9 has no key at all.
int16_t FakeKeyScan(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<int16_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<int16_t>(0x100 | c);
    if ((c >= '0' && c <= '9') || c == ' ')
        return c;
    const std::string shifted = "{}()+^%~";
    const int16_t keys[] = {0x1DB, 0x1DD, 0x139, 0x130, 0x1BB, 0x136, 0x135, 0x1C0};
    const size_t at = shifted.find(c);
    return at != std::string::npos ? keys[at] : c == '\xE4' ? 0x6DE : -1;
}

std::string KeyName(uint16_t vk)
{
    const std::pair<uint16_t, const char*> names[] = {{0x0D, "Enter"}, {0x10, "Shift"}, {0x11, "Ctrl"}, {0x12, "Alt"},
                                                      {0x20, "Space"}, {0x21, "PgUp"},  {0x24, "Home"}, {0x25, "Left"},
                                                      {0x28, "Down"},  {0x2C, "PrtSc"}, {0x2D, "Ins"},  {0x2E, "Del"}};
    for (const auto& n : names)
        if (n.first == vk)
            return n.second;
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
    for (const KeyEvent& e : events)
        text += (text.empty() ? "" : " ") + KeyName(e.virtualKey) + (e.flags & tavro::kKeyEventExtended ? "/x" : "") +
                (e.flags & tavro::kKeyEventKeyUp ? "-" : "+") +
                (e.flags & ~(tavro::kKeyEventExtended | tavro::kKeyEventKeyUp) ? "?" : "");
    return text;
}

std::string Repeat(const std::string& piece, int n, const std::string& separator = "")
{
    std::string text;
    for (int i = 0; i < n; ++i)
        text += (i ? separator : "") + piece;
    return text;
}

SendKeysPlan Plan(const std::string& keys)
{
    return tavro::PlanSendKeys(keys, FakeKeyScan);
}

TEST(SendKeys, EventSequences)
{
    const auto times = [](const char* pair, int n) { return Repeat(pair, n, " "); };
    const struct {
        std::string keys, events;
    } cases[] = {
        {"", ""},
        {"+ab", "Shift+ A+ A- Shift- B+ B-"},
        {"+(ab)c", "Shift+ A+ A- B+ B- Shift- C+ C-"},
        {"A", "Shift+ A+ A- Shift-"},
        {"+{LEFT 3}", "Shift+ " + times("Left/x+ Left/x-", 3) + " Shift-"},
        {"^{a 0}", "Ctrl+ Ctrl-"},
        {"{a 300}", times("A+ A-", 44)}, // the count keeps 8 bits
        {"{a 1 2}", times("A+ A-", 12)},
        {"{a 0000000000000000000000000000257}", "A+ A-"},
        {"{a }", "A+ A-"},
        {"{enter}~", "Enter+ Enter- Enter+ Enter-"},
        {"{065}{999}", "A+ A- 0xE7+ 0xE7-"},
        {"{f12}{F16}{bs}{ScrollLock}{pgUp}", "F12+ F12- F16+ F16- 0x08+ 0x08- 0x91+ 0x91- PgUp+ PgUp-"},
        {"{{}{}}", "Shift+ 0xDB+ 0xDB- 0xDD+ 0xDD- Shift-"},
        {"{ }{  2}", times("Space+ Space-", 3)},
        {"{(}{)}{+}{^}{%}{~}", "Shift+ 9+ 9- 0+ 0- 0xBB+ 0xBB- 6+ 6- 5+ 5- 0xC0+ 0xC0- Shift-"},
        // Modifiers change one by one in the order Shift, Ctrl, Alt.
        {"%^+a", "Shift+ Ctrl+ Alt+ A+ A- Shift- Ctrl- Alt-"},
        {"^a^b", "Ctrl+ A+ A- B+ B- Ctrl-"},
        {"^a+b", "Ctrl+ A+ A- Shift+ Ctrl- B+ B- Shift-"},
        {"\xE4", "Ctrl+ Alt+ 0xDE+ 0xDE- Ctrl- Alt-"},
        // The extended flag goes with Shift only.
        {"+{HOME}^{HOME}", "Shift+ Home/x+ Home/x- Shift- Ctrl+ Home+ Home- Ctrl-"},
        {"+{DEL}+{F1}", "Shift+ Del/x+ Del/x- F1+ F1- Shift-"},
        // The range's ends: Page Up and Down; Insert; not Space or Print Screen.
        {"+{PGUP}+{DOWN}+{INS}", "Shift+ PgUp/x+ PgUp/x- Down/x+ Down/x- Ins/x+ Ins/x- Shift-"},
        {"+ +{PRTSC}", "Shift+ Space+ Space- PrtSc+ PrtSc- Shift-"},
        {"+(a{LEFT})", "Shift+ A+ A- Left/x+ Left/x- Shift-"},
        {"(^a)b", "Ctrl+ A+ A- Ctrl- B+ B-"},
        {"+(a)+b", "Shift+ A+ A- B+ B- Shift-"},
        // Modifiers typed just before ")" or at the end are dropped.
        {"(a+)b", "A+ A- B+ B-"},
        {"a%^", "A+ A-"},
        // A character without a key is skipped and leaves its modifiers and
        // its repeat count pending for the next key.
        {"+\xE9"
         "a",
         "Shift+ A+ A- Shift-"},
        {"{\xE9}", ""},
        {"{\xE9 3}a", times("A+ A-", 3)},
    };
    for (const auto& c : cases) {
        const SendKeysPlan plan = Plan(c.keys);
        EXPECT_EQ(plan.errorText, "") << "keys \"" << c.keys << "\"";
        EXPECT_TRUE(!plan.failed && plan.fits) << "keys \"" << c.keys << "\"";
        EXPECT_EQ(Describe(plan.events), c.events) << "keys \"" << c.keys << "\"";
    }
}

TEST(SendKeys, SyntaxErrorsSendNothing)
{
    const std::string letters510(510, 'a');
    const struct {
        std::string keys, error;
    } cases[] = {
        {"((a))", "( without )"},
        {"(a{b", "( without )"}, // an open group is reported before open braces
        {"(a))", ") without ("},
        {"a}", "} without {"},
        {"{}", "{ without }"},
        {"{a 3", "{ without }"},
        {"{65}", "65\r\nInvalid key name"},
        {"{0651}", "0651\r\nInvalid key name"},
        {"{f17}", "F17\r\nInvalid key name"},
        {"{ a}", " A\r\nInvalid key name"},
        {"{ab cd}", "cd\r\nExpecting digits (repeat)"},
        {"{LEFT -3}", "-3\r\nExpecting digits (repeat)"},
        {"{xyz 1b}", "1b\r\nExpecting digits (repeat)"}, // the count is checked first
        {"{a 1{}", "1{\r\nExpecting digits (repeat)"},
        {letters510 + "a", "Sendkeys overflow"},
        {letters510 + ")", "Sendkeys overflow"},
        {Repeat("{a 2}", 510) + "{", "Sendkeys overflow"},
    };
    for (const auto& c : cases) {
        const SendKeysPlan plan = Plan(c.keys);
        EXPECT_TRUE(plan.failed) << "keys \"" << c.keys << "\"";
        EXPECT_EQ(plan.errorText, c.error) << "keys \"" << c.keys << "\"";
        EXPECT_EQ(Describe(plan.events), "") << "keys \"" << c.keys << "\"";
    }
}

// Each key needs room for its presses plus 20 events before it is added;
// when one does not fit, nothing is sent.
TEST(SendKeys, RoomCheckSendsAllOrNothing)
{
    const struct {
        const char* what;
        std::string keys;
        size_t events; // 0 with fits false: nothing sent
        bool fits;
    } cases[] = {
        {"502 letters", std::string(502, 'a'), 1004, true},
        {"503 letters", std::string(503, 'a'), 0, false},
        {"two keys of 225", Repeat("{a 225}", 2), 900, true},
        {"three keys of 225", Repeat("{a 225}", 3), 0, false},
        // Modifier events already added count against the room.
        {"shifted key then 500 letters", "+a" + std::string(500, 'b'), 1004, true},
        {"shifted key then 501 letters", "+a" + std::string(501, 'b'), 0, false},
        // Ctrl stays held over a group: an odd count meets the bound exactly.
        {"501 letters under held Ctrl", "^(" + std::string(501, 'a') + ")", 1004, true},
        {"502 letters under held Ctrl", "^(" + std::string(502, 'a') + ")", 0, false},
        // Zero-count keys still toggle modifiers and still face the check.
        {"502 alternating zero-count keys", Repeat("^{a 0}+{a 0}", 251), 1004, true},
        {"504 alternating zero-count keys", Repeat("^{a 0}+{a 0}", 252), 0, false},
        {"510 zero-count keys", Repeat("{a 0}", 510), 0, true},
    };
    for (const auto& c : cases) {
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
    const std::string known = "|Sendkeys overflow|( without )|) without (|} without {|{ without }|";
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string keys(rng() % 40, ' ');
        for (char& c : keys)
            c = alphabet[rng() % alphabet.size()];
        const SendKeysPlan plan = Plan(keys);
        if (plan.failed) {
            const std::string& e = plan.errorText;
            const size_t cr = e.find("\r\n");
            const bool named =
                cr != std::string::npos && cr > 0 &&
                (e.substr(cr) == "\r\nExpecting digits (repeat)" || e.substr(cr) == "\r\nInvalid key name");
            EXPECT_TRUE(named || known.find("|" + e + "|") != std::string::npos)
                << "keys \"" << keys << "\" error " << e;
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
        EXPECT_EQ(std::count(down, down + 256, true), 0) << "keys \"" << keys << "\" leaves a key down";
        EXPECT_LE(plan.events.size(), static_cast<size_t>(tavro::kMaxKeyEvents));
    }
    EXPECT_GT(parsed, 300) << "too few valid strings to say anything";
}

} // namespace
