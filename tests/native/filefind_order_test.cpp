// FileFind result order against the plain sorted insertion it replaces, and
// the multi-byte path comparison and folder helpers.
#include "tools/FileFindOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using tavro::FoundEntry;
using tavro::LeadByteTable;

// The insertion the search has always done: walk from the front and insert
// before the first record where the walk stops, else at the end.
std::vector<FoundEntry> InsertOneByOne(const std::vector<FoundEntry>& found, long nSort, const LeadByteTable& lead)
{
    std::vector<FoundEntry> list;
    for (const FoundEntry& e : found) {
        auto stop = [&](const FoundEntry& x) {
            switch (nSort) {
            case 2:
                return x.size >= e.size;
            case 3:
                return x.size <= e.size;
            case 4:
                return tavro::CompareMultiByte(x.path, e.path, lead) >= 0;
            case 5:
                return tavro::CompareMultiByte(x.path, e.path, lead) <= 0;
            default:
                return false;
            }
        };
        list.insert(std::find_if(list.begin(), list.end(), stop), e);
    }
    return list;
}

// One "[path size]" per entry; bytes outside printable ASCII as \xNN.
std::string Describe(const std::vector<FoundEntry>& list)
{
    std::string text;
    for (const FoundEntry& e : list) {
        text += '[';
        for (unsigned char c : e.path) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
        }
        text += ' ' + std::to_string(e.size) + ']';
    }
    return text;
}

// Lead bytes of a Japanese-style double-byte code page.
LeadByteTable DoubleByteCodePage()
{
    LeadByteTable lead{};
    for (int b = 0; b < 256; ++b)
        lead[size_t(b)] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return lead;
}

// Many random listings with many equal keys, in every mode. Every entry
// differs from every other in the field that is not the sort key, so a wrong
// order of equal entries shows.
TEST(FileFindOrder, MatchesSortedInsertion)
{
    const struct {
        LeadByteTable lead;
        std::string alphabet;
        unsigned seed;
    } codePages[] = {
        {tavro::SingleByteCodePage(), "aAbB\\.\xE4z", 4711},
        // 0x81 starts a character; 0x5C after it is a trail byte, not a
        // folder separator; 0xA1 is a one-byte character above ASCII.
        {DoubleByteCodePage(),
         std::string("a\\\x81\xA1\x5C"
                     "B"),
         1234},
    };
    for (const auto& cp : codePages) {
        std::printf("FileFind order property: seed %u\n", cp.seed);
        std::mt19937 rng(cp.seed);
        for (int round = 0; round < 400; ++round) {
            std::vector<FoundEntry> found(rng() % 60);
            for (size_t i = 0; i < found.size(); ++i) {
                if (round % 2 == 0) {
                    found[i].path = "p" + std::to_string(i);
                    found[i].size = rng() % 5 + (rng() % 4 == 0 ? (uint64_t{1} << 32) : 0);
                } else {
                    for (size_t k = rng() % 4; k > 0; --k)
                        found[i].path += cp.alphabet[rng() % cp.alphabet.size()];
                    found[i].size = i;
                }
            }
            for (long mode = -1; mode <= 6; ++mode) {
                std::vector<FoundEntry> actual = found;
                tavro::OrderFoundEntries(actual, mode, cp.lead);
                ASSERT_EQ(Describe(actual), Describe(InsertOneByOne(found, mode, cp.lead)))
                    << "seed " << cp.seed << " round " << round << " mode " << mode << "\ninput " << Describe(found);
            }
        }
    }
}

TEST(FileFindOrder, ExamplesOfEachSortingMode)
{
    const std::vector<FoundEntry> found = {{"c:\\x\\b", 5}, {"c:\\x\\B", 7}, {"c:\\x\\a", 5}, {"c:\\x\\C", 7}};
    const struct {
        long mode;
        std::vector<int> order;
    } cases[] = {
        {2, {2, 0, 3, 1}}, // equal sizes: found last first
        {3, {3, 1, 2, 0}},
        {4, {1, 3, 2, 0}}, // upper case before lower case
        {5, {0, 2, 3, 1}},
    };
    for (const auto& c : cases) {
        std::vector<FoundEntry> actual = found, expected;
        for (int i : c.order)
            expected.push_back(found[size_t(i)]);
        tavro::OrderFoundEntries(actual, c.mode, tavro::SingleByteCodePage());
        EXPECT_EQ(Describe(actual), Describe(expected)) << "mode " << c.mode;
    }
}

TEST(FileFindOrder, CompareMultiByte)
{
    const struct {
        std::string a, b;
        bool doubleByte;
        int sign;
    } cases[] = {
        {"B", "a", false, -1},
        {"a", "ab", false, -1},
        {"abc", "abc", false, 0},
        {"\xE4", "z", false, 1},            // bytes compare unsigned
        {"\xA1", "\x81\x40", false, 1},     // byte order in a single-byte code page
        {"\xA1", "\x81\x40", true, -1},     // a double-byte character is above every single byte
        {"\x81\x40", "\x81\x41", true, -1}, // trail bytes decide
        {"ab\x81", "ab", true, 0},          // a lone lead byte at the end ends the text
        {"ab\x81", "ab", false, 1},
        {"a\x81\x5Cz", "a\x81\x5C", true, 1},
        {std::string("a\0b", 3), "a", false, 0}, // compared as NUL-terminated texts
    };
    for (const auto& c : cases) {
        const LeadByteTable lead = c.doubleByte ? DoubleByteCodePage() : tavro::SingleByteCodePage();
        const int forward = tavro::CompareMultiByte(c.a, c.b, lead);
        const int backward = tavro::CompareMultiByte(c.b, c.a, lead);
        EXPECT_EQ((forward > 0) - (forward < 0), c.sign) << Describe({{c.a, 0}, {c.b, 0}}) << " dbcs " << c.doubleByte;
        EXPECT_EQ((backward > 0) - (backward < 0), -c.sign)
            << Describe({{c.b, 0}, {c.a, 0}}) << " dbcs " << c.doubleByte;
    }
}

TEST(FileFindOrder, FolderGetsOneTrailingBackslash)
{
    const struct {
        std::string folder;
        bool doubleByte;
        std::string searched;
    } cases[] = {
        {"", false, ""},
        {"C:", false, "C:\\"},
        {"C:\\", false, "C:\\"},
        {"C:\\\x95\x5C", false, "C:\\\x95\x5C"},  // single-byte: 0x5C is a backslash
        {"C:\\\x95\x5C", true, "C:\\\x95\x5C\\"}, // double-byte: it ends a character
        {"\x95", true, "\x95\\"},                 // lone lead byte at the end
        {"\x95\\\x5C", true, "\x95\\\x5C"},       // 0x95 0x5C, then a real backslash
    };
    for (const auto& c : cases) {
        const LeadByteTable lead = c.doubleByte ? DoubleByteCodePage() : tavro::SingleByteCodePage();
        EXPECT_EQ(Describe({{tavro::FolderWithBackslash(c.folder, lead), 0}}), Describe({{c.searched, 0}}))
            << "folder " << Describe({{c.folder, 0}}) << " dbcs " << c.doubleByte;
    }
}

} // namespace
