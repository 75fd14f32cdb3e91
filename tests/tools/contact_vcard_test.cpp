#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/contact_vcard.h"

namespace telvora::tools {
namespace {

Contact Make(std::string name, std::string family, std::string tel1, std::string tel2, std::string mobile,
             std::string address) {
  return Contact{{std::move(name), std::move(family), std::move(tel1), std::move(tel2), std::move(mobile),
                  std::move(address)}};
}

// As phones export them: an Android card in version 2.1 with
// quoted-printable UTF-8 and a soft line break, an iPhone card in 3.0 with
// folded lines and grouped properties, a 4.0 card with tel: URIs, and a
// card in code page 1256 named by its CHARSET.
const char* const kPhoneExport =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D8=B1=D8=B6=D8=A7=DB=8C=DB=8C;=D8=B9=D9=84=DB=8C;;;\r\n"
    "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D8=B9=D9=84=DB=8C =D8=B1=D8=B6=D8=A7=DB=8C=DB=8C\r\n"
    "TEL;CELL;PREF:0912 345 6789\r\n"
    "TEL;HOME:021-5550001\r\n"
    "TEL;WORK;FAX:021-5550002\r\n"
    "TEL;CELL:0935 000 0000\r\n"
    "ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;=D8=AE=DB=8C=D8=A7=D8=A8=D8=A7=D9=86 =D8=A2=D8=B2=D8=A7=\r\n"
    "=D8=AF=DB=8C;=D8=AA=D9=87=D8=B1=D8=A7=D9=86;;;\r\n"
    "PHOTO;ENCODING=BASE64;JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\r\n"
    " /2wBDAAMCAgICAgMCAgIDAwMDBAYEBAQEBAgGBgUGCQgKCgkICQkKDA8MCgsOCwkJDRENDg8QEBEQ\r\n"
    "\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\n"
    "VERSION:3.0\n"
    "PRODID:-//Apple Inc.//iPhone OS 17.0//EN\n"
    "N:Smith-Jones;John;Q.;Dr.;\n"
    "FN:Dr. John Q. Smith-Jones\n"
    "item1.TEL;type=VOICE;type=WORK;type=pref:+1 555 0100\n"
    "TEL;TYPE=CELL,VOICE:+1 555 0199\n"
    "TEL;TYPE=\"HOME,FAX\":+1 555 0111\n"
    "item2.ADR;type=HOME:;Apt 4;12 Long Street Name That Goes On And On\\, Rea\n"
    " r Building;Springfield;IL;62704;USA\n"
    "END:VCARD\n"
    "BEGIN:VCARD\r\n"
    "VERSION:4.0\r\n"
    "FN:\u0645\u0631\u06CC\u0645\r\n"
    "TEL;VALUE=uri;TYPE=\"cell,voice\":tel:+98-912-111-2222\r\n"
    "TEL;VALUE=uri;TYPE=home:tel:+98-21-333-4444\r\n"
    "LABEL:Line one\\nLine two\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=WINDOWS-1256:\xD1\xD6\xC7\xED\xED;\xDA\xE1\xED\r\n"
    "TEL:0311-1234567\r\n"
    "END:VCARD\r\n";

TEST(ContactVcardTest, PhoneExportLandsInTheRightFields) {
  const std::vector<SourcedContact> read = ReadContactsVcard(kPhoneExport);
  ASSERT_EQ(read.size(), 4u);

  EXPECT_EQ(read[0].contact, Make("\u0639\u0644\u06CC", "\u0631\u0636\u0627\u06CC\u06CC", "021-5550001", "021-5550002",
                                  "0912 345 6789",
                                  "\u062E\u06CC\u0627\u0628\u0627\u0646 \u0622\u0632\u0627\u062F\u06CC, "
                                  "\u062A\u0647\u0631\u0627\u0646"));
  EXPECT_EQ(read[0].position, 1);
  EXPECT_EQ(read[0].line, 1);
  ASSERT_EQ(read[0].notes.size(), 1u);
  EXPECT_EQ(read[0].notes[0], "line 8: another Mobile \"0935 000 0000\" left out");

  EXPECT_EQ(read[1].contact, Make("John Q.", "Smith-Jones", "+1 555 0100", "+1 555 0111", "+1 555 0199",
                                  "Apt 4, 12 Long Street Name That Goes On And On, Rear Building, Springfield, IL, "
                                  "62704, USA"));
  EXPECT_EQ(read[1].position, 2);
  EXPECT_EQ(read[1].line, 15);

  EXPECT_EQ(read[2].contact,
            Make("\u0645\u0631\u06CC\u0645", "", "+98-21-333-4444", "", "+98-912-111-2222", "Line one\nLine two"));
  // Code page 1256 has only the Arabic yeh (0xED).
  EXPECT_EQ(read[3].contact, Make("\u0639\u0644\u064A", "\u0631\u0636\u0627\u064A\u064A", "0311-1234567", "", "", ""));
}

TEST(ContactVcardTest, RoundTripInBothVersions) {
  const std::vector<Contact> contacts = {
      Make("\u0639\u0644\u06CC", "\u0631\u0636\u0627\u06CC\u06CC", "021-5550001", "021-5550002", "0912 345 6789",
           "\u062A\u0647\u0631\u0627\u0646\u060C \u062E\u06CC\u0627\u0628\u0627\u0646 \u0622\u0632\u0627\u062F\u06CC\u060C "
           "\u06A9\u0648\u0686\u0647 \u06F1\u06F2, \u067E\u0644\u0627\u06A9 \u06F3; \u0637\u0628\u0642\u0647 \u06F4"),
      Make("Anna; Maria", "O'Brien\\Smith", "", "", "+98 912", "multi\nline, with comma"),
      Make("OnlyName", "", "", "", "", ""),
      Make("", "OnlyFamily", "1", "", "", ""),
      // Numbers a tel: URI cannot carry as they are: a line break must not
      // start a content line of its own.
      Make("Odd", "Numbers", "021\nEND:VCARD", "1;2,3", "0912\\4", ""),
  };
  for (const VcardVersion version : {VcardVersion::k30, VcardVersion::k40}) {
    const std::string text = WriteContactsVcard(contacts, version);
    // Folded at 75 bytes: no line is longer.
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      ASSERT_NE(end, std::string::npos);
      EXPECT_LE(end - start, 75u);
      start = end + 2;
    }
    const std::vector<SourcedContact> read = ReadContactsVcard(text);
    ASSERT_EQ(read.size(), contacts.size());
    for (std::size_t i = 0; i < contacts.size(); ++i) {
      EXPECT_EQ(read[i].contact, contacts[i]) << i << "\n" << text;
      EXPECT_TRUE(read[i].notes.empty());
    }
  }
}

TEST(ContactVcardTest, BadInputNamesWhatAndWhere) {
  const struct {
    const char* what;
    std::string text;
    std::string message;
  } cases[] = {
      {"empty", "", "line 1: no BEGIN:VCARD: this is not a vCard file"},
      {"no END", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:B\r\n",
       "line 5: card 2 has no END:VCARD before the end of the file (truncated?)"},
      {"BEGIN inside", "BEGIN:VCARD\r\nFN:A\r\nBEGIN:VCARD\r\nEND:VCARD\r\n",
       "line 3: BEGIN:VCARD inside card 1 (begun on line 1), which has no END:VCARD"},
      {"END alone", "END:VCARD\r\n", "line 1: END:VCARD without BEGIN:VCARD"},
      {"CSV given", "Name,Family,Tel1,Tel2,Mobile,Address\r\n",
       "line 1: text outside BEGIN:VCARD ... END:VCARD: this is not a vCard file"},
      {"binary", std::string("BEGIN:VCARD\r\nPHOTO:\x89PNG\0\0\r\nEND:VCARD\r\n", 38),
       "line 2: a NUL byte: this is not a vCard text file"},
      {"not utf-8", "BEGIN:VCARD\r\nFN:\xD1\xD6\xC7\r\nEND:VCARD\r\n",
       "line 2: card 1, FN: the value is not UTF-8 text and names no CHARSET"},
      {"charset", "BEGIN:VCARD\r\nFN;CHARSET=KOI8-R:abc\r\nEND:VCARD\r\n", "line 2: card 1, FN: unknown CHARSET \"KOI8-R\""},
      {"no colon", "BEGIN:VCARD\r\nFN John\r\nEND:VCARD\r\n", "line 2: card 1: content line without ':'"},
      {"bad quoted-printable", "BEGIN:VCARD\r\nFN;ENCODING=QUOTED-PRINTABLE:=ZZ\r\nEND:VCARD\r\n",
       "line 2: card 1: malformed quoted-printable value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ReadContactsVcard(c.text);
      ADD_FAILURE() << "no error";
    } catch (const ContactFormatError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace telvora::tools
