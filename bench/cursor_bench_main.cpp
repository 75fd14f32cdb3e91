// telvora-bench-cursor: how fast the table cursor writes and finds phone
// book records, beside SQLite doing the same work through its C API in the
// same run.
//
//   telvora-bench-cursor [--size N] [--go-to-size N] [--seed S]
//
// The table is the phone book's: six strings Name (60), Family (70), Tel1
// (12), Tel2 (12), Mobile (16), Address (65); language 0x0429 (Farsi); no
// primary key (natural order) and non-unique case-sensitive secondary
// indexes "Name" and "Family". SQLite gets a table of the same six columns
// (rowid) with indexes on Name and Family; its Name and Family columns use a
// collation that calls the engine's string comparison, so both sides order
// the names alike.
//
// Per run (size N, default 100,000):
//   - N single-record inserts, on a shared and on an exclusive table; SQLite
//     one statement per insert, once in autocommit and once inside one
//     transaction;
//   - going to record n for 1,000 random n in Name order (SetRecordNumber +
//     GetCurrentRecord; SQLite: SELECT ... ORDER BY Name LIMIT 1 OFFSET n);
//   - 10,000 random edits (new Name and Mobile);
//   - 10,000 deletes of random records.
// --go-to-size M also fills M records (exclusive table, SQLite in one
// transaction) and measures going to record n there.
//
// Edits on a shared table read the record, then lock it, as an editor does. Not a
// test: it checks only that each read
// finds a record, and prints a Markdown report.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>

#include "bench_rows.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/locale.h"
#include "engine/locale_collation.h"
#include "engine/table_creation_checks.h"
#include "phone_book_names.h"
#include "phone_book_rows.h"
#include "sqlite_statement.h"
#include "storage/field_descriptor.h"
#include "storage/field_types.h"
#include "storage/index_descriptor.h"

namespace telvora::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kFarsiLanguageId = 0x0429;
constexpr std::uint64_t kDefaultSeed = 20261210;
constexpr std::size_t kDefaultSize = 100'000;
constexpr std::size_t kGoTos = 1'000;
constexpr std::size_t kEdits = 10'000;
constexpr std::size_t kDeletes = 10'000;
constexpr const char* kTableName = "PhoneBook";
double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// ---------------------------------------------------------------- data

// Rows of a phone book: given and family names from the name generator,
// numbers and a short address. The same seed gives the same rows.
std::vector<PhoneBookRow> MakeRows(std::size_t count, std::uint64_t seed) {
  const std::vector<std::string> names = MakePhoneBookNames(count, kPhoneBookFields[kName].size, seed);
  const std::vector<std::string> families = MakePhoneBookNames(count, kPhoneBookFields[kFamily].size, seed + 1);
  std::mt19937_64 random(seed + 2);
  std::vector<PhoneBookRow> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    PhoneBookRow& row = rows[i];
    row[kName] = names[i];
    row[kFamily] = families[i];
    row[kTel1] = RandomDigits(random, 8, "");
    row[kTel2] = RandomDigits(random, 8, "");
    row[kMobile] = RandomDigits(random, 11, "09");
    row[kAddress] = "Street " + RandomDigits(random, 3, "") + ", No. " + RandomDigits(random, 2, "");
  }
  return rows;
}

// The work every side does, drawn once so that both do the same.
struct Workload {
  std::vector<std::int64_t> go_to;       // 0-based places in Name order
  std::vector<std::int64_t> edit_places; // 0-based places among the records
  std::vector<PhoneBookRow> edits;                // new values (Name and Mobile used)
  std::vector<std::int64_t> delete_places;  // 0-based, among the remaining
};

Workload MakeWorkload(std::size_t size, std::size_t go_to_size, std::uint64_t seed) {
  Workload w;
  std::mt19937_64 random(seed + 3);
  std::uniform_int_distribution<std::int64_t> go(0, static_cast<std::int64_t>(go_to_size) - 1);
  for (std::size_t i = 0; i < kGoTos; ++i) w.go_to.push_back(go(random));
  std::uniform_int_distribution<std::int64_t> place(0, static_cast<std::int64_t>(size) - 1);
  const std::size_t edits = std::min(kEdits, size);
  for (std::size_t i = 0; i < edits; ++i) w.edit_places.push_back(place(random));
  w.edits = MakeRows(edits, seed + 10);
  const std::size_t deletes = std::min(kDeletes, size);
  for (std::size_t i = 0; i < deletes; ++i) {
    std::uniform_int_distribution<std::int64_t> left(0, static_cast<std::int64_t>(size - i) - 1);
    w.delete_places.push_back(left(random));
  }
  return w;
}

// Seconds per measured step.
struct Timings {
  std::optional<double> insert;
  std::optional<double> go_to;
  std::optional<double> edit;
  std::optional<double> remove;
};

// ---------------------------------------------------------------- SQLite


// The engine's case-sensitive string order, as an SQLite collation. The
// strings come without terminator and fit the longest field.
constexpr std::size_t kLongestField = 70;
int EngineCollation(void* context, int length1, const void* s1, int length2, const void* s2) {
  const auto* locale = static_cast<const engine::Locale*>(context);
  char a[kLongestField + 2] = {};
  char b[kLongestField + 2] = {};
  std::memcpy(a, s1, std::min<std::size_t>(static_cast<std::size_t>(length1), kLongestField + 1));
  std::memcpy(b, s2, std::min<std::size_t>(static_cast<std::size_t>(length2), kLongestField + 1));
  return engine::CompareStrings(*locale, a, b, false);
}

SqliteDatabase OpenSqlite(const fs::path& path, const engine::Locale& locale) {
  sqlite3* db = nullptr;
  SqliteCheck(sqlite3_open(path.string().c_str(), &db), db, "open");
  SqliteDatabase owner(db, &sqlite3_close);
  SqliteExec(db, "PRAGMA page_size=4096");
  // The table engine writes without syncing to the disk; so does SQLite here.
  SqliteExec(db, "PRAGMA synchronous=OFF");
  SqliteCheck(sqlite3_create_collation_v2(db, "ENGINE", SQLITE_UTF8, const_cast<engine::Locale*>(&locale), &EngineCollation,
                                    nullptr),
        db, "collation");
  SqliteExec(db,
       "CREATE TABLE PhoneBook(Name TEXT COLLATE ENGINE, Family TEXT COLLATE ENGINE, Tel1 TEXT, Tel2 TEXT,"
       " Mobile TEXT, Address TEXT)");
  SqliteExec(db, "CREATE INDEX PhoneBook_Name ON PhoneBook(Name)");
  SqliteExec(db, "CREATE INDEX PhoneBook_Family ON PhoneBook(Family)");
  return owner;
}

void SqliteInsert(sqlite3* db, const std::vector<PhoneBookRow>& rows, std::size_t count, bool one_transaction) {
  SqliteStatement insert(db, "INSERT INTO PhoneBook(Name, Family, Tel1, Tel2, Mobile, Address) VALUES(?,?,?,?,?,?)");
  if (one_transaction) SqliteExec(db, "BEGIN");
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t f = 0; f < kPhoneBookFieldCount; ++f) insert.BindText(static_cast<int>(f + 1), rows[i][f]);
    insert.Step();
    insert.Reset();
  }
  if (one_transaction) SqliteExec(db, "COMMIT");
}

std::size_t SqliteGoTo(sqlite3* db, const std::vector<std::int64_t>& places) {
  SqliteStatement go(db, "SELECT Name, Family, Tel1, Tel2, Mobile, Address FROM PhoneBook ORDER BY Name LIMIT 1 OFFSET ?");
  std::size_t misses = 0;
  for (const std::int64_t n : places) {
    sqlite3_bind_int64(go.handle, 1, n);
    if (!go.Step() || sqlite3_column_text(go.handle, 0) == nullptr) ++misses;
    go.Reset();
  }
  return misses;
}

// Runs the whole sequence on a fresh database; one_transaction wraps each
// writing step in one transaction, otherwise every statement commits.
Timings RunSqlite(const std::vector<PhoneBookRow>& rows, std::size_t size, const Workload& work, const engine::Locale& locale,
                  const fs::path& path, bool one_transaction, std::size_t& misses) {
  Timings t;
  SqliteDatabase owner = OpenSqlite(path, locale);
  sqlite3* db = owner.get();
  auto start = Clock::now();
  SqliteInsert(db, rows, size, one_transaction);
  t.insert = Seconds(start, Clock::now());

  start = Clock::now();
  misses += SqliteGoTo(db, work.go_to);
  t.go_to = Seconds(start, Clock::now());

  // The rowids in natural order: the n-th record is rowids[n].
  std::vector<std::int64_t> rowids;
  {
    SqliteStatement all(db, "SELECT rowid FROM PhoneBook ORDER BY rowid");
    while (all.Step()) rowids.push_back(sqlite3_column_int64(all.handle, 0));
  }
  {
    SqliteStatement edit(db, "UPDATE PhoneBook SET Name = ?, Mobile = ? WHERE rowid = ?");
    start = Clock::now();
    if (one_transaction) SqliteExec(db, "BEGIN");
    for (std::size_t i = 0; i < work.edit_places.size(); ++i) {
      edit.BindText(1, work.edits[i][kName]);
      edit.BindText(2, work.edits[i][kMobile]);
      sqlite3_bind_int64(edit.handle, 3, rowids[static_cast<std::size_t>(work.edit_places[i])]);
      edit.Step();
      edit.Reset();
    }
    if (one_transaction) SqliteExec(db, "COMMIT");
    t.edit = Seconds(start, Clock::now());
  }
  {
    SqliteStatement remove(db, "DELETE FROM PhoneBook WHERE rowid = ?");
    start = Clock::now();
    if (one_transaction) SqliteExec(db, "BEGIN");
    for (const std::int64_t place : work.delete_places) {
      const auto at = rowids.begin() + place;
      sqlite3_bind_int64(remove.handle, 1, *at);
      remove.Step();
      remove.Reset();
      rowids.erase(at);
    }
    if (one_transaction) SqliteExec(db, "COMMIT");
    t.remove = Seconds(start, Clock::now());
  }
  return t;
}

std::optional<double> SqliteGoToLarge(const std::vector<PhoneBookRow>& rows, const Workload& work,
                                      const engine::Locale& locale, const fs::path& path, std::size_t& misses) {
  SqliteDatabase owner = OpenSqlite(path, locale);
  SqliteInsert(owner.get(), rows, rows.size(), true);
  const auto start = Clock::now();
  misses += SqliteGoTo(owner.get(), work.go_to);
  return Seconds(start, Clock::now());
}

// ---------------------------------------------------------------- Telvora

engine::TTableDescription PhoneBookDescription() {
  engine::TTableDescription d;
  d.language_id = kFarsiLanguageId;
  d.fields = PhoneBookFieldDescriptors();
  // No primary key fields: the table has only its natural order.
  d.indexes = {storage::TIndexDescriptor{}, PhoneBookSearchIndex("Name", kName + 1),
               PhoneBookSearchIndex("Family", kFamily + 1)};
  return d;
}


void Insert(engine::TDataCursor& cursor, const std::vector<PhoneBookRow>& rows, std::size_t count) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  for (std::size_t i = 0; i < count; ++i) {
    cursor.InitRecord(buffer);
    WriteRowFields(buffer, cursor.Fields(), rows[i], kAllPhoneBookFields);
    cursor.InsertRecord(buffer, false);
  }
}

std::size_t GoTo(engine::TDataCursor& cursor, const std::vector<std::int64_t>& places) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  std::size_t misses = 0;
  cursor.SelectIndex("Name");
  for (const std::int64_t n : places) {
    // Record numbers count from 1.
    if (!cursor.SetRecordNumber(static_cast<std::int32_t>(n + 1)) ||
        cursor.GetCurrentRecord(buffer) != engine::TDataCursor::kOk) {
      ++misses;
    }
  }
  return misses;
}

// Creates the table afresh (creation needs an exclusive cursor) and opens
// it shared or exclusively in natural order.
void CreateAndOpen(engine::TDataCursor& cursor, bool exclusive) {
  cursor.SetTableName(kTableName);
  cursor.SetExclusive(true);
  cursor.CreateTable(PhoneBookDescription(), true);
  cursor.SetExclusive(exclusive);
  cursor.SetOpenInNaturalOrder(true);
  cursor.OpenCursor();
}

Timings RunTelvora(engine::TDataDirectory& directory, const std::vector<PhoneBookRow>& rows, std::size_t size,
                   const Workload& work, bool exclusive, std::size_t& misses) {
  Timings t;
  engine::TDataCursor cursor(directory);
  CreateAndOpen(cursor, exclusive);
  auto start = Clock::now();
  Insert(cursor, rows, size);
  t.insert = Seconds(start, Clock::now());

  start = Clock::now();
  misses += GoTo(cursor, work.go_to);
  t.go_to = Seconds(start, Clock::now());

  // Edits and deletes find their records by number in natural order.
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  cursor.SelectIndexNumber(engine::TDataCursor::kNaturalOrder);
  start = Clock::now();
  for (std::size_t i = 0; i < work.edit_places.size(); ++i) {
    if (!cursor.SetRecordNumber(static_cast<std::int32_t>(work.edit_places[i] + 1)) ||
        cursor.GetCurrentRecord(buffer) != engine::TDataCursor::kOk) {
      ++misses;
      continue;
    }
    // The edit starts as an editor's does: the record as shown is locked,
    // and the lock checks that nobody changed it meanwhile.
    if (!exclusive && cursor.GetCurrentRecord(buffer, true) != engine::TDataCursor::kOk) {
      ++misses;
      continue;
    }
    WriteRowFields(buffer, cursor.Fields(), work.edits[i], {kName, kMobile});
    cursor.ModifyRecord(buffer, !exclusive, false);
  }
  t.edit = Seconds(start, Clock::now());

  start = Clock::now();
  for (const std::int64_t place : work.delete_places) {
    if (!cursor.SetRecordNumber(static_cast<std::int32_t>(place + 1)) ||
        cursor.GetCurrentRecord(buffer) != engine::TDataCursor::kOk) {
      ++misses;
      continue;
    }
    cursor.DeleteRecord(buffer, false);
  }
  t.remove = Seconds(start, Clock::now());
  cursor.CloseCursor();
  return t;
}

double TelvoraGoToLarge(engine::TDataDirectory& directory, const std::vector<PhoneBookRow>& rows, const Workload& work,
                        std::size_t& misses) {
  engine::TDataCursor cursor(directory);
  CreateAndOpen(cursor, true);
  Insert(cursor, rows, rows.size());
  const auto start = Clock::now();
  misses += GoTo(cursor, work.go_to);
  const double seconds = Seconds(start, Clock::now());
  cursor.CloseCursor();
  return seconds;
}

// ---------------------------------------------------------------- report

std::string Time(const std::optional<double>& seconds) {
  if (!seconds) return "n/a";
  char text[32];
  if (*seconds < 1.0) {
    std::snprintf(text, sizeof text, "%.1f ms", *seconds * 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%.2f s", *seconds);
  }
  return text;
}

// SQLite's time over ours: above 1 means we are faster.
std::string Ratio(const std::optional<double>& ours, const std::optional<double>& theirs) {
  if (!ours || !theirs || *ours <= 0) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.2fx", *theirs / *ours);
  return text;
}

struct Options {
  std::size_t size = kDefaultSize;
  std::size_t go_to_size = 0;
  std::uint64_t seed = kDefaultSeed;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--size") {
      options.size = ParseBenchCount(value(), "--size");
    } else if (arg == "--go-to-size") {
      options.go_to_size = ParseBenchCount(value(), "--go-to-size");
    } else if (arg == "--seed") {
      options.seed = ParseBenchCount(value(), "--seed");
    } else {
      throw std::runtime_error("usage: telvora-bench-cursor [--size N] [--go-to-size N] [--seed S]");
    }
  }
  return options;
}

int Run(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  char pattern[] = "/tmp/telvora-bench-cursor-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  const fs::path dir = pattern;
  const engine::Locale locale{kFarsiLanguageId, 0};

  const std::vector<PhoneBookRow> rows = MakeRows(options.size, options.seed);
  const Workload work = MakeWorkload(options.size, options.size, options.seed);
  std::size_t misses = 0;

  const Timings autocommit = RunSqlite(rows, options.size, work, locale, dir / "autocommit.sqlite", false, misses);
  const Timings transaction = RunSqlite(rows, options.size, work, locale, dir / "transaction.sqlite", true, misses);
  Timings shared;
  Timings exclusive;
  {
    engine::TDataSession session;
    const fs::path shared_dir = dir / "shared";
    const fs::path exclusive_dir = dir / "exclusive";
    fs::create_directories(shared_dir);
    fs::create_directories(exclusive_dir);
    engine::TDataDirectory& shared_db = session.OpenDirectory("Shared", shared_dir.string() + "/");
    shared = RunTelvora(shared_db, rows, options.size, work, false, misses);
    engine::TDataDirectory& exclusive_db = session.OpenDirectory("Exclusive", exclusive_dir.string() + "/");
    exclusive = RunTelvora(exclusive_db, rows, options.size, work, true, misses);
  }

  std::optional<double> sqlite_large;
  std::optional<double> telvora_large;
  if (options.go_to_size > 0) {
    const std::vector<PhoneBookRow> large_rows = MakeRows(options.go_to_size, options.seed + 100);
    const Workload large_work = MakeWorkload(options.go_to_size, options.go_to_size, options.seed + 100);
    sqlite_large = SqliteGoToLarge(large_rows, large_work, locale, dir / "large.sqlite", misses);
    engine::TDataSession session;
    const fs::path large_dir = dir / "large";
    fs::create_directories(large_dir);
    engine::TDataDirectory& large_db = session.OpenDirectory("Large", large_dir.string() + "/");
    telvora_large = TelvoraGoToLarge(large_db, large_rows, large_work, misses);
  }

  std::printf("# Cursor benchmark: PhoneBook (six strings, Farsi 0x0429, natural order, indexes Name and Family)\n\n");
  std::printf("SQLite %s, page size 4096, synchronous OFF, Name and Family under a collation calling the engine's\n"
              "string comparison. %zu records, seed %llu. Ratio = SQLite time / Telvora time (above 1: Telvora\n"
              "faster). The fair match of a shared table is SQLite in autocommit (each write is its own\n"
              "transaction, visible to other programs at once); of an exclusive table, SQLite in one transaction.\n\n",
              sqlite3_libversion(), options.size, static_cast<unsigned long long>(options.seed));
  std::printf("| operation | Telvora shared | Telvora exclusive | SQLite autocommit | SQLite one transaction |"
              " shared / autocommit | exclusive / one transaction |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  const auto line = [&](const char* what, auto member) {
    std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", what, Time(shared.*member).c_str(),
                Time(exclusive.*member).c_str(), Time(autocommit.*member).c_str(),
                Time(transaction.*member).c_str(), Ratio(shared.*member, autocommit.*member).c_str(),
                Ratio(exclusive.*member, transaction.*member).c_str());
    const auto emit = [&](const char* ours_setup, const std::optional<double>& ours, const char* sqlite_setup,
                          const std::optional<double>& theirs) {
      if (ours && theirs) EmitBenchRow({"cursor", what, ours_setup, sqlite_setup, "s", false, *ours, *theirs});
    };
    emit("shared table", shared.*member, "autocommit", autocommit.*member);
    emit("exclusive table", exclusive.*member, "one transaction", transaction.*member);
  };
  EmitBenchNote("cursor", "PhoneBook table (six strings, Farsi 0x0429, indexes Name and Family), " +
                              std::to_string(options.size) + " records, seed " + std::to_string(options.seed) +
                              "; SQLite " + sqlite3_libversion() +
                              ", page size 4096, synchronous OFF, Name and Family under a collation calling the"
                              " engine's string comparison");
  char label[96];
  std::snprintf(label, sizeof label, "%zu inserts", options.size);
  line(label, &Timings::insert);
  std::snprintf(label, sizeof label, "go to record n, %zu random n, Name order", work.go_to.size());
  line(label, &Timings::go_to);
  std::snprintf(label, sizeof label, "%zu random edits", work.edit_places.size());
  line(label, &Timings::edit);
  std::snprintf(label, sizeof label, "%zu deletes", work.delete_places.size());
  line(label, &Timings::remove);
  if (options.go_to_size > 0) {
    std::printf("\n| go to record n at %zu records (%zu random n, Name order) | Telvora exclusive | SQLite |"
                " ratio (target >= 100x) |\n|---|---:|---:|---:|\n| | %s | %s | %s |\n",
                options.go_to_size, kGoTos, Time(telvora_large).c_str(), Time(sqlite_large).c_str(),
                Ratio(telvora_large, sqlite_large).c_str());
    if (telvora_large && sqlite_large) {
      EmitBenchRow({"cursor",
                    "go to record n at " + std::to_string(options.go_to_size) + " records (" +
                        std::to_string(kGoTos) + " random n, Name order)",
                    "exclusive table", "one transaction", "s", false, *telvora_large, *sqlite_large});
    }
  }
  std::printf("\nreads that found no record: %zu\n", misses);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}

}  // namespace
}  // namespace telvora::bench

int main(int argc, char** argv) {
  try {
    return telvora::bench::Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "telvora-bench-cursor: %s\n", error.what());
    return 1;
  }
}
