#pragma once
// AckJournal: the writes a test program had acknowledged, one text line per
// write, in a file of its own. A line goes out in one write(2) on a file
// opened for appending, so it has reached the file (the page cache) before
// the program goes on, whatever happens to the program afterwards; a
// program killed half-way leaves whole lines only. The test reads the lines
// back once the program has ended and builds its model from them.

#include <filesystem>
#include <string>
#include <vector>

namespace telvora::testing {

class AckJournal {
 public:
  // Creates the file (empty) or throws std::runtime_error.
  explicit AckJournal(const std::filesystem::path& path);
  ~AckJournal();
  AckJournal(const AckJournal&) = delete;
  AckJournal& operator=(const AckJournal&) = delete;

  // The line without its end; throws std::runtime_error when it cannot be
  // written whole.
  void Append(const std::string& line);

  // Every whole line of a journal (a last line without its end is left
  // out: its write did not finish).
  static std::vector<std::string> Lines(const std::filesystem::path& path);

 private:
  int fd_ = -1;
};

}  // namespace telvora::testing
