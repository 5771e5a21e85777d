// FileFind result order against the plain sorted insertion it replaces, and
// the multi-byte path comparison and folder helpers.
#include "tools/filefind_order.h"

#include <gtest/gtest.h>

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
        size_t at = 0;
        for (; at < list.size(); ++at) {
            const FoundEntry& x = list[at];
            bool stop = false;
            switch (nSort) {
            case 2: stop = x.size >= e.size; break;
            case 3: stop = x.size <= e.size; break;
            case 4: stop = tavro::CompareMultiByte(x.path, e.path, lead) >= 0; break;
            case 5: stop = tavro::CompareMultiByte(x.path, e.path, lead) <= 0; break;
            default: break;
            }
            if (stop)
                break;
        }
        list.insert(list.begin() + static_cast<long>(at), e);
    }
    return list;
}

std::string Describe(const std::vector<FoundEntry>& list)
{
    std::string text;
    for (const FoundEntry& e : list) {
        text += '[';
        for (unsigned char c : e.path) {
            if (c >= 0x20 && c < 0x7F) {
                text += static_cast<char>(c);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                text += hex;
            }
        }
        text += ' ' + std::to_string(e.size) + ']';
    }
    return text;
}

// Lead bytes of a Japanese-style double-byte code page.
LeadByteTable DoubleByteCodePage()
{
    LeadByteTable lead{};
    for (int b = 0x81; b <= 0x9F; ++b)
        lead[b] = true;
    for (int b = 0xE0; b <= 0xFC; ++b)
        lead[b] = true;
    return lead;
}

// Many random listings with many equal keys. Every entry differs from every
// other in the field that is not the sort key, so a wrong order of equal
// entries shows.
void CheckAgainstInsertion(const LeadByteTable& lead, const std::string& alphabet, unsigned seed)
{
    std::printf("FileFind order property: seed %u\n", seed);
    std::mt19937 rng(seed);
    const long modes[] = {-1, 0, 1, 2, 3, 4, 5, 6};
    for (int round = 0; round < 400; ++round) {
        const size_t count = rng() % 60;
        const bool bySize = round % 2 == 0;
        std::vector<FoundEntry> found(count);
        for (size_t i = 0; i < count; ++i) {
            if (bySize) {
                found[i].path = "p" + std::to_string(i);
                found[i].size = rng() % 5 + (rng() % 4 == 0 ? (uint64_t{1} << 32) : 0);
            } else {
                const size_t length = rng() % 4;
                for (size_t k = 0; k < length; ++k)
                    found[i].path += alphabet[rng() % alphabet.size()];
                found[i].size = i;
            }
        }
        for (long mode : modes) {
            const std::vector<FoundEntry> expected = InsertOneByOne(found, mode, lead);
            std::vector<FoundEntry> actual = found;
            tavro::OrderFoundEntries(actual, mode, lead);
            ASSERT_EQ(Describe(actual), Describe(expected))
                << "seed " << seed << " round " << round << " mode " << mode << "\ninput " << Describe(found);
        }
    }
}

TEST(FileFindOrder, MatchesSortedInsertionSingleByte)
{
    CheckAgainstInsertion(tavro::SingleByteCodePage(), std::string("aAbB\\.\xE4z"), 4711);
}

TEST(FileFindOrder, MatchesSortedInsertionDoubleByte)
{
    // 0x81 starts a character; 0x5C after it is a trail byte, not a folder
    // separator; 0xA1 is a one-byte character above the ASCII range.
    CheckAgainstInsertion(DoubleByteCodePage(), std::string("a\\\x81\xA1\x5C" "B", 6), 1234);
}

TEST(FileFindOrder, ExamplesOfEachMode)
{
    const std::vector<FoundEntry> found = {{"c:\\x\\b", 5}, {"c:\\x\\B", 7}, {"c:\\x\\a", 5}, {"c:\\x\\C", 7}};
    struct Case {
        long mode;
        std::vector<FoundEntry> order;
    };
    const Case cases[] = {
        {2, {found[2], found[0], found[3], found[1]}}, // equal sizes: found last first
        {3, {found[3], found[1], found[2], found[0]}},
        {4, {found[1], found[3], found[2], found[0]}}, // upper case before lower case
        {5, {found[0], found[2], found[3], found[1]}},
        {0, found}, {1, found}, {6, found}, {-1, found},
    };
    for (const Case& c : cases) {
        std::vector<FoundEntry> actual = found;
        tavro::OrderFoundEntries(actual, c.mode, tavro::SingleByteCodePage());
        EXPECT_EQ(Describe(actual), Describe(c.order)) << "mode " << c.mode;
    }
}

TEST(FileFindOrder, CompareMultiByte)
{
    struct Case {
        std::string a;
        std::string b;
        bool doubleByte;
        int sign;
    };
    const Case cases[] = {
        {"B", "a", false, -1},
        {"a", "ab", false, -1},
        {"abc", "abc", false, 0},
        {"", "", false, 0},
        {"\xE4", "z", false, 1},           // bytes compare unsigned
        {"\xA1", "\x81\x40", false, 1},     // byte order in a single-byte code page
        {"\xA1", "\x81\x40", true, -1},     // a double-byte character is above every single byte
        {"\x81\x40", "\x81\x41", true, -1}, // trail bytes decide
        {"ab\x81", "ab", true, 0},          // a lone lead byte at the end ends the text
        {"ab\x81", "ab", false, 1},
        {"a\x81\x5Cz", "a\x81\x5C", true, 1},
        {std::string("a\0b", 3), "a", false, 0}, // compared as NUL-terminated texts
    };
    for (const Case& c : cases) {
        const LeadByteTable lead = c.doubleByte ? DoubleByteCodePage() : tavro::SingleByteCodePage();
        const int forward = tavro::CompareMultiByte(c.a, c.b, lead);
        const int backward = tavro::CompareMultiByte(c.b, c.a, lead);
        EXPECT_EQ((forward > 0) - (forward < 0), c.sign) << Describe({{c.a, 0}, {c.b, 0}}) << " dbcs " << c.doubleByte;
        EXPECT_EQ((backward > 0) - (backward < 0), -c.sign) << Describe({{c.b, 0}, {c.a, 0}}) << " dbcs " << c.doubleByte;
    }
}

TEST(FileFindOrder, FolderGetsOneTrailingBackslash)
{
    struct Case {
        std::string folder;
        bool doubleByte;
        std::string searched;
    };
    const Case cases[] = {
        {"", false, ""},
        {"C:", false, "C:\\"},
        {"C:\\", false, "C:\\"},
        {"C:\\dir", false, "C:\\dir\\"},
        {"\\", false, "\\"},
        {"C:\\\x95\x5C", false, "C:\\\x95\x5C"},        // single-byte: 0x5C is a backslash
        {"C:\\\x95\x5C", true, "C:\\\x95\x5C\\"},       // double-byte: it ends a character
        {"C:\\\x95\x5C\\", true, "C:\\\x95\x5C\\"},
        {"\x95", true, "\x95\\"},                        // lone lead byte at the end
        {"\x95\\\x5C", true, "\x95\\\x5C"},              // 0x95 0x5C, then a real backslash
    };
    for (const Case& c : cases) {
        const LeadByteTable lead = c.doubleByte ? DoubleByteCodePage() : tavro::SingleByteCodePage();
        EXPECT_EQ(Describe({{tavro::FolderWithBackslash(c.folder, lead), 0}}), Describe({{c.searched, 0}}))
            << "folder " << Describe({{c.folder, 0}}) << " dbcs " << c.doubleByte;
    }
}

} // namespace
