// telvora-bench-filter: search-as-you-type on the phone book's table, the
// filter name='<prefix>*' that the search strip sets at every keystroke,
// beside SQLite doing the same work through its C API in the same run.
//
//   telvora-bench-filter [--sizes N ...] [--keystrokes K] [--seed S]
//
// The table is the phone book's layout: six strings Name (60), Family (70),
// Tel1 (12), Tel2 (12), Mobile (16), Address (65); language 0x0429 (Farsi,
// code page 1256); no primary key, so the cursor shows natural order; one
// non-unique case-sensitive index on Name, none on Address. SQLite gets the
// same six columns (rowid) and an index on Name.
//
// Per size (default 100,000 contacts) and per keystroke, for K (default 200)
// random 1- to 3-character prefixes taken from the beginnings of the
// table's own values:
//   - Telvora: drop the previous filter, add name='<prefix>*' (cost
//     estimates and complement ranges on, as the table component adds its
//     Filter text), activate it, count the visible records, and read the
//     first 20 of them in natural order;
//   - SQLite, with the index: SELECT count(*) ... WHERE Name >= ?1 AND
//     Name < ?2, then the first 20 such rows by rowid (the upper bound is
//     the prefix with its last byte raised);
//   - the same on Address, which neither side indexes: Telvora reads every
//     record, SQLite runs WHERE substr(Address, 1, k) = ?.
// SQLite holds the code page 1256 bytes as BLOBs: they compare byte by byte
// and substr counts bytes.
// Reported: median and 99th percentile of the per-keystroke latency and the
// ratio Telvora / SQLite (at most 1.0: Telvora no slower). The counts of
// both sides are compared and every difference is reported: the engine
// compares under the Farsi locale, SQLite compares bytes, which agree on
// these names.
//
// Not a test: it prints a Markdown report.

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/filter.h"
#include "engine/table_creation_checks.h"
#include "bench_rows.h"
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
constexpr std::uint64_t kDefaultSeed = 20261211;
constexpr std::size_t kDefaultSize = 100'000;
constexpr std::size_t kDefaultKeystrokes = 200;
constexpr std::size_t kShownRecords = 20;
constexpr const char* kTableName = "PhoneBook";
double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// ---------------------------------------------------------------- data

// Contacts: names from the name generator; the address begins with a name
// too (a street or square is named after someone), so that its prefixes
// narrow as a name's do.
std::vector<PhoneBookRow> MakeRows(std::size_t count, std::uint64_t seed) {
  const std::vector<std::string> names = MakePhoneBookNames(count, kPhoneBookFields[kName].size, seed);
  const std::vector<std::string> families = MakePhoneBookNames(count, kPhoneBookFields[kFamily].size, seed + 1);
  const std::vector<std::string> streets = MakePhoneBookNames(count, kPhoneBookFields[kAddress].size - 8, seed + 2);
  std::mt19937_64 random(seed + 3);
  std::vector<PhoneBookRow> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    PhoneBookRow& row = rows[i];
    row[kName] = names[i];
    row[kFamily] = families[i];
    row[kTel1] = RandomDigits(random, 8, "");
    row[kTel2] = RandomDigits(random, 8, "");
    row[kMobile] = RandomDigits(random, 11, "09");
    row[kAddress] = streets[i] + " " + RandomDigits(random, 3, "");
  }
  return rows;
}

// What a user types: the first 1 to 3 characters of a value in the table.
std::vector<std::string> MakePrefixes(const std::vector<PhoneBookRow>& rows, int field, std::size_t count,
                                      std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<std::size_t> row(0, rows.size() - 1);
  std::uniform_int_distribution<std::size_t> length(1, 3);
  std::vector<std::string> prefixes;
  while (prefixes.size() < count) {
    const std::string& value = rows[row(random)][static_cast<std::size_t>(field)];
    const std::string prefix = value.substr(0, std::min(length(random), value.size()));
    // A quote would need doubling in the filter and a blank is trimmed from
    // stored values: neither is what this measures.
    if (prefix.empty() || prefix.find_first_of("' ") != std::string::npos) continue;
    prefixes.push_back(prefix);
  }
  return prefixes;
}

// Per-keystroke latencies and the counts found.
struct Search {
  std::vector<double> seconds;
  std::vector<std::int64_t> counts;
  std::size_t short_reads = 0;  // fewer rows read than min(count, 20)
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())));
  return values[at];
}

// ---------------------------------------------------------------- SQLite

SqliteDatabase FillSqlite(const fs::path& path, const std::vector<PhoneBookRow>& rows, std::size_t count) {
  sqlite3* db = nullptr;
  SqliteCheck(sqlite3_open(path.string().c_str(), &db), db, "open");
  SqliteDatabase owner(db, &sqlite3_close);
  SqliteExec(db, "PRAGMA page_size=4096");
  SqliteExec(db, "PRAGMA synchronous=OFF");
  SqliteExec(db, "CREATE TABLE PhoneBook(Name TEXT, Family TEXT, Tel1 TEXT, Tel2 TEXT, Mobile TEXT, Address TEXT)");
  SqliteExec(db, "CREATE INDEX PhoneBook_Name ON PhoneBook(Name)");
  SqliteStatement insert(db, "INSERT INTO PhoneBook(Name, Family, Tel1, Tel2, Mobile, Address) VALUES(?,?,?,?,?,?)");
  SqliteExec(db, "BEGIN");
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t f = 0; f < kPhoneBookFieldCount; ++f) insert.BindBytes(static_cast<int>(f + 1), rows[i][f]);
    insert.Step();
    insert.Reset();
  }
  SqliteExec(db, "COMMIT");
  SqliteExec(db, "ANALYZE");
  return owner;
}

// The smallest byte string above every string that begins with the prefix.
std::string PrefixEnd(std::string prefix) {
  while (!prefix.empty() && static_cast<std::uint8_t>(prefix.back()) == 0xFF) prefix.pop_back();
  if (!prefix.empty()) prefix.back() = static_cast<char>(static_cast<std::uint8_t>(prefix.back()) + 1);
  return prefix;
}

Search SqliteSearch(sqlite3* db, const std::vector<std::string>& prefixes, bool indexed) {
  const char* count_sql = indexed ? "SELECT count(*) FROM PhoneBook WHERE Name >= ?1 AND Name < ?2"
                                  : "SELECT count(*) FROM PhoneBook WHERE substr(Address, 1, ?3) = ?1";
  const char* rows_sql = indexed
                             ? "SELECT rowid, Name, Family, Tel1, Tel2, Mobile, Address FROM PhoneBook"
                               " WHERE Name >= ?1 AND Name < ?2 ORDER BY rowid LIMIT 20"
                             : "SELECT rowid, Name, Family, Tel1, Tel2, Mobile, Address FROM PhoneBook"
                               " WHERE substr(Address, 1, ?3) = ?1 ORDER BY rowid LIMIT 20";
  SqliteStatement count(db, count_sql);
  SqliteStatement first_rows(db, rows_sql);
  Search search;
  for (const std::string& prefix : prefixes) {
    const auto start = Clock::now();
    for (SqliteStatement* s : {&count, &first_rows}) {
      s->BindBytes(1, prefix);
      if (indexed) {
        s->BindBytes(2, PrefixEnd(prefix));
      } else {
        sqlite3_bind_int(s->handle, 3, static_cast<int>(prefix.size()));
      }
    }
    count.Step();
    const std::int64_t n = sqlite3_column_int64(count.handle, 0);
    count.Reset();
    std::size_t read = 0;
    while (first_rows.Step()) {
      if (sqlite3_column_text(first_rows.handle, 1) != nullptr) ++read;
    }
    first_rows.Reset();
    search.seconds.push_back(Seconds(start, Clock::now()));
    search.counts.push_back(n);
    if (read != std::min<std::size_t>(static_cast<std::size_t>(n), kShownRecords)) ++search.short_reads;
  }
  return search;
}

// ---------------------------------------------------------------- Telvora

engine::TTableDescription PhoneBookDescription() {
  engine::TTableDescription d;
  d.language_id = kFarsiLanguageId;
  d.fields = PhoneBookFieldDescriptors();
  // No primary key fields: the table has only its natural order.
  d.indexes = {storage::TIndexDescriptor{}, PhoneBookSearchIndex("ByName", kName + 1)};
  return d;
}


void FillTelvora(engine::TDataDirectory& directory, const std::vector<PhoneBookRow>& rows, std::size_t count) {
  engine::TDataCursor cursor(directory);
  cursor.SetTableName(kTableName);
  cursor.SetExclusive(true);
  cursor.CreateTable(PhoneBookDescription(), true);
  cursor.SetOpenInNaturalOrder(true);
  cursor.OpenCursor();
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  for (std::size_t i = 0; i < count; ++i) {
    cursor.InitRecord(buffer);
    WriteRowFields(buffer, cursor.Fields(), rows[i]);
    cursor.InsertRecord(buffer, false);
  }
  cursor.CloseCursor();
}

Search TelvoraSearch(engine::TDataDirectory& directory, const std::vector<std::string>& prefixes, const char* field,
                     int& index_level) {
  engine::TDataCursor cursor(directory);
  cursor.SetTableName(kTableName);
  cursor.SetOpenInNaturalOrder(true);
  cursor.OpenCursor();
  engine::TFilterSwitches switches;
  switches.cost_estimates = true;
  switches.complement_ranges = true;
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  engine::TFilter* filter = nullptr;
  Search search;
  for (const std::string& prefix : prefixes) {
    const auto start = Clock::now();
    if (filter != nullptr) cursor.DropFilter(filter);
    filter = cursor.AddFilter(std::string(field) + "='" + prefix + "*'", switches);
    cursor.ActivateFilter(filter);
    const std::int64_t n = cursor.GetRecordCount();
    std::size_t read = 0;
    cursor.MoveFirst();
    while (read < kShownRecords && cursor.MoveNext(buffer) == engine::TDataCursor::kOk) ++read;
    search.seconds.push_back(Seconds(start, Clock::now()));
    search.counts.push_back(n);
    if (read != std::min<std::size_t>(static_cast<std::size_t>(n), kShownRecords)) ++search.short_reads;
    index_level = filter->OptimizationLevel();
  }
  cursor.CloseCursor();
  return search;
}

// ---------------------------------------------------------------- report

std::string Ms(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f ms", seconds * 1000.0);
  return text;
}

std::string Ratio(double ours, double theirs) {
  if (theirs <= 0) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", ours / theirs);
  return text;
}

std::size_t CountDifferences(const Search& a, const Search& b) {
  std::size_t differences = 0;
  for (std::size_t i = 0; i < a.counts.size() && i < b.counts.size(); ++i) differences += a.counts[i] != b.counts[i];
  return differences;
}

struct Options {
  std::vector<std::size_t> sizes;
  std::size_t keystrokes = kDefaultKeystrokes;
  std::uint64_t seed = kDefaultSeed;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sizes") {
      while (i + 1 < argc && argv[i + 1][0] != '-') options.sizes.push_back(ParseBenchCount(argv[++i], "--sizes"));
    } else if (arg == "--keystrokes" && i + 1 < argc) {
      options.keystrokes = ParseBenchCount(argv[++i], "--keystrokes");
    } else if (arg == "--seed" && i + 1 < argc) {
      options.seed = ParseBenchCount(argv[++i], "--seed");
    } else {
      throw std::runtime_error("usage: telvora-bench-filter [--sizes N ...] [--keystrokes K] [--seed S]");
    }
  }
  if (options.sizes.empty()) options.sizes.push_back(kDefaultSize);
  return options;
}

int Run(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  char pattern[] = "/tmp/telvora-bench-filter-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  const fs::path dir = pattern;

  std::printf("# Filter benchmark: search-as-you-type on PhoneBook (six strings, Farsi 0x0429, natural order)\n\n");
  std::printf("SQLite %s, page size 4096, synchronous OFF. %zu keystrokes per size (random 1- to 3-character\n"
              "prefixes of the table's own values), seed %llu. Per keystroke: set the filter, count, read the first\n"
              "%zu visible records. Ratio = Telvora / SQLite (at most 1.0: Telvora no slower).\n\n",
              sqlite3_libversion(), options.keystrokes, static_cast<unsigned long long>(options.seed), kShownRecords);
  EmitBenchNote("filter", "PhoneBook table, Farsi 0x0429; " + std::to_string(options.keystrokes) +
                              " keystrokes per size; per keystroke: set the filter, count, read the first " +
                              std::to_string(kShownRecords) + " visible records; SQLite " + sqlite3_libversion());
  std::printf("| contacts | search | Telvora median | SQLite median | ratio | Telvora p99 | SQLite p99 | ratio |"
              " Telvora level | count differences | short reads |\n");
  std::printf("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const std::size_t size : options.sizes) {
    const std::vector<PhoneBookRow> rows = MakeRows(size, options.seed);
    const fs::path size_dir = dir / std::to_string(size);
    fs::create_directories(size_dir);
    SqliteDatabase db = FillSqlite(size_dir / "phonebook.sqlite", rows, size);
    engine::TDataSession session;
    engine::TDataDirectory& directory = session.OpenDirectory("Bench" + std::to_string(size), size_dir.string() + "/");
    FillTelvora(directory, rows, size);

    struct Kind {
      const char* label;
      int field;
      const char* field_name;
      bool indexed;
    };
    for (const Kind& kind : {Kind{"Name='ab*' (index on Name)", kName, "Name", true},
                             Kind{"Address='ab*' (no index)", kAddress, "Address", false}}) {
      const std::vector<std::string> prefixes =
          MakePrefixes(rows, kind.field, options.keystrokes, options.seed + static_cast<std::uint64_t>(kind.field));
      int level = 0;
      const Search ours = TelvoraSearch(directory, prefixes, kind.field_name, level);
      const Search theirs = SqliteSearch(db.get(), prefixes, kind.indexed);
      const double ours_median = Percentile(ours.seconds, 0.5);
      const double theirs_median = Percentile(theirs.seconds, 0.5);
      const double ours_p99 = Percentile(ours.seconds, 0.99);
      const double theirs_p99 = Percentile(theirs.seconds, 0.99);
      std::printf("| %zu | %s | %s | %s | %s | %s | %s | %s | %d | %zu | %zu |\n", size, kind.label,
                  Ms(ours_median).c_str(), Ms(theirs_median).c_str(), Ratio(ours_median, theirs_median).c_str(),
                  Ms(ours_p99).c_str(), Ms(theirs_p99).c_str(), Ratio(ours_p99, theirs_p99).c_str(), level,
                  CountDifferences(ours, theirs), ours.short_reads + theirs.short_reads);
      std::fflush(stdout);
      const std::string operation =
          std::string("search-as-you-type ") + kind.label + " at " + std::to_string(size) + " contacts";
      EmitBenchRow({"filter", operation + ", median keystroke", "filter", kind.indexed ? "indexed range" : "scan",
                    "s", false, ours_median, theirs_median});
      EmitBenchRow({"filter", operation + ", 99th percentile keystroke", "filter",
                    kind.indexed ? "indexed range" : "scan", "s", false, ours_p99, theirs_p99});
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}

}  // namespace
}  // namespace telvora::bench

int main(int argc, char** argv) {
  try {
    return telvora::bench::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "telvora-bench-filter: %s\n", e.what());
    return 1;
  }
}
