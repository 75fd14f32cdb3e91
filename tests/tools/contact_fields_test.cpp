#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/contact_fields.h"

namespace telvora::tools {
namespace {

TEST(ContactFieldsTest, EachFieldFitsAndEveryChangeIsReported) {
  const struct {
    const char* what;
    ContactField field;
    std::string input;        // UTF-8
    std::string stored;       // code page 1256
    std::vector<std::string> notes;
  } cases[] = {
      {"fits", ContactField::kTel1, "021-5550001", "021-5550001", {}},
      {"empty", ContactField::kTel2, "", "", {}},
      {"blanks at the ends", ContactField::kName, "  Sara  ", "Sara", {}},
      {"Arabic letters as they are", ContactField::kFamily, "\u0639\u0644\u0627", "\xDA\xE1\xC7", {}},
      {"Persian keh is in the page", ContactField::kName, "\u06A9", "\x98", {}},
      {"Farsi yeh through its fallback", ContactField::kName, "\u0639\u0644\u06CC", "\xDA\xE1\xED",
       {"7: Name: U+06CC \"\u06CC\" stored as \"\u064A\""}},
      {"Persian digits to ASCII", ContactField::kMobile, "\u06F0\u06F9", "09",
       {"7: Mobile: U+06F0 \"\u06F0\" stored as \"0\"", "7: Mobile: U+06F9 \"\u06F9\" stored as \"9\""}},
      {"no such character", ContactField::kName, "Ali \U0001F600", "Ali ?",
       {"7: Name: U+1F600 \"\U0001F600\" cannot be stored: replaced by '?'"}},
      {"cut to size", ContactField::kTel1, "0912345678901234", "091234567890",
       {"7: Tel1: cut to 12 characters; left out \"1234\""}},
      {"cut counts characters, not UTF-8 bytes", ContactField::kMobile,
       "\u0633\u0644\u0627\u0645 \u0633\u0644\u0627\u0645 \u0633\u0644\u0627\u0645 \u0633\u0628",
       "\xD3\xE1\xC7\xE3 \xD3\xE1\xC7\xE3 \xD3\xE1\xC7\xE3 \xD3", {"7: Mobile: cut to 16 characters; left out \"\u0628\""}},
      {"line breaks", ContactField::kAddress, "Tehran\r\nValiasr\tSt", "Tehran  Valiasr St",
       {"7: Address: line breaks and tabs replaced by blanks"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Contact contact;
    contact[c.field] = c.input;
    const TableContact table = ContactToTableFields(contact, 7);
    EXPECT_EQ(table.fields[static_cast<std::size_t>(c.field)], c.stored);
    std::vector<std::string> notes;
    for (const FieldNote& n : table.notes) notes.push_back(n.Text());
    EXPECT_EQ(notes, c.notes);
  }
}

TEST(ContactFieldsTest, GivenSizesAreUsedAndTableTextReadsBack) {
  Contact contact;
  contact[ContactField::kName] = "Abcdef";
  ContactFieldSizes sizes = kPhoneBookFieldSizes;
  sizes[static_cast<std::size_t>(ContactField::kName)] = 3;
  const TableContact table = ContactToTableFields(contact, 1, sizes);
  EXPECT_EQ(table.fields[0], "Abc");
  ASSERT_EQ(table.notes.size(), 1u);
  EXPECT_EQ(table.notes[0].field, "Name");

  const Contact back = ContactFromTableFields({"\xDA\xE1\xED ", "", "021", "", "", "  x"});
  EXPECT_EQ(back[ContactField::kName], "\u0639\u0644\u064A");
  EXPECT_EQ(back[ContactField::kTel1], "021");
  EXPECT_EQ(back[ContactField::kAddress], "x");
}

}  // namespace
}  // namespace telvora::tools
