#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/contact_csv.h"

namespace telvora::tools {
namespace {

Contact Make(std::string name, std::string family, std::string tel1, std::string tel2, std::string mobile,
             std::string address) {
  return Contact{{std::move(name), std::move(family), std::move(tel1), std::move(tel2), std::move(mobile),
                  std::move(address)}};
}

TEST(ContactCsvTest, RoundTripKeepsEveryFieldWhateverItHolds) {
  const std::vector<Contact> contacts = {
      Make("\u0639\u0644\u06CC", "\u0631\u0636\u0627\u06CC\u06CC", "021-5550001", "", "0912 345 6789",
           "\u062A\u0647\u0631\u0627\u0646\u060C \u062E\u06CC\u0627\u0628\u0627\u0646 \u0622\u0632\u0627\u062F\u06CC"),
      Make("Anna, Maria", "O\"Brien", "", "+98 21 5550002", "", "line one\r\nline two"),
      Make("", "", "", "", "", ""),
      Make(" padded ", "x", "1", "2", "3", "a,b\nc"),
  };
  const std::string text = WriteContactsCsv(contacts);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "Name,Family,Tel1,Tel2,Mobile,Address");
  EXPECT_NE(text.find("\"Anna, Maria\",\"O\"\"Brien\""), std::string::npos) << text;

  const std::vector<SourcedContact> read = ReadContactsCsv(text);
  ASSERT_EQ(read.size(), contacts.size());
  for (std::size_t i = 0; i < contacts.size(); ++i) EXPECT_EQ(read[i].contact, contacts[i]) << i;
  // Positions are the lines the records start on: the quoted line break of
  // the second record moves the third down.
  EXPECT_EQ(read[0].position, 2);
  EXPECT_EQ(read[1].position, 3);
  EXPECT_EQ(read[2].position, 5);
}

TEST(ContactCsvTest, HeaderInAnyOrderAndCaseWithLfLinesAndByteOrderMark) {
  const std::string text =
      "\xEF\xBB\xBF" "mobile,ADDRESS,Name,family,tel2,TEL1\n"
      "0912,Shiraz,Sara,Karimi,,071\n"
      "\n"
      "0935,\"Tabriz\",Reza,Ahmadi,041-2,041-1\n";
  const std::vector<SourcedContact> read = ReadContactsCsv(text);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].contact, Make("Sara", "Karimi", "071", "", "0912", "Shiraz"));
  EXPECT_EQ(read[1].contact, Make("Reza", "Ahmadi", "041-1", "041-2", "0935", "Tabriz"));
  EXPECT_EQ(read[1].position, 4);
}

TEST(ContactCsvTest, BadInputNamesWhatAndWhere) {
  const std::string header = "Name,Family,Tel1,Tel2,Mobile,Address\r\n";
  const struct {
    const char* what;
    std::string text;
    std::string message;
  } cases[] = {
      {"empty", "", "line 1: empty file: the header row Name,Family,Tel1,Tel2,Mobile,Address is missing"},
      {"unknown column", "Name,Family,Phone,Tel2,Mobile,Address\r\n",
       "line 1: wrong header: unknown column \"Phone\" (expected Name, Family, Tel1, Tel2, Mobile, Address)"},
      {"missing column", "Name,Family,Tel1,Tel2,Mobile\r\n", "line 1: wrong header: column \"Address\" missing"},
      {"twice", "Name,Name,Family,Tel1,Tel2,Mobile,Address\r\n", "line 1: wrong header: column \"Name\" appears twice"},
      {"data as header", "Ali,Rezaei,1,2,3,Tehran\r\n",
       "line 1: wrong header: unknown column \"Ali\" (expected Name, Family, Tel1, Tel2, Mobile, Address)"},
      {"field count", header + "a,b,c,d,e,f\r\na,b,c\r\n", "line 3: 3 fields, the header has 6"},
      {"truncated", header + "a,b,c,d,e,f\r\n\"Ali,Rez", "line 3: a quoted field is not closed before the end of the file (truncated?)"},
      {"after quote", header + "\"a\"x,b,c,d,e,f\r\n", "line 2: text after the closing quote of a field"},
      {"stray quote", header + "a\"b,b,c,d,e,f\r\n", "line 2: a quote inside an unquoted field"},
      {"binary", header + std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "line 4: a NUL byte: this is not a text file"},
      {"not utf-8", header + "a,b,c,d,e,f\r\n\xD1\xD6\xC7,b,c,d,e,f\r\n",
       "line 3: bytes that are not UTF-8 text (offset 51)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ReadContactsCsv(c.text);
      ADD_FAILURE() << "no error";
    } catch (const ContactFormatError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace telvora::tools
