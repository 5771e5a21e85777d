// Result order of MidiTools.FileFind: size and path orders over the entries
// in the order the folder walk found them, plus the path helpers it needs.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavro {

// Sort modes (nSort); any other value keeps the order of discovery.
constexpr long kFileSortSizeAscending = 2;
constexpr long kFileSortSizeDescending = 3;
constexpr long kFileSortPathAscending = 4;
constexpr long kFileSortPathDescending = 5;

// Dispatch error code when the result VARIANT cannot be cleared.
constexpr long kFileFindErrorCode = 1000;

// One listed file or folder.
struct FoundEntry {
    std::string path; // the folder text as searched plus the entry's name
    uint64_t size = 0;
};

// Bytes that start a double-byte character in the ANSI code page; all
// false for a single-byte code page (the default).
using LeadByteTable = std::array<bool, 256>;

// Size of an entry from the two 32-bit halves the system reports.
inline uint64_t CombineFileSize(uint32_t sizeHigh, uint32_t sizeLow)
{
    return (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
}

// Compares two paths by characters of the code page: a lead byte and the
// byte after it form one character valued lead * 256 + trail, any other byte
// is a character of its own value; a lead byte at the very end ends the text.
// Negative, zero or positive like strcmp.
int CompareMultiByte(const std::string& a, const std::string& b, const LeadByteTable& leadBytes);

// True when the text ends with a backslash character (not with the trail
// byte 0x5C of a double-byte character).
bool EndsWithBackslash(const std::string& text, const LeadByteTable& leadBytes);

// The folder to search: unchanged when empty or already ending in a
// backslash, otherwise with one appended.
std::string FolderWithBackslash(const std::string& folder, const LeadByteTable& leadBytes);

// Puts the entries, given in discovery order, into result order for nSort.
// Entries of equal sort key end up with the one found last first.
// O(n log n) comparisons.
void OrderFoundEntries(std::vector<FoundEntry>& entries, long nSort, const LeadByteTable& leadBytes);

// A table with no lead bytes (single-byte code pages).
const LeadByteTable& SingleByteCodePage();

} // namespace tavro
