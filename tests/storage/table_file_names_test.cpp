#include "storage/table_file_names.h"

#include <gtest/gtest.h>

namespace telvora::storage {
namespace {

TEST(TableFileNamesTest, NamesFollowTheTrimAndExtensionRule) {
  const struct {
    const char* table;
    const char* data;
    const char* index;
    const char* blob;
  } cases[] = {
      {"PhoneBook", "/db/PhoneBook.DAT", "/db/PhoneBook.IDX", "/db/PhoneBook.BLB"},
      {"phonebook.dat", "/db/phonebook.DAT", "/db/phonebook.IDX", "/db/phonebook.BLB"},
      {"PhoneBook.Dat", "/db/PhoneBook.DAT", "/db/PhoneBook.IDX", "/db/PhoneBook.BLB"},
      {"a.b", "/db/a.b.DAT", "/db/a.b.IDX", "/db/a.b.BLB"},
      {"  PhoneBook  ", "/db/PhoneBook.DAT", "/db/PhoneBook.IDX", "/db/PhoneBook.BLB"},
      {" x.DAT ", "/db/x.DAT", "/db/x.IDX", "/db/x.BLB"},
      // Only the last extension counts, and only ".DAT" is replaced.
      {"x.dat.idx", "/db/x.dat.idx.DAT", "/db/x.dat.idx.IDX", "/db/x.dat.idx.BLB"},
      {"x.idx.dat", "/db/x.idx.DAT", "/db/x.idx.IDX", "/db/x.idx.BLB"},
      {"x.data", "/db/x.data.DAT", "/db/x.data.IDX", "/db/x.data.BLB"},
  };
  for (const auto& c : cases) {
    const TableFileNames names = MakeTableFileNames("/db/", c.table);
    EXPECT_EQ(names.data, c.data) << c.table;
    EXPECT_EQ(names.index, c.index) << c.table;
    EXPECT_EQ(names.blob, c.blob) << c.table;
  }
}

TEST(TableFileNamesTest, DirectoryWithoutSeparatorNamesTheSameFiles) {
  EXPECT_EQ(TableFileName("/db", "PhoneBook", kDataFileExtension), "/db/PhoneBook.DAT");
  EXPECT_EQ(TableFileName("", "PhoneBook", kIndexFileExtension), "PhoneBook.IDX");
}

TEST(TableFileNamesTest, ADotInTheDirectoryIsNotAnExtension) {
  EXPECT_EQ(TableFileBaseName("my.dir/phonebook"), "my.dir/phonebook");
  EXPECT_EQ(TableFileBaseName("my.DAT/phonebook"), "my.DAT/phonebook");
  EXPECT_EQ(TableFileBaseName(".dat"), ".dat");
}

}  // namespace
}  // namespace telvora::storage
