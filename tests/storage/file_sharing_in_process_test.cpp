// Openers of one file inside one process: a second opener shares the first
// one's object (and handle) unless either is exclusive, which is refused with
// 11013; create, delete and rename are refused while the file is open; names
// match trimmed and without regard to case; a physical and an in-memory file
// of one name are different entries. Each case runs for both kinds of file.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "storage/engine_error_codes.h"
#include "storage/file_handler.h"
#include "storage/file_list.h"
#include "storage/physical_file.h"
#include "support/temp_dir.h"
#include "file_handler_support.h"

namespace telvora::storage {
namespace {

using test::CodeOf;
using test::Kind;
using test::MakeHandler;

constexpr char kContents[] = "0123456789";

class FileSharingInProcessTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    name_ = (dir_ / "PhoneBook.DAT").string();
    if (in_memory()) {
      auto creator = MakeHandler(name_, Kind::kInMemory);
      creator->Create();
      creator->WriteAt(0, kContents, 10);
    } else {
      test::WriteFileBytes(name_, kContents);
    }
  }

  void TearDown() override {
    if (in_memory()) TFileList::Instance().Delete(name_, true);
  }

  bool in_memory() const { return GetParam() == Kind::kInMemory; }
  std::unique_ptr<TFileHandler> Handler(bool exclusive = false) {
    return MakeHandler(name_, GetParam(), exclusive);
  }
  std::string Contents(TFileHandler& handler) {
    std::string bytes(static_cast<std::size_t>(handler.FileSize()), '\0');
    handler.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
  }

  telvora::testing::TempDir dir_;
  std::string name_;
};

TEST_P(FileSharingInProcessTest, SecondOpenerIsRefusedWhenEitherSideIsExclusive) {
  const struct {
    bool first_exclusive;
    bool second_exclusive;
    std::uint32_t expected;
  } cases[] = {{false, false, 0}, {false, true, VORA_OSEACCES}, {true, false, VORA_OSEACCES},
               {true, true, VORA_OSEACCES}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.first_exclusive) + "/" + std::to_string(c.second_exclusive));
    auto first = Handler(c.first_exclusive);
    first->Open();
    auto second = Handler(c.second_exclusive);
    EXPECT_EQ(CodeOf([&] { second->Open(); }), c.expected);
    EXPECT_EQ(second->is_open(), c.expected == 0);
    EXPECT_EQ(first->file()->open_count(), c.expected == 0 ? 2u : 1u);
    // A refused opener leaves the first one working.
    EXPECT_EQ(Contents(*first), kContents);
  }
}

TEST_P(FileSharingInProcessTest, SharedSecondOpenerSharesTheFirstOnesObject) {
  auto first = Handler();
  first->Open();
  auto second = Handler();
  second->Open();
  ASSERT_EQ(second->file(), first->file());
  EXPECT_EQ(second->opener_id(), first->opener_id() + 1);
  if (!in_memory()) {
    // One object per file in the process: the same handle serves both.
    EXPECT_NE(dynamic_cast<TPhysicalFile*>(first->file()), nullptr);
    EXPECT_EQ(first->opener_id(), 1u);
  }
  first->WriteAt(3, "abc", 3);
  EXPECT_EQ(Contents(*second), "012abc6789");

  first->Close();
  EXPECT_EQ(second->file()->open_count(), 1u);
  EXPECT_EQ(Contents(*second), "012abc6789");
}

TEST_P(FileSharingInProcessTest, CreateIsRefusedWhileTheFileIsOpen) {
  auto reader = Handler();
  reader->Open();
  auto creator = Handler();
  EXPECT_EQ(CodeOf([&] { creator->Create(); }), VORA_OSEACCES);
  EXPECT_EQ(Contents(*reader), kContents);
  reader->Close();

  creator->Create();
  EXPECT_EQ(creator->FileSize(), 0u);
  // A created file is open exclusively.
  auto other = Handler();
  EXPECT_EQ(CodeOf([&] { other->Open(); }), VORA_OSEACCES);
}

TEST_P(FileSharingInProcessTest, DeleteAndRenameAreRefusedWhileTheFileIsOpen) {
  const std::string new_name = (dir_ / "Renamed.DAT").string();
  auto reader = Handler();
  reader->Open();
  auto other = Handler();
  EXPECT_EQ(CodeOf([&] { other->Delete(); }), VORA_OSEACCES);
  EXPECT_EQ(CodeOf([&] { other->Rename(new_name); }), VORA_OSEACCES);
  EXPECT_EQ(other->file_name(), name_);
  EXPECT_EQ(Contents(*reader), kContents);
  reader->Close();

  other->Rename(new_name);
  EXPECT_EQ(other->file_name(), new_name);
  auto old_name = Handler();
  EXPECT_EQ(CodeOf([&] { old_name->Open(); }), VORA_OSENOENT);
  other->Open();
  EXPECT_EQ(Contents(*other), kContents);
  other->Close();
  other->Delete();
  EXPECT_EQ(CodeOf([&] { other->Open(); }), VORA_OSENOENT);
  EXPECT_EQ(CodeOf([&] { other->Delete(); }), VORA_OSENOENT);
}

TEST_P(FileSharingInProcessTest, NamesMatchTrimmedAndWithoutRegardToCase) {
  auto first = Handler();
  first->Open();
  // The folder part must keep its case for a physical file, which has to
  // exist under the name given; an in-memory file has no such check.
  std::string other_name = "  " + name_ + " \t";
  if (in_memory()) {
    for (char& c : other_name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  auto second = MakeHandler(other_name, GetParam(), true);
  EXPECT_EQ(CodeOf([&] { second->Open(); }), VORA_OSEACCES);
  second->set_exclusive(false);
  second->Open();
  EXPECT_EQ(second->file(), first->file());
}

TEST_P(FileSharingInProcessTest, PhysicalAndInMemoryFilesOfOneNameAreDifferentEntries) {
  auto mine = Handler(true);
  mine->Open();
  const Kind other_kind = in_memory() ? Kind::kPhysical : Kind::kInMemory;
  if (other_kind == Kind::kPhysical) test::WriteFileBytes(name_, "disk");
  auto other = MakeHandler(name_, other_kind, true);
  if (other_kind == Kind::kInMemory) {
    other->Create();
    other->WriteAt(0, "memory", 6);
  } else {
    other->Open();
  }
  EXPECT_NE(other->file(), mine->file());
  EXPECT_EQ(Contents(*mine), kContents);
  EXPECT_EQ(Contents(*other), other_kind == Kind::kInMemory ? "memory" : "disk");
  other->Close();
  if (other_kind == Kind::kInMemory) other->Delete();
}

INSTANTIATE_TEST_SUITE_P(BothKinds, FileSharingInProcessTest,
                         ::testing::Values(Kind::kPhysical, Kind::kInMemory),
                         [](const auto& param_info) {
                           return param_info.param == Kind::kPhysical ? "Physical" : "InMemory";
                         });

TEST(FileListNamesTest, PhysicalNamesDifferingInCaseShareOnlyWhenTheyNameOneFile) {
  telvora::testing::TempDir dir;
  const std::string mixed = (dir / "Case.DAT").string();
  const std::string upper = (dir / "CASE.DAT").string();
  test::WriteFileBytes(mixed, "mixed");
  test::WriteFileBytes(upper, "upper");
  auto first = MakeHandler(mixed, Kind::kPhysical, true);
  first->Open();
  auto second = MakeHandler(upper, Kind::kPhysical, true);
  second->Open();
  EXPECT_NE(second->file(), first->file());
  char bytes[5] = {};
  second->ReadAt(0, bytes, 5);
  EXPECT_EQ(std::string(bytes, 5), "upper");
  second->Close();
  second->Delete();

  // The same file under a second spelling (a link standing in for a
  // case-blind file system) is the same entry.
  first->Close();
  first->set_exclusive(false);
  first->Open();
  std::filesystem::create_hard_link(mixed, upper);
  auto linked = MakeHandler(upper, Kind::kPhysical, false);
  linked->Open();
  EXPECT_EQ(linked->file(), first->file());
}

TEST(FileListNamesTest, SameNameComparesTrimmedWithoutCase) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"/t/PhoneBook.DAT", "/t/phonebook.dat", true},
      {"  /t/PhoneBook.DAT\t", "/t/PHONEBOOK.DAT", true},
      {"/t/PhoneBook.DAT", "/t/PhoneBook.DA", false},
      {"/t/Phone Book.DAT", "/t/PhoneBook.DAT", false},
      {"", "   ", true},
  };
  for (const auto& c : cases) EXPECT_EQ(TFileList::SameName(c.a, c.b), c.same) << c.a << " | " << c.b;
  EXPECT_EQ(TFileList::TrimmedName(" \t/t/a b.DAT \n"), "/t/a b.DAT");
}

}  // namespace
}  // namespace telvora::storage
