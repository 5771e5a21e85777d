// Whole-text wildcard matching shared by port search and IsLike.
#pragma once

namespace tavro {

// Case-sensitive byte-wise match of a NUL-terminated text against a pattern
// where "*" matches any run (also empty) and "?" exactly one byte. No escapes,
// no classes. Single backtrack point: time O(len(text) * len(pattern)), no
// allocation.
bool WildcardMatch(const char* text, const char* pattern);

} // namespace tavro
