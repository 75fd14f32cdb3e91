// How long file objects live: a physical file's object goes (and its handle
// closes) with its last opener; an in-memory table outlives its last close
// with its data until deleted; a temporary in-memory file goes with its last
// opener; a temporary physical file that was opened is removed with its last
// close, one that was only created stays.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "storage/engine_error_codes.h"
#include "storage/file_handler.h"
#include "storage/file_list.h"
#include "support/temp_dir.h"
#include "file_handler_support.h"

namespace telvora::storage {
namespace {

using test::CodeOf;
using test::Kind;
using test::MakeHandler;

class FileLifetimeTest : public ::testing::Test {
 protected:
  TFileList& list() { return TFileList::Instance(); }
  std::string Name(const char* file) { return (dir_ / file).string(); }

  telvora::testing::TempDir dir_;
};

TEST_F(FileLifetimeTest, InMemoryTableClosedByItsLastUserReopensWithItsData) {
  const std::string name = Name("Memory.DAT");
  auto creator = MakeHandler(name, Kind::kInMemory);
  creator->Create();
  creator->WriteAt(0, "contacts", 8);
  creator->Close();
  EXPECT_TRUE(list().Contains(name, true));

  auto reader = MakeHandler(name, Kind::kInMemory, true);
  reader->Open();
  char bytes[8] = {};
  reader->ReadAt(0, bytes, sizeof bytes);
  EXPECT_EQ(std::string(bytes, 8), "contacts");
  EXPECT_FALSE(reader->read_only());
  reader->Close();

  reader->Delete();
  EXPECT_FALSE(list().Contains(name, true));
  EXPECT_EQ(CodeOf([&] { reader->Open(); }), VORA_OSENOENT);
}

TEST_F(FileLifetimeTest, TemporaryInMemoryFileGoesWithItsLastOpener) {
  // Created temporary: the creator is its only opener.
  const std::string created = Name("Created.DAT");
  auto creator = MakeHandler(created, Kind::kInMemory, true, true);
  creator->Create();
  creator->WriteAt(0, "x", 1);
  creator->Close();
  EXPECT_FALSE(list().Contains(created, true));

  // Opened temporary by two sharing openers: it stays until both are gone.
  const std::string opened = Name("Opened.DAT");
  auto maker = MakeHandler(opened, Kind::kInMemory);
  maker->Create();
  maker->Close();
  auto first = MakeHandler(opened, Kind::kInMemory, false, true);
  auto second = MakeHandler(opened, Kind::kInMemory, false, true);
  first->Open();
  second->Open();
  first->Close();
  EXPECT_TRUE(list().Contains(opened, true));
  second->Close();
  EXPECT_FALSE(list().Contains(opened, true));
}

TEST_F(FileLifetimeTest, PhysicalFileObjectGoesWithItsLastOpener) {
  const std::string name = Name("Table.DAT");
  test::WriteFileBytes(name, "data");
  auto first = MakeHandler(name, Kind::kPhysical);
  auto second = MakeHandler(name, Kind::kPhysical);
  first->Open();
  second->Open();
  first->Close();
  EXPECT_TRUE(list().Contains(name, false));
  EXPECT_EQ(second->FileSize(), 4u);
  second->Close();
  EXPECT_FALSE(list().Contains(name, false));
  EXPECT_EQ(test::ReadFileBytes(name), "data");

  // The handle went with the object: now an exclusive opener is let in.
  auto exclusive = MakeHandler(name, Kind::kPhysical, true);
  exclusive->Open();
  EXPECT_TRUE(exclusive->is_open());
}

TEST_F(FileLifetimeTest, TemporaryPhysicalFileIsRemovedOnlyWhenItWasOpened) {
  const std::string opened = Name("Opened.TMP");
  test::WriteFileBytes(opened, "scratch");
  auto first = MakeHandler(opened, Kind::kPhysical, false, true);
  auto second = MakeHandler(opened, Kind::kPhysical, false, true);
  first->Open();
  second->Open();
  first->Close();
  EXPECT_TRUE(std::filesystem::exists(opened));
  second->Close();
  EXPECT_FALSE(std::filesystem::exists(opened));

  const std::string created = Name("Created.TMP");
  auto creator = MakeHandler(created, Kind::kPhysical, true, true);
  creator->Create();
  creator->WriteAt(0, "index pages", 11);
  creator->Close();
  EXPECT_EQ(test::ReadFileBytes(created), "index pages");
  creator->Delete();
  EXPECT_FALSE(std::filesystem::exists(created));
}

}  // namespace
}  // namespace telvora::storage
