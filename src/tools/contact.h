#pragma once
// One phone book contact as the import and export codecs carry it: the six
// fields of the phone book's table, as UTF-8 text, and where the contact
// came from in its source (a CSV line or a vCard's number) so that reports
// can point at it.
//
// A value type; any thread.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace telvora::tools {

// The fields in the phone book table's order.
enum class ContactField { kName, kFamily, kTel1, kTel2, kMobile, kAddress };
inline constexpr std::size_t kContactFieldCount = 6;

// The table's field names, in ContactField order.
inline constexpr std::array<std::string_view, kContactFieldCount> kContactFieldNames = {
    "Name", "Family", "Tel1", "Tel2", "Mobile", "Address"};

struct Contact {
  std::array<std::string, kContactFieldCount> fields;

  std::string& operator[](ContactField f) { return fields[static_cast<std::size_t>(f)]; }
  const std::string& operator[](ContactField f) const { return fields[static_cast<std::size_t>(f)]; }
  friend bool operator==(const Contact&, const Contact&) = default;
};

// A contact read from a file: its place there (the line its CSV record
// starts on, or the vCard's number counted from 1) and what the reader had
// to leave out of it.
struct SourcedContact {
  Contact contact;
  int position = 0;
  int line = 0;                     // the line the contact starts on
  std::vector<std::string> notes;  // e.g. a second mobile number dropped
};

}  // namespace telvora::tools
