#pragma once
// Contacts into and out of a table through its table component.
//
// The table must have the six phone book fields (Name, Family, Tel1, Tel2,
// Mobile, Address) as strings; their sizes come from the table, so a table
// with longer fields takes longer values.
//
// Importing is all or nothing: every contact is first made to fit its
// fields (contact_fields.h), then the records are appended inside one
// transaction of the table's database, which is rolled back when any post
// fails, so a failed import leaves the files as they were.
//
// Used by the component's thread.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/vora_table.h"
#include "tools/contact.h"
#include "tools/contact_fields.h"

namespace telvora::tools {

// What an import has to say about each contact it changed: the readers'
// notes and every value cut or replaced to fit, one line each, starting
// with the contact's place ("line 4" or "card 2").
struct ImportReport {
  std::vector<std::string> lines;
};

// Called as records are appended: done of total.
using ImportProgress = std::function<void(std::size_t done, std::size_t total)>;

// A strict import that would have changed values: nothing was written.
class StrictImportRefused : public std::runtime_error {
 public:
  explicit StrictImportRefused(std::size_t changed)
      : std::runtime_error(std::to_string(changed) +
                           " value(s) would be cut or replaced; nothing imported (see the report)") {}
};

// The table's sizes of the six fields; a std::runtime_error naming the
// first field that is missing or not a string.
ContactFieldSizes ContactFieldSizesOf(dataset::TVoraTable& table);

// place_word: "line" for CSV, "card" for vCard. With strict, any change
// raises StrictImportRefused before the first record is written (the report
// is filled either way). Returns the number of records appended.
std::size_t ImportContacts(dataset::TVoraTable& table, const std::vector<SourcedContact>& contacts,
                           const std::string& place_word, bool strict, ImportReport& report,
                           const ImportProgress& progress = {});

// Every record of the table in its current order, as UTF-8 contacts.
std::vector<Contact> ExportContacts(dataset::TVoraTable& table);

}  // namespace telvora::tools
