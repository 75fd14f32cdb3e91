// A CSV file as the import command reads it. What is read must survive being
// written and read again unchanged.

#include <string_view>
#include <vector>

#include "fuzz_targets.h"
#include "tools/contact_csv.h"

namespace telvora::fuzz {

int FuzzContactCsv(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<tools::SourcedContact> read;
  try {
    read = tools::ReadContactsCsv(text);
  } catch (const tools::ContactFormatError&) {
    return 0;
  }
  std::vector<tools::Contact> contacts;
  for (const tools::SourcedContact& c : read) contacts.push_back(c.contact);
  std::vector<tools::SourcedContact> again;
  try {
    again = tools::ReadContactsCsv(tools::WriteContactsCsv(contacts));
  } catch (const tools::ContactFormatError&) {
    FuzzCheckFailed("contact_csv", "contacts written do not read back");
  }
  if (again.size() != contacts.size()) FuzzCheckFailed("contact_csv", "the contact count changed on writing");
  for (std::size_t i = 0; i < again.size(); ++i) {
    if (!(again[i].contact == contacts[i])) FuzzCheckFailed("contact_csv", "a contact changed on writing");
  }
  return 0;
}

}  // namespace telvora::fuzz
