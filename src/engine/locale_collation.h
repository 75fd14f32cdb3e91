#pragma once
// String and character comparison under a table's locale.
//
// Under a real locale the comparison is the platform's CompareStringA with
// string sort and non-spacing characters ignored: punctuation and spaces
// count, accents and the vowel marks of Arabic script do not. Under the byte
// order (language id 0) strings compare as unsigned bytes.
//
// Strings are single-byte text in the code page of the table's language; a
// zero byte ends a string even within a count, because what follows it in
// a field or key is padding. Results are -1, 0 or 1.
//
// Should the platform refuse the locale (it is not installed, which opening
// a table already rules out), the strings compare as unsigned bytes rather
// than giving an answer that breaks the order of an index.
//
// Any thread may call these at any time.

#include "engine/locale.h"

namespace telvora::engine {

// Compares s1 with s2. count 0 compares the whole strings; a positive count
// compares at most that many bytes of each. case_insensitive ignores case:
// under a locale through the platform's flag, under the byte order by
// upper-casing copies of both under English (United States) first.
// REQUIRES: s1 and s2 are zero-terminated or at least count bytes long;
// count >= 0.
int CompareStrings(const Locale& locale, const char* s1, const char* s2, bool case_insensitive,
                   int count = 0);

// Compares two characters: under a locale case-sensitively, ignoring
// non-spacing marks; under the byte order as unsigned bytes after
// upper-casing both, so that the byte order's character matching ignores
// case.
int CompareCharacters(const Locale& locale, char c1, char c2);

}  // namespace telvora::engine
