#pragma once
// Contacts as CSV (RFC 4180): UTF-8 text, a header row naming the six
// fields, one record per contact.
//
// Reading: the header must name each of Name, Family, Tel1, Tel2, Mobile
// and Address exactly once, in any order and any letter case, and nothing
// else. Fields are separated by commas; a field in double quotes may hold
// commas, line breaks and doubled quotes. Records end with CRLF or LF; empty
// lines are skipped; a leading UTF-8 byte order mark is skipped. Each record
// must have as many fields as the header. A file that is not UTF-8 text (a
// NUL byte or a malformed sequence), a quoted field still open at the end
// (a truncated file), text after a closing quote, or a wrong header raise
// ContactFormatError naming the line.
//
// Writing: the header row in table order, then one record per contact,
// CRLF after every record; a field is quoted when it holds a comma, a
// quote, a line break or blanks at either end.
//
// Pure functions; any thread.

#include <string>
#include <string_view>
#include <vector>

#include "tools/contact.h"
#include "tools/contact_format_error.h"

namespace telvora::tools {

// The position of each contact is the line its record starts on.
std::vector<SourcedContact> ReadContactsCsv(std::string_view text);

std::string WriteContactsCsv(const std::vector<Contact>& contacts);

}  // namespace telvora::tools
