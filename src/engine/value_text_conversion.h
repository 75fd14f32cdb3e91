#pragma once
// Turning the value texts of a field descriptor (default, minimum, maximum)
// into field values in a record image.
//
// The text forms are those of the constant conversions of the expression
// language (storage/value_text.h); the keywords CURRENT_DATE, CURRENT_TIME
// and CURRENT_TIMESTAMP, in any case, give the moment of the call. A text
// that does not convert raises EValueConversionError with the conversion's
// message ("'x' is not a valid date", ...).
//
// Pure functions except for reading the clock; any thread.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/locale.h"
#include "storage/field_descriptor.h"
#include "storage/record_image.h"

namespace telvora::engine {

// The error of a value text that is not a value of its field's type.
class EValueConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The string mapping of a table's character-case option under its locale.
storage::CaseMapping MakeCaseMapping(const Locale& locale);

// Stores the value of text, converted to the field's type, in the image with
// the null flag set (a string goes through the field's case and trimming,
// so an all-blank string stays null). Types without a value form (BLOB,
// bytes and the like) and the auto-increment field are left untouched.
// Returns whether the field's type has a value form.
bool StoreValueText(const storage::TFieldDescriptor& field, std::string_view text, const Locale& locale,
                    storage::TRecordImage& image);

}  // namespace telvora::engine
