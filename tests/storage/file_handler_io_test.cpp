// Reading and writing through file handlers: a write of zero bytes sets the
// end of the file at the position; a short read raises 9217 unless allowed;
// a missing file (or a folder) is 11010; a file with the read-only attribute
// opens read-only and refuses writes with 9218; positions are per opener in
// memory and the shared handle's on disk, kept consistent between threads by
// the critical section; whole-file copies run in 64 KiB chunks with progress.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/os_file.h"
#include "storage/engine_error_codes.h"
#include "storage/file_handler.h"
#include "storage/file_list.h"
#include "storage/memory_file.h"
#include "support/temp_dir.h"
#include "file_handler_support.h"

namespace telvora::storage {
namespace {

using test::CodeOf;
using test::Kind;
using test::MakeHandler;

class FileHandlerIoTest : public ::testing::TestWithParam<Kind> {
 protected:
  void TearDown() override {
    for (const auto& name : in_memory_names_) TFileList::Instance().Delete(name, true);
  }

  bool in_memory() const { return GetParam() == Kind::kInMemory; }

  // A new file of this test's kind holding `contents`, open (shared).
  std::unique_ptr<TFileHandler> NewFile(const std::string& file, const std::string& contents) {
    const std::string name = (dir_ / file).string();
    if (in_memory()) {
      in_memory_names_.push_back(name);
      auto creator = MakeHandler(name, Kind::kInMemory);
      creator->Create();
      if (!contents.empty()) creator->WriteAt(0, contents.data(), contents.size());
    } else {
      test::WriteFileBytes(name, contents);
    }
    auto handler = MakeHandler(name, GetParam());
    handler->Open();
    return handler;
  }

  static std::string Contents(TFileHandler& handler) {
    std::string bytes(static_cast<std::size_t>(handler.FileSize()), '\0');
    handler.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
  }

  telvora::testing::TempDir dir_;
  std::vector<std::string> in_memory_names_;
};

TEST_P(FileHandlerIoTest, WriteOfZeroBytesSetsTheEndOfFileAtThePosition) {
  const struct {
    std::uint64_t position;
    std::string expected;
  } cases[] = {
      {4, "0123"},
      {0, ""},
      {10, "0123456789"},
      {13, std::string("0123456789\0\0\0", 13)},  // past the end: extended with zeros
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    auto file = NewFile("t" + std::to_string(n++) + ".DAT", "0123456789");
    file->Seek(static_cast<std::int64_t>(c.position));
    file->Write(nullptr, 0);
    EXPECT_EQ(file->FileSize(), c.expected.size());
    EXPECT_EQ(Contents(*file), c.expected);
  }
}

TEST_P(FileHandlerIoTest, BytesCutOffAndWrittenPastAgainReadAsZero) {
  auto file = NewFile("t.DAT", "ABCDEFGH");
  file->WriteAt(2, nullptr, 0);
  file->WriteAt(6, "Z", 1);
  EXPECT_EQ(Contents(*file), std::string("AB\0\0\0\0Z", 7));
}

TEST_P(FileHandlerIoTest, ShortReadRaises9217UnlessAllowed) {
  auto file = NewFile("t.DAT", "0123456789");
  char buffer[8] = {};
  EXPECT_EQ(CodeOf([&] { file->ReadAt(6, buffer, 8); }), VORA_READERR);
  EXPECT_EQ(file->ReadAt(6, buffer, 8, true), 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file->ReadAt(20, buffer, 8, true), 0u);
  EXPECT_EQ(CodeOf([&] { file->ReadAt(10, buffer, 1); }), VORA_READERR);
  EXPECT_EQ(file->ReadAt(2, buffer, 8), 8u);
}

TEST_P(FileHandlerIoTest, SeekFromEachOrigin) {
  auto file = NewFile("t.DAT", "0123456789");
  const struct {
    std::int64_t offset;
    SeekOrigin origin;
    std::uint64_t expected;
  } cases[] = {
      {3, SeekOrigin::kBeginning, 3}, {4, SeekOrigin::kCurrent, 7},  {-2, SeekOrigin::kCurrent, 5},
      {-1, SeekOrigin::kEnd, 9},      {5, SeekOrigin::kEnd, 15},     {0, SeekOrigin::kBeginning, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(file->Seek(c.offset, c.origin), c.expected) << c.offset;
  file->Seek(4);
  char byte = 0;
  file->Read(&byte, 1);
  EXPECT_EQ(byte, '4');
  EXPECT_EQ(file->Seek(0, SeekOrigin::kCurrent), 5u);  // the read moved it on
  // Before the start of the file: refused, the position stays.
  EXPECT_EQ(CodeOf([&] { file->Seek(-6, SeekOrigin::kCurrent); }), VORA_OSUNKNOWN);
  EXPECT_EQ(file->Seek(0, SeekOrigin::kCurrent), 5u);
}

TEST_P(FileHandlerIoTest, CopyOutAndCopyInMoveWholeFilesInChunksWithProgress) {
  std::string contents(3 * kFileCopyChunkSize + 100, '\0');
  for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i * 7 + i / 251);
  auto file = NewFile("t.DAT", contents);

  const std::string copy = (dir_ / "copy.DAT").string();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> steps;
  file->CopyOut(copy, [&](std::uint64_t done, std::uint64_t total) { steps.emplace_back(done, total); });
  EXPECT_EQ(test::ReadFileBytes(copy), contents);
  const std::uint64_t total = contents.size();
  const std::vector<std::pair<std::uint64_t, std::uint64_t>> expected_steps = {
      {65536, total}, {131072, total}, {196608, total}, {total, total}};
  EXPECT_EQ(steps, expected_steps);

  // Copy in replaces everything, also where the file was longer.
  auto target = NewFile("target.DAT", std::string(300000, 'x'));
  steps.clear();
  target->CopyIn(copy, [&](std::uint64_t done, std::uint64_t all) { steps.emplace_back(done, all); });
  EXPECT_EQ(steps, expected_steps);
  EXPECT_EQ(Contents(*target), contents);

  // A copy out onto a file open in this process is refused and leaves it be
  // (the copy is a file on disk, so an in-memory file of that name is no
  // obstacle).
  if (!in_memory()) {
    EXPECT_EQ(CodeOf([&] { file->CopyOut(target->file_name()); }), VORA_OSEACCES);
    EXPECT_EQ(Contents(*target), contents);
  }
  EXPECT_EQ(CodeOf([&] { target->CopyIn((dir_ / "missing.DAT").string()); }), VORA_OSENOENT);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, FileHandlerIoTest,
                         ::testing::Values(Kind::kPhysical, Kind::kInMemory),
                         [](const auto& param_info) {
                           return param_info.param == Kind::kPhysical ? "Physical" : "InMemory";
                         });

class FileHandlerOpenTest : public ::testing::Test {
 protected:
  std::string Name(const char* file) { return (dir_ / file).string(); }
  telvora::testing::TempDir dir_;
};

TEST_F(FileHandlerOpenTest, MissingFilesAre11010) {
  std::filesystem::create_directory(dir_ / "Folder.DAT");
  const struct {
    std::string name;
    Kind kind;
  } cases[] = {
      {Name("Missing.DAT"), Kind::kPhysical},
      {Name("NoFolder/PhoneBook.DAT"), Kind::kPhysical},
      {Name("Folder.DAT"), Kind::kPhysical},
      {Name("Missing.DAT"), Kind::kInMemory},
  };
  for (const auto& c : cases) {
    auto handler = MakeHandler(c.name, c.kind);
    EXPECT_EQ(CodeOf([&] { handler->Open(); }), VORA_OSENOENT) << c.name;
    EXPECT_FALSE(handler->is_open());
    EXPECT_FALSE(TFileList::Instance().Contains(c.name, c.kind == Kind::kInMemory));
  }
  auto creator = MakeHandler(Name("NoFolder/PhoneBook.DAT"), Kind::kPhysical);
  EXPECT_EQ(CodeOf([&] { creator->Create(); }), VORA_OSENOENT);
}

TEST_F(FileHandlerOpenTest, FileWithTheReadOnlyAttributeOpensReadOnlyAndRefusesWrites) {
  const std::string name = Name("ReadOnly.DAT");
  test::WriteFileBytes(name, "0123456789");
  ASSERT_TRUE(platform::OsFile::SetReadOnly(name, true));
  for (const bool exclusive : {false, true}) {
    auto handler = MakeHandler(name, Kind::kPhysical, exclusive);
    handler->Open();
    EXPECT_TRUE(handler->read_only());
    EXPECT_TRUE(handler->read_only_attribute());
    EXPECT_EQ(CodeOf([&] { handler->WriteAt(0, "x", 1); }), VORA_WRITEERR);
    EXPECT_EQ(CodeOf([&] { handler->WriteAt(3, nullptr, 0); }), VORA_WRITEERR);
    // Locks are taken (shared, as a read-only handle can) rather than refused.
    EXPECT_TRUE(handler->LockRange(4294967290u, 1));
    EXPECT_TRUE(handler->UnlockRange(4294967290u, 1));
  }
  EXPECT_EQ(test::ReadFileBytes(name), "0123456789");
  // Nor can it be deleted or created over.
  auto other = MakeHandler(name, Kind::kPhysical);
  EXPECT_EQ(CodeOf([&] { other->Delete(); }), VORA_OSEACCES);
  EXPECT_EQ(CodeOf([&] { other->Create(); }), VORA_OSEACCES);
  ASSERT_TRUE(platform::OsFile::SetReadOnly(name, false));
}

TEST_F(FileHandlerOpenTest, ReadWriteOpenFallsBackToReadOnlyWhenWritingIsRefused) {
  const std::string name = Name("Immutable.DAT");
  test::WriteFileBytes(name, "kept");
  test::ImmutableFlag immutable(name);
  if (!immutable.set()) GTEST_SKIP() << "cannot make a file immutable here";
  for (const bool exclusive : {false, true}) {
    SCOPED_TRACE(exclusive);
    auto handler = MakeHandler(name, Kind::kPhysical, exclusive);
    handler->Open();
    EXPECT_TRUE(handler->read_only());
    EXPECT_FALSE(handler->read_only_attribute());
    EXPECT_EQ(CodeOf([&] { handler->WriteAt(0, "x", 1); }), VORA_WRITEERR);
    // The fallen-back handle still keeps to the sharing rules...
    auto other = MakeHandler(name, Kind::kPhysical, false);
    EXPECT_EQ(CodeOf([&] { other->Open(); }), exclusive ? VORA_OSEACCES : 0u);
    EXPECT_EQ(other->read_only(), other->is_open());
    // ...and its locks are taken shared instead of being refused.
    EXPECT_TRUE(handler->LockRange(4294967293u, 1));
    EXPECT_TRUE(handler->UnlockRange(4294967293u, 1));
  }
}

TEST_F(FileHandlerOpenTest, InMemoryOpenersKeepTheirOwnPositionsPhysicalOnesShareTheHandles) {
  const std::string name = Name("Positions.DAT");
  for (const Kind kind : {Kind::kInMemory, Kind::kPhysical}) {
    SCOPED_TRACE(test::KindName(kind));
    if (kind == Kind::kInMemory) {
      auto creator = MakeHandler(name, kind);
      creator->Create();
      creator->WriteAt(0, "0123456789", 10);
    } else {
      test::WriteFileBytes(name, "0123456789");
    }
    auto a = MakeHandler(name, kind);
    auto b = MakeHandler(name, kind);
    a->Open();
    b->Open();
    a->Seek(7);
    b->Seek(2);
    char byte = 0;
    a->Read(&byte, 1);
    EXPECT_EQ(byte, kind == Kind::kInMemory ? '7' : '2');
    a->Close();
    b->Close();
    if (kind == Kind::kInMemory) b->Delete();
  }
}

TEST_F(FileHandlerOpenTest, InMemoryBufferGrowsInSteps) {
  const std::string name = Name("Grow.DAT");
  auto handler = MakeHandler(name, Kind::kInMemory);
  handler->Create();
  auto* memory = dynamic_cast<TMemoryFile*>(handler->file());
  ASSERT_NE(memory, nullptr);
  const struct {
    std::uint64_t end;
    std::size_t capacity;
  } cases[] = {{1, 4096}, {4096, 4096}, {4097, 8192}, {100, 8192}, {20000, 20480}};
  for (const auto& c : cases) {
    handler->WriteAt(c.end - 1, "x", 1);
    handler->WriteAt(c.end, nullptr, 0);
    EXPECT_EQ(handler->FileSize(), c.end);
    EXPECT_EQ(memory->capacity(), c.capacity) << c.end;
  }
  handler->Close();
  handler->Delete();
}

TEST_F(FileHandlerOpenTest, SeekAndTransferPairsOfManyThreadsDoNotMix) {
  // All handlers share one handle and its one position; without the critical
  // section around each seek and transfer, blocks would land at other
  // threads' positions.
  const std::string name = Name("Threads.DAT");
  constexpr int kThreads = 4;
  constexpr int kBlocks = 64;
  constexpr std::size_t kBlock = 32;
  test::WriteFileBytes(name, "");
  std::vector<std::unique_ptr<TFileHandler>> handlers;
  for (int t = 0; t < kThreads; ++t) {
    handlers.push_back(MakeHandler(name, Kind::kPhysical));
    handlers.back()->Open();
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      TFileHandler& h = *handlers[static_cast<std::size_t>(t)];
      const std::string block(kBlock, static_cast<char>('A' + t));
      for (int i = 0; i < kBlocks; ++i) {
        const std::uint64_t at = (static_cast<std::uint64_t>(i) * kThreads + t) * kBlock;
        h.WriteAt(at, block.data(), kBlock);
        std::string back(kBlock, '\0');
        h.ReadAt(at, back.data(), kBlock);
        if (back != block) ++mismatches[static_cast<std::size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << t;
  const std::string all = test::ReadFileBytes(name);
  ASSERT_EQ(all.size(), kThreads * kBlocks * kBlock);
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(all[i], static_cast<char>('A' + (i / kBlock) % kThreads)) << i;
  }
}

}  // namespace
}  // namespace telvora::storage
