#pragma once
// TCurrentContactNumbers: what the number selection dialog needs of the
// contact list: the current contact's three numbers. The main window
// implements it over its contacts table; the dialog reads through it at
// each showing and at each press of Dial, so it always sees the record that
// is current at that moment.
//
// Values are the stored code page 1256 bytes; a field holding no value is
// std::nullopt (the null value), which is not the same as any text.
//
// Threads: GUI thread only.

#include <optional>
#include <string>
#include <string_view>

namespace telvora::app {

// The field names the phone book uses for the numbers (matched without
// regard to case by the table's field lookup).
inline constexpr char kTel1FieldName[] = "tel1";
inline constexpr char kTel2FieldName[] = "tel2";
inline constexpr char kMobileFieldName[] = "mobile";

class TCurrentContactNumbers {
 public:
  virtual ~TCurrentContactNumbers() = default;

  // The current record's field `field_name` (one of the names above);
  // std::nullopt when the field is null or there is no current record.
  virtual std::optional<std::string> FieldValue(std::string_view field_name) const = 0;
};

}  // namespace telvora::app
