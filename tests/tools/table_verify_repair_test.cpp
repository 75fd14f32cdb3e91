// verify and repair on tables written record by record through the data
// file and the index trees, then damaged on disk in the ways a crash or a
// faulty program damages them. verify must agree with the independent table
// checker on every table; repair must leave a table both accept, with every
// active record and its values still there.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_creation_checks.h"
#include "storage/blob_block_header.h"
#include "storage/blob_chain.h"
#include "storage/byte_image.h"
#include "storage/data_file_header.h"
#include "storage/field_descriptor.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/page_image.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"
#include "storage/text_index_parameters.h"
#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_tool.h"
#include "tools/tool_table.h"

namespace telvora::tools {
namespace {

namespace fs = std::filesystem;
using Records = std::map<std::int32_t, std::vector<std::string>>;  // slot -> Name, Family, Tel

constexpr int kRecordCount = 300;  // enough for two-level trees in both indexes
constexpr std::uint16_t kFarsi = 0x0429;
// ByFamily: flag byte + 71 value bytes + the record-id suffix.
constexpr std::size_t kFamilyKeyLength = 72 + 4;
// A branch entry of ByFamily: key, child page, subtree count.
constexpr std::size_t kFamilyBranchEntry = kFamilyKeyLength + storage::kEntryPointerLength + storage::kEntryCountLength;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunDbTool(args, out, err);
  return {status, out.str(), err.str()};
}

storage::TIndexDescriptor Index(const char* name, std::uint16_t field, std::int16_t key_length, bool unique,
                                storage::KeyCompression compression) {
  storage::TIndexDescriptor d;
  d.SetName(name);
  d.SetKeyFieldCount(1);
  d.SetKeyFieldNumber(0, field);
  d.SetKeyLength(key_length);
  d.SetUnique(unique);
  d.SetCompression(compression);
  return d;
}

// The table opened exclusively through the engine, as a cursor opens it.
class OpenedTable {
 public:
  explicit OpenedTable(const fs::path& folder) {
    directory_ = &session_.OpenDirectory("", folder.string() + "/");
    table_ = &directory_->OpenTableForCursor("Contacts", {.exclusive = true});
  }
  ~OpenedTable() {
    directory_->CloseTable(*table_);
    session_.CloseDirectory(*directory_);
  }
  storage::TDataTable& table() { return *table_; }

 private:
  engine::TDataSession session_;
  engine::TDataDirectory* directory_ = nullptr;
  storage::TDataTable* table_ = nullptr;
};

std::string Name(int i) { return "Name" + std::to_string(1000 + i); }
// Families repeat, so the non-unique index holds equal values ordered by id.
std::string Family(int i) { return i % 7 == 0 ? "\xD1\xD6\xC7\xED\xED" : "Family" + std::to_string(i % 40); }
std::string Tel(int i) { return i % 5 == 0 ? "" : "021" + std::to_string(5550000 + i); }

class VerifyRepairTest : public ::testing::Test {
 public:  // the damage table reaches the files through these
  void SetUp() override {
    CreateContacts();
    WriteRecords();
    ASSERT_TRUE(testing::TableIsSound(table_path()));
  }

  fs::path table_path() const { return dir_ / "Contacts"; }
  fs::path file(const char* extension) const { return dir_ / (std::string("Contacts") + extension); }

  void CreateContacts() {
    engine::TDataSession session;
    engine::TDataDirectory& directory = session.OpenDirectory("", dir_.path().string() + "/");
    engine::TTableDefinition def;
    def.creation.language_id = kFarsi;
    def.fields = storage::testing::MakeDescriptors({{"Name", storage::kTypeString, 0, 60, 0},
                                                    {"Family", storage::kTypeString, 0, 70, 0},
                                                    {"Tel1", storage::kTypeString, 0, 12, 0}});
    def.primary = Index("", 1, 62, true, storage::KeyCompression::Both);
    def.secondary = {Index("ByFamily", 2, kFamilyKeyLength, false, storage::KeyCompression::None)};
    directory.CreateTable("Contacts", def, false, false);
    session.CloseDirectory(directory);
  }

  // Adds or removes a record's keys in every index, as the editing code
  // does: the primary, the secondary and the record-id index.
  static void Keys(storage::TDataTable& table, std::int32_t n, std::span<std::uint8_t> image, bool add) {
    const storage::TRecordImage record(image);
    for (int slot : {0, 1}) {
      const auto definition = table.IndexKey(slot);
      const auto key = storage::BuildKey(definition, record, table.KeyOrder(definition).upper_case);
      storage::TIndexTree tree = table.IndexTree(slot);
      if (add) {
        tree.AddKey(key.data(), n);
      } else {
        ASSERT_TRUE(tree.DeleteKey(key.data()));
      }
    }
  }

  void WriteRecords() {
    OpenedTable opened(dir_.path());
    storage::TDataTable& table = opened.table();
    storage::TDataFile& data = table.data_file();
    std::vector<storage::TFieldLayout> layouts;
    for (const auto& d : data.Descriptors()) layouts.push_back(storage::TFieldLayout::Of(d));
    storage::TIndexTree record_ids = table.IndexTree(storage::kRecordIdIndexSlot);
    for (int i = 1; i <= kRecordCount; ++i) {
      storage::TRecord* record = data.NewRecordSlot();
      ASSERT_NE(record, nullptr);
      const std::int32_t n = record->RecordNumber();
      record->SetAutoIncWord(data.NextAutoIncValue());
      storage::TRecordImage image(record->MutableImage());
      image.SetString(layouts[0], Name(i), {});
      image.SetString(layouts[1], Family(i), {});
      image.SetString(layouts[2], Tel(i), {});
      record->SetModified(true);
      Keys(table, n, record->MutableImage(), true);
      record_ids.AddKey(storage::RecordIdIndexKey(false, record->AutoIncWord()).data(), n);
      table.index_file().IncrementActiveRecordCount();
      expected_[n] = {Name(i), Family(i), Tel(i)};
      data.ReleaseRecord(record);
    }
    // Some deletes, so that the deleted-record chain and the free pages of
    // the trees have members.
    for (std::int32_t n = 3; n <= kRecordCount; n += 11) {
      storage::TRecord* record = data.GetRecord(n);
      ASSERT_NE(record, nullptr);
      Keys(table, n, record->MutableImage(), false);
      const std::int32_t id = record->AutoIncWord();
      ASSERT_TRUE(record_ids.DeleteKey(storage::RecordIdIndexKey(false, id).data()));
      record_ids.AddKey(storage::RecordIdIndexKey(true, id).data(), n);
      data.DeleteRecord(record);
      table.index_file().DecrementActiveRecordCount();
      expected_.erase(n);
      data.ReleaseRecord(record);
    }
    table.Flush({.trim = true, .force_data_header = true, .force_index_header = true});
  }

  Records ReadRecords() {
    OpenedTable opened(dir_.path());
    storage::TDataFile& data = opened.table().data_file();
    std::vector<storage::TFieldLayout> layouts;
    for (const auto& d : data.Descriptors()) layouts.push_back(storage::TFieldLayout::Of(d));
    Records records;
    for (std::int32_t n = 1; n <= data.PhysicalRecordCount(); ++n) {
      storage::TRecord* record = data.GetRecord(n);
      std::vector<std::uint8_t> copy(record->Image().begin(), record->Image().end());
      data.ReleaseRecord(record);
      const storage::TRecordImage image(copy);
      if (image.Deleted()) continue;
      records[n] = {image.GetString(layouts[0]), image.GetString(layouts[1]), image.GetString(layouts[2])};
    }
    return records;
  }

  // The root page of an index slot, read from the index file header.
  std::int32_t RootPage(int slot) {
    return Load<std::int32_t>(file(".IDX"), storage::TIndexFileHeader::kDescriptorsOffset +
                                                storage::kIndexDescriptorSize * static_cast<std::size_t>(slot) +
                                                storage::TIndexDescriptor::kRootPageOffset);
  }

  template <typename T>
  static T Load(const fs::path& path, std::uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::array<std::uint8_t, sizeof(T)> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    return storage::LoadLittle<T>(bytes, 0);
  }

  template <typename T>
  static void Store(const fs::path& path, std::uint64_t offset, T value) {
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    std::array<std::uint8_t, sizeof(T)> bytes{};
    storage::StoreLittle<T>(bytes, 0, value);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  testing::TempDir dir_;
  Records expected_;
};

TEST_F(VerifyRepairTest, SoundTablePassesVerifyAndRepairChangesNoRecord) {
  Outcome verify = RunTool({"verify", table_path().string()});
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  EXPECT_EQ(verify.out, "");
  EXPECT_EQ(ReadRecords(), expected_);

  Outcome repair = RunTool({"repair", table_path().string()});
  EXPECT_EQ(repair.status, 0) << repair.out << repair.err;
  EXPECT_EQ(repair.out.find("found: "), std::string::npos) << repair.out;
  EXPECT_NE(repair.out.find("result: sound"), std::string::npos) << repair.out;
  for (const char* backup : {".DAT.bak", ".IDX.bak"}) EXPECT_TRUE(fs::exists(file(backup))) << backup;
  EXPECT_TABLE_SOUND(table_path());
  EXPECT_EQ(ReadRecords(), expected_);

  // A second repair keeps the first backups and takes the next names.
  EXPECT_EQ(RunTool({"repair", table_path().string()}).status, 0);
  EXPECT_TRUE(fs::exists(file(".DAT.bak2")));
}

struct Damage {
  const char* name;
  const char* expected;  // a piece of the problem verify reports
  std::function<void(VerifyRepairTest&)> apply;
};

class DamageTest : public VerifyRepairTest, public ::testing::WithParamInterface<int> {
 protected:
  static std::vector<Damage> Damages();
};

std::vector<Damage> DamageTest::Damages() {
  return {
      {"index file dropped", "index file missing",
       [](VerifyRepairTest& t) { fs::remove(t.file(".IDX")); }},
      {"leaf page broken", "ByFamily",
       [](VerifyRepairTest& t) {
         // The second child of the secondary index's root: a leaf whose
         // entries are overwritten with a pattern.
         const std::int32_t root = t.RootPage(1);
         const std::uint64_t entry = root * storage::kIndexPageSize + storage::kPageHeaderSize + kFamilyBranchEntry;
         const auto child = Load<std::int32_t>(t.file(".IDX"), entry + kFamilyKeyLength);
         for (std::uint64_t at = storage::kPageHeaderSize + 27; at < 400; at += 4) {
           Store<std::uint32_t>(t.file(".IDX"), child * storage::kIndexPageSize + at, 0xA5A5A5A5u);
         }
       }},
      {"subtree count corrupt", "subtree count",
       [](VerifyRepairTest& t) {
         const std::int32_t root = t.RootPage(1);
         const std::uint64_t count = root * storage::kIndexPageSize + storage::kPageHeaderSize + kFamilyKeyLength +
                                     storage::kEntryPointerLength;
         Store<std::int32_t>(t.file(".IDX"), count, Load<std::int32_t>(t.file(".IDX"), count) + 1);
       }},
      {"active-record count corrupt", "active-record count",
       [](VerifyRepairTest& t) {
         const std::uint64_t at = storage::TIndexFileHeader::kActiveRecordsOffset;
         Store<std::int32_t>(t.file(".IDX"), at, Load<std::int32_t>(t.file(".IDX"), at) - 2);
       }},
      {"deleted-record chain cut", "deleted-record chain",
       [](VerifyRepairTest& t) { Store<std::int32_t>(t.file(".DAT"), storage::TDataFileHeader::kDeletedHeadOffset, 0); }},
      {"record id duplicated", "record id",
       [](VerifyRepairTest& t) {
         // Slot 2 takes slot 1's record id (the keys of slot 2 then disagree too).
         const std::uint64_t slots = storage::kDataFileHeaderSize + 3 * storage::kFieldDescriptorSize;
         const std::uint64_t size = Load<std::uint16_t>(t.file(".DAT"), storage::TDataFileHeader::kRecordSizeOffset);
         const auto id = Load<std::int32_t>(t.file(".DAT"), slots + storage::TRecordImage::kRecordIdOffset);
         Store<std::int32_t>(t.file(".DAT"), slots + size + storage::TRecordImage::kRecordIdOffset, id);
       }},
  };
}

TEST_P(DamageTest, VerifyAgreesWithTheCheckerAndRepairRestoresTheTable) {
  const Damage damage = Damages()[static_cast<std::size_t>(GetParam())];
  SCOPED_TRACE(damage.name);
  damage.apply(*this);
  EXPECT_EQ(testing::RunTableCheck(table_path()).exit_code, 1) << "the checker accepts the damaged table";

  Outcome verify = RunTool({"verify", table_path().string()});
  EXPECT_EQ(verify.status, 1) << verify.out << verify.err;
  EXPECT_NE(verify.out.find(damage.expected), std::string::npos) << verify.out;
  EXPECT_EQ(verify.err, "");
  // verify changes nothing: the damage is still there.
  EXPECT_EQ(RunTool({"verify", table_path().string()}).out, verify.out);

  Outcome repair = RunTool({"repair", table_path().string()});
  EXPECT_EQ(repair.status, 0) << repair.out << repair.err;
  EXPECT_NE(repair.out.find("changed: "), std::string::npos) << repair.out;
  EXPECT_NE(repair.out.find("result: sound"), std::string::npos) << repair.out;
  EXPECT_TABLE_SOUND(table_path());
  Outcome after = RunTool({"verify", table_path().string()});
  EXPECT_EQ(after.status, 0) << after.out << after.err;

  // Every active record is there with its values; record ids may have been
  // renumbered, slots and values never.
  EXPECT_EQ(ReadRecords(), expected_);
}

INSTANTIATE_TEST_SUITE_P(Damages, DamageTest, ::testing::Range(0, 6));

TEST_F(VerifyRepairTest, RepairCutsADataFileBackToTheRecordsItsHeaderCounts) {
  // Records reach the file before the header's count does: a writer killed
  // in between leaves part of a record, or a whole one, beyond the count.
  // The engine refuses such a file; repair cuts the uncounted tail (an
  // insert that never returned) and keeps every counted record.
  const auto original_size = fs::file_size(file(".DAT"));
  const auto record_size = Load<std::uint16_t>(file(".DAT"), storage::TDataFileHeader::kRecordSizeOffset);
  for (const std::size_t extra : {std::size_t{1}, std::size_t{record_size}, std::size_t{record_size} + 7}) {
    SCOPED_TRACE(extra);
    fs::remove(file(".DAT.bak"));
    fs::remove(file(".DAT.bak2"));
    fs::remove(file(".IDX.bak"));
    {
      std::ofstream data(file(".DAT"), std::ios::binary | std::ios::app);
      for (std::size_t i = 0; i < extra; ++i) data.put('\x01');
    }
    EXPECT_EQ(testing::RunTableCheck(table_path()).exit_code, 1);
    Outcome verify = RunTool({"verify", table_path().string()});
    EXPECT_EQ(verify.status, 1) << verify.err;
    EXPECT_EQ(verify.out,
              "Contacts.DAT: -: Vora Engine Error # 8961 Header information corrupt in the table 'Contacts'\n");

    Outcome repair = RunTool({"repair", table_path().string()});
    EXPECT_EQ(repair.status, 0) << repair.err << repair.out;
    EXPECT_NE(repair.out.find("changed: data file cut from " + std::to_string(original_size + extra) + " to " +
                              std::to_string(original_size) + " bytes"),
              std::string::npos)
        << repair.out;
    EXPECT_EQ(fs::file_size(file(".DAT.bak")), original_size + extra);  // the file as it was found
    EXPECT_EQ(fs::file_size(file(".DAT")), original_size);
    EXPECT_TABLE_SOUND(table_path());
    EXPECT_EQ(ReadRecords(), expected_);
  }
}

// Tables created through the engine's checks store the text index's
// parameters although no field is text-indexed; repair rebuilds such a
// table and keeps the parameters.
TEST(RepairTextParametersTest, TableWithStoredTextParametersIsRepairedAndKeepsThem) {
  testing::TempDir dir;
  storage::TTextIndexParameters parameters = storage::TTextIndexParameters::Defaults();
  parameters.stop_words = {"va", "az"};
  {
    engine::TDataSession session;
    engine::TDataDirectory& directory = session.OpenDirectory("", dir.path().string() + "/");
    engine::TTableDescription description;
    description.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, 0, 0, 0}});
    storage::TIndexDescriptor primary;
    primary.SetKeyFieldCount(1);
    primary.SetKeyFieldNumber(0, 1);
    primary.SetUnique(true);
    description.indexes = {primary};
    description.text_index_parameters = parameters;
    engine::CreateCheckedTable(directory, "Words", description, false, false);
    session.CloseDirectory(directory);
  }
  const fs::path table = dir.path() / "Words";
  const Outcome repair = RunTool({"repair", table.string()});
  EXPECT_EQ(repair.status, 0) << repair.out << repair.err;
  EXPECT_TABLE_SOUND(table);
  ToolTable opened({dir.path().string(), "Words"}, /*exclusive=*/true);
  EXPECT_EQ(storage::ReadTextIndexParameters(opened.table().OpenIndex(storage::kTextIndexSlot)), parameters);
}

TEST_F(VerifyRepairTest, RepairRefusesTwoRecordsWithOneUniqueKeyAndChangesNothing) {
  // Slot 2 gets slot 1's Name: the primary index cannot hold both.
  const std::uint64_t slots = storage::kDataFileHeaderSize + 3 * storage::kFieldDescriptorSize;
  const std::uint64_t size = Load<std::uint16_t>(file(".DAT"), storage::TDataFileHeader::kRecordSizeOffset);
  const std::string name = Name(1);
  {
    std::fstream io(file(".DAT"), std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(slots + size + storage::TRecordImage::kHeaderSize + 1));  // Name's value
    io.write(name.data(), static_cast<std::streamsize>(name.size()));
  }
  const auto before = fs::file_size(file(".IDX"));
  Outcome repair = RunTool({"repair", table_path().string()});
  EXPECT_EQ(repair.status, 2);
  EXPECT_EQ(repair.err, "telvora-db: records 1 and 2 have the same key in the unique primary index; nothing was changed\n");
  EXPECT_EQ(fs::file_size(file(".IDX")), before);
  EXPECT_EQ(RunTool({"verify", table_path().string()}).status, 1);
}

// A table with a memo field: its values live in BLOB chains, which verify
// follows block by block.
class VerifyBlobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      engine::TDataSession session;
      engine::TDataDirectory& directory = session.OpenDirectory("", dir_.path().string() + "/");
      engine::TTableDefinition def;
      def.fields = storage::testing::MakeDescriptors(
          {{"Name", storage::kTypeString, 0, 20, 0}, {"Notes", storage::kTypeBlob, storage::kSubtypeMemo, 0, 0}});
      def.primary = Index("", 1, 22, true, storage::KeyCompression::None);
      directory.CreateTable("Notes", def, false, false);
      session.CloseDirectory(directory);
    }
    engine::TDataSession session;
    engine::TDataDirectory& directory = session.OpenDirectory("", dir_.path().string() + "/");
    storage::TDataTable& table = directory.OpenTableForCursor("Notes", {.exclusive = true});
    storage::TDataFile& data = table.data_file();
    const auto name = storage::TFieldLayout::Of(data.Descriptors()[0]);
    const auto notes = storage::TFieldLayout::Of(data.Descriptors()[1]);
    const auto definition = table.IndexKey(0);
    for (std::size_t length : {0u, 10u, 1000u, 494u, 2000u}) {
      storage::TRecord* record = data.NewRecordSlot();
      const std::int32_t n = record->RecordNumber();
      record->SetAutoIncWord(data.NextAutoIncValue());
      storage::TRecordImage image(record->MutableImage());
      image.SetString(name, "Note" + std::to_string(n), {});
      std::int32_t first = 0;
      const std::int32_t key = data.MutableHeader().NextBlobKey();
      const std::vector<std::uint8_t> value(length, static_cast<std::uint8_t>('a' + n));
      if (length > 0) storage::WriteBlobChain(*table.blob_file().blocks(), first, key, value);
      image.SetBlobReference(notes, first, key);
      first_blocks_.push_back(first);
      record->SetModified(true);
      table.IndexTree(0).AddKey(storage::BuildKey(definition, image, {}).data(), n);
      table.IndexTree(storage::kRecordIdIndexSlot).AddKey(storage::RecordIdIndexKey(false, record->AutoIncWord()).data(), n);
      table.index_file().IncrementActiveRecordCount();
      data.ReleaseRecord(record);
    }
    table.Flush({.trim = true, .force_data_header = true, .force_blob_header = true, .force_index_header = true});
    directory.CloseTable(table);
    session.CloseDirectory(directory);
  }

  // Byte position of a block's header field in the BLOB file (blocks of 512).
  static std::uint64_t BlockField(std::int32_t block, std::size_t offset) {
    return storage::BlobBlockOffset(block, 512) + offset;
  }

  testing::TempDir dir_;
  std::vector<std::int32_t> first_blocks_;  // per record, 0 for no value
};

TEST_F(VerifyBlobTest, VerifyFollowsTheChainsAndAgreesWithTheChecker) {
  const fs::path table = dir_ / "Notes";
  EXPECT_TABLE_SOUND(table);
  Outcome sound = RunTool({"verify", table.string()});
  EXPECT_EQ(sound.status, 0) << sound.out << sound.err;
  // Repair leaves the chains as they are and backs the BLOB file up too.
  Outcome repaired = RunTool({"repair", table.string()});
  EXPECT_EQ(repaired.status, 0) << repaired.out << repaired.err;
  EXPECT_TRUE(fs::exists(dir_ / "Notes.BLB.bak"));
  EXPECT_TABLE_SOUND(table);

  // The 1,000-byte value of record 3 takes three blocks; its first block's
  // next link is cut, so the chain ends after 494 bytes.
  const fs::path blob = dir_ / "Notes.BLB";
  const std::int32_t first = first_blocks_[2];
  ASSERT_NE(first, 0);
  VerifyRepairTest::Store<std::int32_t>(blob, BlockField(first, storage::TBlobBlockHeader::kNextOffset), 0);
  EXPECT_EQ(testing::RunTableCheck(table).exit_code, 1);
  Outcome cut = RunTool({"verify", table.string()});
  EXPECT_EQ(cut.status, 1) << cut.out << cut.err;
  EXPECT_NE(cut.out.find("Notes.BLB: record 3 field \"Notes\": used bytes of the chain sum to 494, the first block says 1000"),
            std::string::npos)
      << cut.out;
  // Chains are not rebuilt: repair says what is left.
  Outcome left = RunTool({"repair", table.string()});
  EXPECT_EQ(left.status, 1);
  EXPECT_NE(left.out.find("left: Notes.BLB: record 3"), std::string::npos) << left.out;
  EXPECT_NE(left.out.find("result: not sound"), std::string::npos) << left.out;
}

TEST(VerifyCommandTest, ErrorsAndHelp) {
  testing::TempDir dir;
  Outcome missing = RunTool({"verify", (dir / "Missing").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "telvora-db: Vora Engine Error # 11010 Table 'Missing' does not exist\n");
  EXPECT_EQ(RunTool({"repair", (dir / "Missing").string()}).status, 2);
  Outcome usage = RunTool({"verify"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err, "telvora-db: expected one TABLE; usage: telvora-db verify TABLE [--password P]\n");
  for (const char* command : {"verify", "repair"}) {
    Outcome help = RunTool({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(std::string("Usage: telvora-db ") + command + " TABLE"), std::string::npos);
  }
}

}  // namespace
}  // namespace telvora::tools
