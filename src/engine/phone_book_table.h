#pragma once
// The phone book's own table, PhoneBook: the description it is created
// from, kept in one place for the companion tool and for the program that
// creates the table when it is missing.
//
// Six string fields in the data module's order and sizes (Name 60, Family
// 70, Tel1 12, Tel2 12, Mobile 16, Address 65), Farsi (language 0x0429, so
// text is stored in code page 1256 and sorts under Farsi collation), no
// primary key, so the table's own order is the order of entry (the grid
// shows contacts as they were added and a new one at the end), and one
// non-unique index on each field the contact search filters on (Name,
// Family, Tel1, Mobile, Address), which the filters use instead of testing
// every record.
//
// Pure data; any thread.
#include <cstdint>
#include <string_view>

#include "engine/table_creation_checks.h"

namespace telvora::engine {

inline constexpr std::string_view kPhoneBookTableName = "PhoneBook";
inline constexpr std::uint16_t kPhoneBookLanguageId = 0x0429;  // Farsi

TTableDescription PhoneBookTableDescription();

}  // namespace telvora::engine
