// New tables built from these codecs, written to disk and handed to the
// independent table checker: a plain table with every field type and value
// texts, an encrypted one, and an encrypted one whose 256 descriptors are
// stored plain.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage/blob_file_header.h"
#include "storage/data_file_header.h"
#include "storage/field_descriptor.h"
#include "storage/index_file_header.h"
#include "storage/scrambler.h"
#include "storage/table_file_names.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// Writes the files of a new, empty table the way its first flush does.
void WriteNewTable(const fs::path& dir, const std::string& name, const TDataFileCreation& creation,
                   std::vector<TFieldDescriptor> descriptors) {
  TDataFileHeader header = TDataFileHeader::Create(creation, descriptors, name);
  header.PrepareWrite(45000.5);
  std::vector<std::uint8_t> data(header.Image().begin(), header.Image().end());
  const std::vector<std::uint8_t> block = EncodeFieldDescriptorBlock(descriptors, creation.encrypted);
  data.insert(data.end(), block.begin(), block.end());

  const TableFileNames names = MakeTableFileNames(dir.string(), name);
  WriteFile(names.data, data);

  TIndexFileHeader index = TIndexFileHeader::New();
  index.SetPrimaryIndexUnavailable(true);
  index.PrepareWrite();
  const auto index_image = index.ImageForFile(creation.encrypted);
  WriteFile(names.index, std::vector<std::uint8_t>(index_image.begin(), index_image.end()));

  if (header.BlobFieldCount() > 0) {
    TBlobFileHeader blob = TBlobFileHeader::New();
    blob.PrepareWrite();
    const auto blob_image = blob.ImageForFile(creation.encrypted);
    WriteFile(names.blob, std::vector<std::uint8_t>(blob_image.begin(), blob_image.end()));
  }
}

TEST(NewTableImagesPassTablecheckTest, EveryFieldTypeWithValueTexts) {
  telvora::testing::TempDir dir;
  auto descriptors = testing::MakeDescriptors(testing::EveryTypeFields());
  descriptors[1].SetDefaultText("CURRENT_DATE");
  descriptors[1].SetMinimumText("1900-01-01");
  descriptors[9].SetMinimumText("08:00 AM");
  descriptors[9].SetMaximumText("6:30:15.5 pm");
  descriptors[10].SetDefaultText("2024-01-01 10:30");
  descriptors[3].SetDefaultText("true");
  descriptors[4].SetMaximumText("-32768");
  descriptors[7].SetMaximumText("99999.99");
  descriptors[6].SetMinimumText("-1.5e3");
  descriptors[13].SetDefaultText("9223372036854775807");
  descriptors[0].SetRequired(true);
  descriptors[0].SetCase(CharacterCase::Upper);
  TDataFileCreation creation;
  creation.description = "Every type";
  WriteNewTable(dir.path(), "Every", creation, descriptors);
  EXPECT_TABLE_SOUND(dir / "Every");
}

TEST(NewTableImagesPassTablecheckTest, EncryptedTable) {
  telvora::testing::TempDir dir;
  TDataFileCreation creation;
  creation.encrypted = true;
  creation.password = "secret";
  creation.description = "Locked";
  WriteNewTable(dir.path(), "Locked.dat", creation,
                testing::MakeDescriptors({{"Name", kTypeString, 0, 30, 0}, {"Notes", kTypeBlob, kSubtypeMemo, 0, 0},
                                          {"Id", kTypeInteger, kSubtypeAutoInc, 0, 0}}));
  EXPECT_TABLE_SOUND(dir / "Locked");
}

TEST(NewTableImagesPassTablecheckTest, EncryptedTablesWith255To257Fields) {
  for (const std::size_t count : {255u, 256u, 257u}) {
    telvora::testing::TempDir dir;
    std::vector<testing::FieldDef> defs;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back("F" + std::to_string(i + 1));
    for (const std::string& n : names) defs.push_back({n.c_str(), kTypeSmallInt, 0, 0, 0});
    TDataFileCreation creation;
    creation.encrypted = true;
    creation.password = "p";
    WriteNewTable(dir.path(), "Wide", creation, testing::MakeDescriptors(defs));
    EXPECT_TABLE_SOUND(dir / "Wide");
  }
}

}  // namespace
}  // namespace telvora::storage
