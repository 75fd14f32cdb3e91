#pragma once
// Case mapping of a table's strings under its locale.
//
// Strings are single-byte text in the code page of the table's language and
// are mapped in place, byte for byte, so a key or field keeps its length.
// A byte-order table (language id 0) maps under English (United States),
// because it has no language of its own. Mapping under a locale that is not
// installed leaves the text unchanged: such a table cannot be opened, so
// only a caller's mistake gets here.
//
// Any thread may call these at any time.

#include <cstddef>
#include <string>

#include "engine/locale.h"

namespace telvora::engine {

// Maps length bytes of text in place; a zero byte is mapped like any other.
void UpperCase(const Locale& locale, char* text, std::size_t length);
void LowerCase(const Locale& locale, char* text, std::size_t length);

void UpperCase(const Locale& locale, std::string& text);
void LowerCase(const Locale& locale, std::string& text);

}  // namespace telvora::engine
