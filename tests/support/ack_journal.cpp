#include "support/ack_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace telvora::testing {

AckJournal::AckJournal(const std::filesystem::path& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) throw std::runtime_error("cannot create the journal " + path.string());
}

AckJournal::~AckJournal() {
  if (fd_ >= 0) ::close(fd_);
}

void AckJournal::Append(const std::string& line) {
  const std::string text = line + "\n";
  ssize_t written = -1;
  do {
    written = ::write(fd_, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written != static_cast<ssize_t>(text.size())) throw std::runtime_error("journal write failed");
}

std::vector<std::string> AckJournal::Lines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace telvora::testing
