#pragma once
// The figures a benchmark program hands to `make bench`'s report: each
// measured operation with Telvora's figure and SQLite's beside it from the
// same run. When TELVORA_BENCH_ROWS names a file, every row and note is
// appended to it as one tab-separated line; scripts/bench-report.py gathers
// the files of all programs into bench/REPORT.md. Without the variable the
// calls do nothing, so a program run by hand prints only its own table.
//
// Line forms (fields never hold tabs or line ends):
//   row  BENCHMARK OPERATION TELVORA_SETUP SQLITE_SETUP UNIT higher|lower TELVORA SQLITE
//   note BENCHMARK TEXT

#include <string>

namespace telvora::bench {

struct BenchRow {
  std::string benchmark;      // e.g. "cursor"
  std::string operation;      // what was measured, with its size
  std::string telvora_setup;  // e.g. "shared table"
  std::string sqlite_setup;   // e.g. "autocommit"
  std::string unit;           // e.g. "s", "keys/s", "bytes/key"
  bool higher_is_better = false;
  double telvora = 0;
  double sqlite = 0;
};

void EmitBenchRow(const BenchRow& row);
// A line of context for the benchmark's section (settings, versions).
void EmitBenchNote(const std::string& benchmark, const std::string& text);

}  // namespace telvora::bench
