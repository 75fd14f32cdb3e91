#include "tools/contact_table_io.h"

#include <array>

#include "dataset/field.h"
#include "dataset/vora_database.h"

namespace telvora::tools {
namespace {

using dataset::TField;
using dataset::TFieldType;

std::array<TField*, kContactFieldCount> ContactFieldsOf(dataset::TVoraTable& table) {
  std::array<TField*, kContactFieldCount> fields{};
  for (std::size_t f = 0; f < kContactFieldCount; ++f) {
    const std::string name(kContactFieldNames[f]);
    TField* field = table.FindField(name);
    if (field == nullptr) throw std::runtime_error("the table has no field '" + name + "' for contacts");
    if (field->DataType() != TFieldType::ftString && field->DataType() != TFieldType::ftFixedChar) {
      throw std::runtime_error("the table's field '" + name + "' is not a string field");
    }
    fields[f] = field;
  }
  return fields;
}

}  // namespace

ContactFieldSizes ContactFieldSizesOf(dataset::TVoraTable& table) {
  ContactFieldSizes sizes{};
  const auto fields = ContactFieldsOf(table);
  for (std::size_t f = 0; f < kContactFieldCount; ++f) sizes[f] = static_cast<std::size_t>(fields[f]->Size());
  return sizes;
}

std::size_t ImportContacts(dataset::TVoraTable& table, const std::vector<SourcedContact>& contacts,
                           const std::string& place_word, bool strict, ImportReport& report,
                           const ImportProgress& progress) {
  const auto fields = ContactFieldsOf(table);
  const ContactFieldSizes sizes = ContactFieldSizesOf(table);

  // Every contact is converted before anything is written, so that a strict
  // import can refuse with the whole report and write nothing.
  std::vector<TableContact> rows;
  rows.reserve(contacts.size());
  std::size_t changed = 0;
  for (const SourcedContact& source : contacts) {
    const std::string place = place_word + " " + std::to_string(source.position);
    for (const std::string& note : source.notes) report.lines.push_back(place + ": " + note);
    rows.push_back(ContactToTableFields(source.contact, source.position, sizes));
    for (const FieldNote& note : rows.back().notes) {
      report.lines.push_back(place + ": " + note.field + ": " + note.change);
      ++changed;
    }
  }
  if (strict && changed > 0) throw StrictImportRefused(changed);

  // One transaction: the records reach the files together at the commit, or
  // not at all.
  dataset::TVoraDatabase& database = *table.Database();
  database.StartTransaction();
  try {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      table.Append();
      for (std::size_t f = 0; f < kContactFieldCount; ++f) {
        if (rows[i].fields[f].empty()) {
          fields[f]->Clear();
        } else {
          fields[f]->SetAsString(rows[i].fields[f]);
        }
      }
      table.Post();
      if (progress) progress(i + 1, rows.size());
    }
    database.Commit();
  } catch (...) {
    if (table.State() != dataset::TDataSetState::Browsing) table.Cancel();
    database.Rollback();
    throw;
  }
  return rows.size();
}

std::vector<Contact> ExportContacts(dataset::TVoraTable& table) {
  const auto fields = ContactFieldsOf(table);
  std::vector<Contact> contacts;
  table.First();
  while (!table.Eof()) {
    std::array<std::string, kContactFieldCount> values;
    for (std::size_t f = 0; f < kContactFieldCount; ++f) values[f] = fields[f]->AsString();
    contacts.push_back(ContactFromTableFields(values));
    table.Next();
  }
  return contacts;
}

}  // namespace telvora::tools
