#pragma once
// A contact's fields as the phone book table stores them: code page 1256
// text of at most the field's size in characters.
//
// Each field is made to fit, and every change is reported so that nothing
// is lost silently:
//   - line breaks and tabs become blanks; blanks at either end are dropped
//     (the table drops trailing blanks itself);
//   - a character code page 1256 has only through a fallback (Farsi yeh to
//     Arabic yeh, Persian digits to ASCII digits, ...) is written as that
//     and reported as replaced;
//   - a character it cannot hold at all becomes '?' and is reported;
//   - a text longer than the field is cut to the field's size and the part
//     cut off is reported.
// An empty field stays empty (the table stores it as null).
//
// Pure functions; any thread.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "tools/contact.h"

namespace telvora::tools {

// Sizes in characters, in ContactField order; the phone book's by default.
using ContactFieldSizes = std::array<std::size_t, kContactFieldCount>;
inline constexpr ContactFieldSizes kPhoneBookFieldSizes = {60, 70, 12, 12, 16, 65};

// One change made to fit a field.
struct FieldNote {
  int position = 0;     // the contact's line or card number
  std::string field;    // the table's field name
  std::string change;   // what was cut or replaced, in UTF-8

  // "POSITION: FIELD: CHANGE"
  std::string Text() const;
};

struct TableContact {
  std::array<std::string, kContactFieldCount> fields;  // code page 1256 bytes
  std::vector<FieldNote> notes;
};

// `position` is copied into the notes.
TableContact ContactToTableFields(const Contact& contact, int position,
                                  const ContactFieldSizes& sizes = kPhoneBookFieldSizes);

// The other way, for export: code page 1256 bytes to UTF-8, blanks at the
// ends dropped.
Contact ContactFromTableFields(const std::array<std::string, kContactFieldCount>& fields);

}  // namespace telvora::tools
