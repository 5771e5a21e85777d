// WildcardMatch: the matching rules as a table, plus the cost bound.
#include "common/Wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* text;
    const char* pattern;
    bool match;
};

// Case-sensitive matcher; IsLike lower-cases before calling it.
const Case kCases[] = {
    {"", "", true},
    {"", "*", true},
    {"", "**", true},
    {"", "?", false},
    {"abc", "", false},
    {"abc", "abc", true},
    {"abc", "ABC", false},
    {"abc", "a*c", true},
    {"abc", "a?", false},
    {"abc", "?b?", true},
    {"abc", "???", true},
    {"abc", "????", false},
    {"abxbcd", "*b?d", true},
    {"abcbd", "*b?d", false},
    {"a.txt", "*.txt", true},
    {"a.txt.bak", "*.txt", false},
    {"abc", "a**c", true},
    {"abc", "a***", true},
    {"abc", "*", true},
    {"a*c", "a[*]c", false},
    {"a[x]c", "a[?]c", true},
    {"a#c", "a#c", true},
    {"abc", "*x*", false},
    {"abc", "*c", true},
    {"abc", "*b", false},
    {"aaa", "*a", true},
    {"aaab", "*a", false},
    {"mississippi", "*sip*", true},
    {"mississippi", "m*iss*ppi", true},
    {"mississippi", "m*iss*ppx", false},
    {"ab", "a*b*", true},
    {"tavro 07", "tavro 0?", true},
    {"tavro 10", "tavro 0?", false},
    {"\xe4\xf6", "?\xf6", true}, // one byte of an 8-bit code page
    {"x*y", "x?y", true},        // a literal star is matched by a wildcard
};

TEST(WildcardMatch, Table)
{
    for (const Case& c : kCases) {
        EXPECT_EQ(tavro::WildcardMatch(c.text, c.pattern), c.match)
            << "text \"" << c.text << "\" pattern \"" << c.pattern << "\"";
    }
}

// A long text against many stars would take exponential time in a naive
// recursive matcher and never finish within the test's time bound; the
// single-backtrack one stays quadratic at worst.
TEST(WildcardMatch, ManyStarsOnLongTextCompletes)
{
    std::string text(10000, 'a');
    std::string pattern;
    for (int i = 0; i < 50; ++i)
        pattern += "*a";
    pattern += "*b";

    EXPECT_FALSE(tavro::WildcardMatch(text.c_str(), pattern.c_str()));
    text += 'b';
    EXPECT_TRUE(tavro::WildcardMatch(text.c_str(), pattern.c_str()));
}

} // namespace
