// telvora-bench-index: how fast the index code adds and finds the keys of the
// phone book's Name field, and how much room they take, beside SQLite doing
// the same work on the same names.
//
//   telvora-bench-index [--finds N] [--buffer BYTES] [--seed S] [SIZE...]
//
// Sizes default to 100,000 and 1,000,000 keys. Per size, for the byte order
// (language 0) and Farsi (0x0429), the names go into a case-sensitive
// non-unique index (K = 66: flag byte, 61 name bytes, record id) with
// compression 0 and 3, through the real tree and page cache over a page file
// on disk; then the same number of random finds. SQLite gets a table
// t(name, id) with an index on name, filled in one transaction and searched
// with the same names; under Farsi its index uses a collation that calls the
// engine's string comparison, so both order the keys the same way.
//
// Not a test: it asserts nothing but that every find returns the name
// looked for, and prints a report.

#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_rows.h"
#include "disk_index_page_file.h"
#include "engine/index_key_order.h"
#include "engine/key_compare.h"
#include "engine/locale_collation.h"
#include "phone_book_names.h"
#include "storage/index_key.h"
#include "storage/index_page_cache.h"
#include "storage/index_tree.h"
#include "storage/page_stack.h"
#include "storage/table_settings.h"

namespace telvora::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The phone book's Name field: String of size 60, stored with its
// terminator room as 61 bytes.
constexpr std::size_t kNameSize = 60;
constexpr std::size_t kNameKeyBytes = kNameSize + 1;
constexpr std::size_t kNameKeyLength = storage::kKeyFlagLength + kNameKeyBytes;               // 62
constexpr std::size_t kKeyLength = kNameKeyLength + storage::kRecordIdSuffixLength;            // 66
constexpr std::uint8_t kValueFlag = 1;
constexpr int kIndexSlot = 1;
constexpr std::uint16_t kFarsiLanguageId = 0x0429;
constexpr std::uint64_t kDefaultSeed = 20261210;
constexpr std::size_t kDefaultFinds = 10'000;

struct Options {
  std::vector<std::size_t> sizes;
  std::size_t finds = kDefaultFinds;
  int buffer_bytes = static_cast<int>(storage::TTableSettings{}.DataBufferBytes);
  std::uint64_t seed = kDefaultSeed;
};

struct Result {
  double insert_per_second = 0;
  double find_per_second = 0;
  std::int64_t pages = 0;
  double bytes_per_key = 0;        // index pages only
  double file_bytes_per_key = 0;   // SQLite: the whole database file
  std::size_t misses = 0;
};

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// flag byte, the name zero-filled, the record id as an Integer key.
void MakeKey(const std::string& name, std::int32_t record_id, std::uint8_t* key) {
  std::memset(key, 0, kKeyLength);
  key[0] = kValueFlag;
  std::memcpy(key + storage::kKeyFlagLength, name.data(), std::min(name.size(), kNameSize));
  storage::EncodeSignedKey(record_id, std::span<std::uint8_t>(key + kNameKeyLength, storage::kRecordIdSuffixLength));
}

std::vector<std::size_t> FindTargets(std::size_t keys, std::size_t finds, std::uint64_t seed) {
  std::mt19937_64 random(seed ^ 0x5eedf00dULL);
  std::uniform_int_distribution<std::size_t> pick(0, keys - 1);
  std::vector<std::size_t> targets(finds);
  for (auto& t : targets) t = pick(random);
  return targets;
}

Result RunOurs(const std::vector<std::string>& names, std::size_t keys, const std::vector<std::size_t>& targets,
               const engine::Locale& locale, std::uint8_t compression, int buffer_bytes, const fs::path& dir) {
  storage::TPageFormat format;
  format.slot = kIndexSlot;
  format.key_length = kKeyLength;
  format.unique = false;
  format.compression = compression;

  engine::KeyDescription description;
  description.slot = kIndexSlot;
  description.locale = locale;
  description.fields.push_back(engine::KeyFieldDescription{engine::kStringFieldTypeCode, kNameKeyBytes, false});

  const fs::path path = dir / "PhoneBook.IDX";
  Result result;
  {
    TDiskIndexPageFile file(path.string());
    storage::TPageStack spares;
    storage::TIndexPageCache cache(file, spares, kIndexSlot, format, buffer_bytes);
    storage::TIndexTree tree(cache, engine::MakeKeyComparator(description), "ByName");
    std::uint8_t key[kKeyLength];

    const auto start = Clock::now();
    for (std::size_t i = 0; i < keys; ++i) {
      const auto id = static_cast<std::int32_t>(i + 1);
      MakeKey(names[i], id, key);
      tree.AddKey(key, id);
    }
    cache.WriteModifiedPages();
    const auto inserted = Clock::now();
    for (std::size_t target : targets) {
      MakeKey(names[target], 0, key);
      const auto found = tree.Find(key, kNameKeyLength, true);
      if (!found || found->record_number < 1 || static_cast<std::size_t>(found->record_number) > keys ||
          names[static_cast<std::size_t>(found->record_number - 1)] != names[target]) {
        ++result.misses;
      }
    }
    const auto done = Clock::now();
    if (tree.KeyCount() != static_cast<std::int64_t>(keys)) throw std::runtime_error("index lost keys");

    result.insert_per_second = static_cast<double>(keys) / Seconds(start, inserted);
    result.find_per_second = static_cast<double>(targets.size()) / Seconds(inserted, done);
    result.pages = file.PagesUsed();
    result.bytes_per_key = static_cast<double>(result.pages) * storage::kIndexPageSize / static_cast<double>(keys);
  }
  fs::remove(path);
  return result;
}

// SQLite's side of the comparison.

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string("sqlite ") + what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  }
}

void Exec(sqlite3* db, const std::string& sql) { Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str()); }

// The engine's case-sensitive string order, as an SQLite collation. The
// strings come without terminator; the names fit kNameKeyBytes.
int EngineCollation(void* context, int length1, const void* s1, int length2, const void* s2) {
  const auto* locale = static_cast<const engine::Locale*>(context);
  char a[kNameKeyBytes + 1] = {};
  char b[kNameKeyBytes + 1] = {};
  std::memcpy(a, s1, std::min<std::size_t>(static_cast<std::size_t>(length1), kNameKeyBytes));
  std::memcpy(b, s2, std::min<std::size_t>(static_cast<std::size_t>(length2), kNameKeyBytes));
  return engine::CompareStrings(*locale, a, b, false);
}

struct Statement {
  Statement(sqlite3* db, const char* sql) { Check(sqlite3_prepare_v2(db, sql, -1, &handle, nullptr), db, sql); }
  ~Statement() { sqlite3_finalize(handle); }
  sqlite3_stmt* handle = nullptr;
};

Result RunSqlite(const std::vector<std::string>& names, std::size_t keys, const std::vector<std::size_t>& targets,
                 const engine::Locale& locale, const fs::path& dir) {
  const fs::path path = dir / "phonebook.sqlite";
  Result result;
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.string().c_str(), &db), db, "open");
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> owner(db, &sqlite3_close);
  Exec(db, "PRAGMA page_size=4096");
  // The index code writes its pages without syncing; so does SQLite here.
  Exec(db, "PRAGMA synchronous=OFF");
  std::string collation = "BINARY";
  if (!locale.byte_order()) {
    Check(sqlite3_create_collation_v2(db, "ENGINE", SQLITE_UTF8, const_cast<engine::Locale*>(&locale),
                                      &EngineCollation, nullptr),
          db, "collation");
    collation = "ENGINE";
  }
  Exec(db, "CREATE TABLE t(name TEXT COLLATE " + collation + ", id INTEGER)");
  Exec(db, "CREATE INDEX t_name ON t(name)");

  {
    Statement insert(db, "INSERT INTO t(name, id) VALUES(?, ?)");
    Statement find(db, "SELECT id FROM t WHERE name = ?");
    const auto start = Clock::now();
    Exec(db, "BEGIN");
    for (std::size_t i = 0; i < keys; ++i) {
      sqlite3_bind_text(insert.handle, 1, names[i].data(), static_cast<int>(names[i].size()), SQLITE_STATIC);
      sqlite3_bind_int(insert.handle, 2, static_cast<int>(i + 1));
      Check(sqlite3_step(insert.handle), db, "insert");
      sqlite3_reset(insert.handle);
    }
    Exec(db, "COMMIT");
    const auto inserted = Clock::now();
    for (std::size_t target : targets) {
      const std::string& name = names[target];
      sqlite3_bind_text(find.handle, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
      const int rc = sqlite3_step(find.handle);
      Check(rc, db, "find");
      if (rc != SQLITE_ROW) {
        ++result.misses;
      } else {
        const auto id = sqlite3_column_int64(find.handle, 0);
        if (id < 1 || static_cast<std::size_t>(id) > keys || names[static_cast<std::size_t>(id - 1)] != name) ++result.misses;
      }
      sqlite3_reset(find.handle);
    }
    const auto done = Clock::now();
    result.insert_per_second = static_cast<double>(keys) / Seconds(start, inserted);
    result.find_per_second = static_cast<double>(targets.size()) / Seconds(inserted, done);
  }

  // The index's own pages, when SQLite was built with the dbstat table.
  {
    sqlite3_stmt* stat = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM dbstat WHERE name = 't_name'", -1, &stat, nullptr) == SQLITE_OK &&
        sqlite3_step(stat) == SQLITE_ROW) {
      result.pages = sqlite3_column_int64(stat, 0);
      result.bytes_per_key = static_cast<double>(result.pages) * 4096.0 / static_cast<double>(keys);
    } else {
      result.pages = -1;
    }
    sqlite3_finalize(stat);
  }
  owner.reset();
  result.file_bytes_per_key = static_cast<double>(fs::file_size(path)) / static_cast<double>(keys);
  fs::remove(path);
  return result;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) {
      if (i + 1 >= argc) throw std::invalid_argument(std::string(name) + " needs a value");
      return std::stoull(argv[++i]);
    };
    if (arg == "--finds") {
      options.finds = value("--finds");
    } else if (arg == "--buffer") {
      options.buffer_bytes = static_cast<int>(value("--buffer"));
    } else if (arg == "--seed") {
      options.seed = value("--seed");
    } else if (arg == "-h" || arg == "--help") {
      std::printf("usage: telvora-bench-index [--finds N] [--buffer BYTES] [--seed S] [SIZE...]\n");
      std::exit(0);
    } else {
      const auto size = std::stoull(arg);
      if (size == 0 || size > 100'000'000) throw std::invalid_argument("size out of range: " + arg);
      options.sizes.push_back(size);
    }
  }
  if (options.sizes.empty()) options.sizes = {100'000, 1'000'000};
  if (options.finds == 0) options.finds = 1;
  return options;
}

void Run(const Options& options) {
  std::size_t largest = 0;
  for (std::size_t size : options.sizes) largest = std::max(largest, size);
  const auto names = MakePhoneBookNames(largest, kNameSize, options.seed);

  std::string pattern = (fs::temp_directory_path() / "telvora-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  const fs::path dir = pattern;

  std::printf("Index benchmark: Name field (String 60), case-sensitive non-unique index, K = %zu\n", kKeyLength);
  std::printf("names: seed %llu, %zu distinct among the first %zu; %zu random finds per run; page cache %d bytes"
              " (%d pages to start)\n",
              static_cast<unsigned long long>(options.seed),
              [&] {
                std::vector<std::string> sorted(names.begin(), names.end());
                std::sort(sorted.begin(), sorted.end());
                return static_cast<std::size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
              }(),
              largest, options.finds, options.buffer_bytes, options.buffer_bytes / storage::kPageCacheBytesPerPage);
  std::printf("SQLite %s: page size 4096, synchronous OFF, one transaction; Farsi uses a collation calling the"
              " engine's CompareStrings\n",
              sqlite3_libversion());
  std::printf("temporary folder: %s\n\n", dir.c_str());
  EmitBenchNote("index", "Name field (String 60) under a case-sensitive non-unique index, " +
                             std::to_string(options.finds) + " random finds per run, page cache " +
                             std::to_string(options.buffer_bytes) + " bytes; SQLite " + sqlite3_libversion() +
                             ", page size 4096, synchronous OFF; language 0x0429 (Farsi) compares through a"
                             " collation calling the engine's CompareStrings");

  std::printf("%-9s %-6s %-4s | %10s %10s %7s %7s | %10s %10s %7s %7s %7s | %6s %6s %6s\n", "keys", "lang", "comp",
              "ins/s", "find/s", "pages", "B/key", "sq ins/s", "sq find/s", "sq pgs", "sq B/k", "file B/k", "ins",
              "find", "size");
  std::size_t misses = 0;
  for (std::size_t keys : options.sizes) {
    const auto targets = FindTargets(keys, options.finds, options.seed);
    for (std::uint16_t language : {engine::kByteOrderLanguageId, kFarsiLanguageId}) {
      const engine::Locale locale{language, 0};
      const Result sqlite = RunSqlite(names, keys, targets, locale, dir);
      misses += sqlite.misses;
      for (std::uint8_t compression : {std::uint8_t{0}, std::uint8_t{3}}) {
        const Result ours = RunOurs(names, keys, targets, locale, compression, options.buffer_bytes, dir);
        misses += ours.misses;
        std::printf("%-9zu 0x%04x %-4u | %10.0f %10.0f %7lld %7.1f | %10.0f %10.0f %7lld %7.1f %7.1f | %6.2f %6.2f %6.2f\n",
                    keys, language, compression, ours.insert_per_second, ours.find_per_second,
                    static_cast<long long>(ours.pages), ours.bytes_per_key, sqlite.insert_per_second,
                    sqlite.find_per_second, static_cast<long long>(sqlite.pages), sqlite.bytes_per_key,
                    sqlite.file_bytes_per_key, ours.insert_per_second / sqlite.insert_per_second,
                    ours.find_per_second / sqlite.find_per_second,
                    sqlite.bytes_per_key > 0 ? ours.bytes_per_key / sqlite.bytes_per_key : 0.0);
        std::fflush(stdout);
        char what[96];
        std::snprintf(what, sizeof what, "%zu keys, language 0x%04x", keys, language);
        const std::string setup = "key compression " + std::to_string(compression);
        const std::string sqlite_setup = "one transaction, index pages only";
        EmitBenchRow({"index", std::string(what) + ": inserts", setup, "one transaction", "keys/s", true,
                      ours.insert_per_second, sqlite.insert_per_second});
        EmitBenchRow({"index", std::string(what) + ": random finds", setup, "one transaction", "finds/s", true,
                      ours.find_per_second, sqlite.find_per_second});
        EmitBenchRow({"index", std::string(what) + ": index size", setup, sqlite_setup, "bytes/key", false,
                      ours.bytes_per_key, sqlite.bytes_per_key});
      }
    }
  }
  std::printf("\nratios are ours / SQLite (ins, find: keys per second, higher is faster for us; size: index bytes per"
              " key, lower is smaller for us)\n");
  std::printf("sq B/k: SQLite index pages (dbstat) * 4096 / keys; file B/k: whole SQLite file (table and index) / keys\n");
  std::printf("finds that missed their name: %zu\n", misses);
  fs::remove_all(dir);
  if (misses != 0) throw std::runtime_error("some finds did not return the name looked for");
}

}  // namespace
}  // namespace telvora::bench

int main(int argc, char** argv) {
  try {
    telvora::bench::Run(telvora::bench::ParseOptions(argc, argv));
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "telvora-bench-index: %s\n", error.what());
    return 1;
  }
}
