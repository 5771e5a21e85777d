// Single-backtrack wildcard matcher: keeps only the position after the last
// star and the text position to retry from, so runs of stars cannot blow up.
#include "common/Wildcard.h"

namespace tavro {

bool WildcardMatch(const char* text, const char* pattern)
{
    const char* t = text;
    const char* p = pattern;

    // Literal prefix up to the first star.
    while (*t && *p != '*') {
        if (*p != *t && *p != '?')
            return false;
        ++t;
        ++p;
    }

    const char* backPattern = nullptr; // just after the last star
    const char* resumeText = nullptr;  // where the star's run ends next time
    while (*t) {
        if (*p == '*') {
            if (!*++p)
                return true; // a trailing star takes the rest of the text
            backPattern = p;
            resumeText = t + 1;
        } else if (*p == *t || *p == '?') {
            ++p;
            ++t;
        } else {
            // Only reached after a star: the prefix loop stops at one.
            p = backPattern;
            t = resumeText++;
        }
    }
    while (*p == '*')
        ++p;
    return *p == '\0';
}

} // namespace tavro
