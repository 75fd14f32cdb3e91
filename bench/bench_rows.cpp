#include "bench_rows.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace telvora::bench {
namespace {

// Tabs and line ends would split a field; they become blanks.
std::string Field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

void Append(const std::string& line) {
  const char* path = std::getenv("TELVORA_BENCH_ROWS");
  if (path == nullptr || *path == '\0') return;
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot append to %s\n", path);
    return;
  }
  std::fputs(line.c_str(), file);
  std::fclose(file);
}

}  // namespace

void EmitBenchRow(const BenchRow& row) {
  char figures[64];
  std::snprintf(figures, sizeof figures, "%.6g\t%.6g", row.telvora, row.sqlite);
  Append("row\t" + Field(row.benchmark) + "\t" + Field(row.operation) + "\t" + Field(row.telvora_setup) + "\t" +
         Field(row.sqlite_setup) + "\t" + Field(row.unit) + "\t" + (row.higher_is_better ? "higher" : "lower") +
         "\t" + figures + "\n");
}

void EmitBenchNote(const std::string& benchmark, const std::string& text) {
  Append("note\t" + Field(benchmark) + "\t" + Field(text) + "\n");
}

}  // namespace telvora::bench
