// FileFind result order. The list was historically kept sorted by inserting
// each new entry before the first one that is not smaller; a stable sort of
// the reversed discovery order gives the same list in O(n log n).
#include "tools/FileFindOrder.h"

#include <algorithm>

namespace tavro {

namespace {

// Next character of a NUL-terminated multi-byte text; 0 at the end.
unsigned NextCharacter(const std::string& text, size_t& i, const LeadByteTable& leadBytes)
{
    if (i >= text.size())
        return 0;
    const unsigned c = static_cast<unsigned char>(text[i]);
    if (c == 0)
        return 0;
    ++i;
    if (!leadBytes[c])
        return c;
    const unsigned trail = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    if (trail == 0)
        return 0; // a lead byte without its trail byte ends the text
    ++i;
    return (c << 8) | trail;
}

} // namespace

const LeadByteTable& SingleByteCodePage()
{
    static const LeadByteTable none{};
    return none;
}

int CompareMultiByte(const std::string& a, const std::string& b, const LeadByteTable& leadBytes)
{
    size_t i = 0;
    size_t j = 0;
    for (;;) {
        const unsigned ca = NextCharacter(a, i, leadBytes);
        const unsigned cb = NextCharacter(b, j, leadBytes);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

bool EndsWithBackslash(const std::string& text, const LeadByteTable& leadBytes)
{
    // Walk whole characters from the front: only there is it known whether
    // a byte 0x5C is a backslash or the second half of a character.
    size_t lastStart = 0;
    size_t i = 0;
    while (i < text.size()) {
        lastStart = i;
        const bool lead = leadBytes[static_cast<unsigned char>(text[i])];
        i += (lead && i + 1 < text.size()) ? 2 : 1;
    }
    return i - lastStart == 1 && text[lastStart] == '\\';
}

std::string FolderWithBackslash(const std::string& folder, const LeadByteTable& leadBytes)
{
    if (folder.empty() || EndsWithBackslash(folder, leadBytes))
        return folder;
    return folder + '\\';
}

void OrderFoundEntries(std::vector<FoundEntry>& entries, long nSort, const LeadByteTable& leadBytes)
{
    if (nSort < kFileSortSizeAscending || nSort > kFileSortPathDescending)
        return;
    // Equal keys: the entry found last comes first.
    std::reverse(entries.begin(), entries.end());
    switch (nSort) {
    case kFileSortSizeAscending:
        std::stable_sort(entries.begin(), entries.end(),
                         [](const FoundEntry& x, const FoundEntry& y) { return x.size < y.size; });
        break;
    case kFileSortSizeDescending:
        std::stable_sort(entries.begin(), entries.end(),
                         [](const FoundEntry& x, const FoundEntry& y) { return x.size > y.size; });
        break;
    case kFileSortPathAscending:
        std::stable_sort(entries.begin(), entries.end(), [&](const FoundEntry& x, const FoundEntry& y) {
            return CompareMultiByte(x.path, y.path, leadBytes) < 0;
        });
        break;
    default: // kFileSortPathDescending
        std::stable_sort(entries.begin(), entries.end(), [&](const FoundEntry& x, const FoundEntry& y) {
            return CompareMultiByte(x.path, y.path, leadBytes) > 0;
        });
        break;
    }
}

} // namespace tavro
