// telvora-db import and export: contacts reach the phone book's fields from
// a phone's vCard export, survive a round trip through both formats, and a
// file that is bad, a strict import that would cut values, or a post the
// engine refuses all leave the table's files byte for byte as they were.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_tool_runner.h"

namespace telvora::tools {
namespace {

using nlohmann::json;
using testing::DumpedFields;
using testing::Outcome;
using testing::RunTool;
using testing::WriteFile;

// A phone's export: several TEL types (and a second cell number that has no
// field), a folded address, a quoted-printable UTF-8 name, Persian and
// Latin cards.
constexpr char kPhoneExport[] =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D8=B1=D8=B6=D8=A7=DB=8C=DB=8C;=D8=B9=D9=84=DB=8C;;;\r\n"
    "TEL;CELL:0912 111 2233\r\n"
    "TEL;HOME;VOICE:021-88776655\r\n"
    "TEL;CELL:0935 000 0000\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:Smith;Anna;;;\r\n"
    "FN:Anna Smith\r\n"
    "TEL;TYPE=WORK,VOICE:+44 20 7946 0000\r\n"
    "TEL;TYPE=FAX:+44 20 7946 0001\r\n"
    "ADR;TYPE=HOME:;;12 Long\r\n"
    "  Street;London;;N1 9GU;UK\r\n"
    "END:VCARD\r\n";

class ContactImportExportTest : public ::testing::Test {
 protected:
  // A fresh phone book table in its own folder; returns its TABLE argument.
  std::string NewPhoneBook(const std::string& folder) {
    std::filesystem::create_directories(dir_ / folder);
    const Outcome made = RunTool({"create-phonebook", (dir_ / folder).string()});
    EXPECT_EQ(made.status, 0) << made.err;
    return (dir_ / folder / "PhoneBook").string();
  }
  std::vector<std::vector<char>> Bytes(const std::string& folder) {
    return telvora::testing::TableFileBytes(dir_ / folder, "PhoneBook");
  }

  telvora::testing::TempDir dir_;
};

TEST_F(ContactImportExportTest, APhonesVcardLandsInTheRightFieldsAndSurvivesBothFormats) {
  const std::string table = NewPhoneBook("a");
  const Outcome imported = RunTool({"import", table, WriteFile(dir_ / "phone.vcf", kPhoneExport)});
  ASSERT_EQ(imported.status, 0) << imported.err;
  // The dropped second cell number is reported with its card.
  EXPECT_NE(imported.out.find("card 1: "), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("imported 2 contact(s)"), std::string::npos) << imported.out;

  const std::vector<json> fields = DumpedFields(table);
  ASSERT_EQ(fields.size(), 2u);
  // Farsi yeh (U+06CC) is stored as Arabic yeh (U+064A), as code page 1256 holds it.
  EXPECT_EQ(fields[0], (json{{"Name", "علي"},
                             {"Family", "رضايي"},
                             {"Tel1", "021-88776655"},
                             {"Tel2", nullptr},
                             {"Mobile", "0912 111 2233"},
                             {"Address", nullptr}}));
  EXPECT_EQ(fields[1], (json{{"Name", "Anna"},
                             {"Family", "Smith"},
                             {"Tel1", "+44 20 7946"},  // 12 characters: the rest is cut and reported
                             {"Tel2", "+44 20 7946"},
                             {"Mobile", nullptr},
                             {"Address", "12 Long Street, London, N1 9GU, UK"}}));
  EXPECT_NE(imported.out.find("card 2: Tel1: "), std::string::npos) << imported.out;
  EXPECT_TABLE_SOUND(dir_ / "a" / "PhoneBook");

  // Exported and imported again, in each format, into a fresh table.
  for (const char* format : {"csv", "vcard"}) {
    SCOPED_TRACE(format);
    const std::string out = (dir_ / (std::string("export.") + format)).string();
    const Outcome exported = RunTool({"export", table, "--format", format, "--out", out});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string copy = NewPhoneBook(std::string("copy-") + format);
    const Outcome again = RunTool({"import", copy, out, "--format", format, "--strict"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(DumpedFields(copy), fields);
    EXPECT_TABLE_SOUND(dir_ / (std::string("copy-") + format) / "PhoneBook");
  }
}

TEST_F(ContactImportExportTest, RefusedImportsLeaveTheTableAsItWas) {
  const std::string table = NewPhoneBook("t");
  ASSERT_EQ(RunTool({"import", table, WriteFile(dir_ / "one.csv", "Name,Family,Tel1,Tel2,Mobile,Address\r\n"
                                                                  "Ali,Rezaei,021,,,\r\n")})
                .status,
            0);
  const auto before = Bytes("t");

  struct Case {
    const char* name;
    const char* file;
    std::string text;
    std::vector<std::string> options;
    const char* message;
  };
  const Case cases[] = {
      {"truncated csv", "cut.csv", "Name,Family,Tel1,Tel2,Mobile,Address\r\nAli,\"Reza", {}, "line 2"},
      {"binary file", "photo.csv", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), {}, "NUL byte"},
      {"wrong header", "bad.csv", "First,Last,Phone\r\nAli,Rezaei,021\r\n", {}, "line 1"},
      {"vcard without END", "cut.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;Anna;;;\r\n", {}, "END"},
      {"strict overflow", "long.csv",
       "Name,Family,Tel1,Tel2,Mobile,Address\r\nBob,,0123456789012345,,,\r\n", {"--strict"},
       "nothing imported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"import", table, WriteFile(dir_ / c.file, c.text)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = RunTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("telvora-db: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Bytes("t"), before);
  }
  // The strict refusal said which value would have been cut.
  const Outcome strict = RunTool({"import", table, (dir_ / "long.csv").string(), "--strict"});
  EXPECT_NE(strict.out.find("line 2: Tel1: "), std::string::npos) << strict.out;
  EXPECT_TABLE_SOUND(dir_ / "t" / "PhoneBook");
}

TEST_F(ContactImportExportTest, APostTheEngineRefusesRollsBackTheWholeImport) {
  // A contacts table whose names are unique: the third contact repeats the
  // first, after two records have been posted in the transaction.
  const json schema = {{"language", 0x0429},
                       {"fields",
                        {{{"name", "Name"}, {"type", "string"}, {"size", 20}},
                         {{"name", "Family"}, {"type", "string"}, {"size", 20}},
                         {{"name", "Tel1"}, {"type", "string"}, {"size", 12}},
                         {{"name", "Tel2"}, {"type", "string"}, {"size", 12}},
                         {{"name", "Mobile"}, {"type", "string"}, {"size", 16}},
                         {{"name", "Address"}, {"type", "string"}, {"size", 40}}}},
                       {"indexes", {{{"name", "ByName"}, {"fields", {"Name"}}, {"unique", true}}}}};
  std::filesystem::create_directories(dir_ / "u");
  const std::string table = (dir_ / "u" / "PhoneBook").string();
  ASSERT_EQ(RunTool({"create", table, "--schema", WriteFile(dir_ / "schema.json", schema.dump())}).status, 0);
  ASSERT_EQ(RunTool({"import", table, WriteFile(dir_ / "first.csv", "Name,Family,Tel1,Tel2,Mobile,Address\r\n"
                                                                    "Zed,,1,,,\r\n")})
                .status,
            0);
  const auto before = Bytes("u");

  const Outcome r = RunTool({"import", table, WriteFile(dir_ / "dup.csv", "Name,Family,Tel1,Tel2,Mobile,Address\r\n"
                                                                          "Ali,,1,,,\r\nBob,,2,,,\r\nAli,,3,,,\r\n")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Vora Engine Error # 9729"), std::string::npos) << r.err;
  EXPECT_EQ(Bytes("u"), before);
  EXPECT_EQ(DumpedFields(table).size(), 1u);
  EXPECT_TABLE_SOUND(dir_ / "u" / "PhoneBook");
}

TEST_F(ContactImportExportTest, ATableWithoutTheContactFieldsIsRefused) {
  const json schema = {{"fields", {{{"name", "Name"}, {"type", "string"}, {"size", 20}}}}};
  const std::string table = (dir_ / "Other").string();
  ASSERT_EQ(RunTool({"create", table, "--schema", WriteFile(dir_ / "schema.json", schema.dump())}).status, 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"export", table, "--format", "csv"},
        {"import", table, WriteFile(dir_ / "c.csv", "Name,Family,Tel1,Tel2,Mobile,Address\r\nA,,,,,\r\n")}}) {
    const Outcome r = RunTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no field 'Family'"), std::string::npos) << r.err;
  }
  EXPECT_EQ(RunTool({"export", table, "--format", "xml"}).status, 2);
}

}  // namespace
}  // namespace telvora::tools
