// A vCard file as the import command reads it. The contacts it gives must be
// written in both versions without failing.

#include <string_view>
#include <vector>

#include "fuzz_targets.h"
#include "tools/contact_vcard.h"

namespace telvora::fuzz {

int FuzzContactVcard(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<tools::SourcedContact> read;
  try {
    read = tools::ReadContactsVcard(text);
  } catch (const tools::ContactFormatError&) {
    return 0;
  }
  std::vector<tools::Contact> contacts;
  for (const tools::SourcedContact& c : read) contacts.push_back(c.contact);
  for (const tools::VcardVersion version : {tools::VcardVersion::k30, tools::VcardVersion::k40}) {
    try {
      const std::vector<tools::SourcedContact> again = tools::ReadContactsVcard(tools::WriteContactsVcard(contacts, version));
      if (again.size() != contacts.size()) FuzzCheckFailed("contact_vcard", "the contact count changed on writing");
    } catch (const tools::ContactFormatError&) {
      FuzzCheckFailed("contact_vcard", "contacts written do not read back");
    }
  }
  return 0;
}

}  // namespace telvora::fuzz
