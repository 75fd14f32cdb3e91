#include "storage/text_index_parameters.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

#include "storage/byte_image.h"
#include "storage/storage_errors.h"
#include "storage/table_changed.h"

namespace telvora::storage {
namespace {

constexpr std::size_t kLengthWord = 4;
constexpr std::string_view kDefaultStopWords[] = {"A",  "AN", "AND",  "BE",   "FOR",  "HOW",   "IN",  "IS",
                                                  "IT", "OF", "ON",   "OR",   "THAT", "THE",   "THIS", "TO",
                                                  "WAS", "WHAT", "WHEN", "WHICH", "WHY", "WILL"};
constexpr std::string_view kDefaultSeparatorMarks = "*+,-./:;<=>\\`";

// Walks the chain of data pages one unit at a time.
class TDataPageStream {
 public:
  TDataPageStream(TIndexPageCache& cache, std::int32_t first) : cache_(cache), number_(first) {}
  ~TDataPageStream() { cache_.ReleasePage(page_); }

  void Write(const std::uint8_t* bytes, std::size_t length) {
    Place(length, true);
    std::memcpy(page_->Data().data() + position_, bytes, length);
    position_ += length;
    page_->set_modified(true);
  }

  void Read(std::uint8_t* bytes, std::size_t length) {
    Place(length, false);
    std::memcpy(bytes, page_->Data().data() + position_, length);
    position_ += length;
  }

 private:
  [[noreturn]] void Corrupt() const { RaiseTableError(VORA_INDEXCORRUPT, cache_.file().TableName()); }

  // Makes room for a unit of length bytes: on this page, or at the start of
  // the next one (made when writing past the end of the chain).
  void Place(std::size_t length, bool writing) {
    if (length > kPageDataSize) Corrupt();
    if (page_ != nullptr && position_ + length <= kPageDataSize) return;
    std::int32_t next = number_;
    if (page_ != nullptr) {
      next = page_->right();
      if (next == 0 && writing) {
        TPage* fresh = cache_.NewPage();
        fresh->set_kind(PageKind::Data);
        fresh->set_left(page_->number());
        page_->set_right(fresh->number());
        page_->set_modified(true);
        Enter(fresh, writing);
        return;
      }
    }
    if (next == 0) Corrupt();
    TPage* page = cache_.GetPage(next);
    // No page: reading it found the table changed by another program, which
    // says nothing about the chain; the caller starts again.
    if (page == nullptr) throw ETableChanged{};
    if (page->kind() != PageKind::Data || page->freed()) {
      cache_.ReleasePage(page);
      Corrupt();
    }
    Enter(page, writing);
  }

  void Enter(TPage* page, bool writing) {
    if (!visited_.insert(page->number()).second) {
      cache_.ReleasePage(page);
      Corrupt();
    }
    cache_.ReleasePage(page_);
    page_ = page;
    number_ = page->number();
    position_ = 0;
    if (writing) {
      const auto data = page_->Data();
      std::fill(data.begin(), data.end(), 0);
      page_->set_modified(true);
    }
  }

  TIndexPageCache& cache_;
  std::int32_t number_;
  TPage* page_ = nullptr;
  std::size_t position_ = 0;
  std::set<std::int32_t> visited_;  // a chain that comes back is corrupt
};

void WriteLength(TDataPageStream& stream, std::size_t length) {
  std::uint8_t bytes[kLengthWord];
  StoreLittle<std::uint32_t>(bytes, 0, static_cast<std::uint32_t>(length));
  stream.Write(bytes, kLengthWord);
}

std::uint32_t ReadLength(TDataPageStream& stream) {
  std::uint8_t bytes[kLengthWord];
  stream.Read(bytes, kLengthWord);
  return LoadLittle<std::uint32_t>(bytes, 0);
}

}  // namespace

bool InCharacterSet(const TCharacterSet& set, std::uint8_t c) { return (set[c / 8] & (1u << (c % 8))) != 0; }

void AddToCharacterSet(TCharacterSet& set, std::uint8_t c) {
  set[c / 8] = static_cast<std::uint8_t>(set[c / 8] | (1u << (c % 8)));
}

TTextIndexParameters TTextIndexParameters::Defaults() {
  TTextIndexParameters parameters;
  for (std::string_view word : kDefaultStopWords) parameters.stop_words.emplace_back(word);
  for (int c = 1; c <= 32; ++c) AddToCharacterSet(parameters.separators, static_cast<std::uint8_t>(c));
  for (char c : kDefaultSeparatorMarks) AddToCharacterSet(parameters.separators, static_cast<std::uint8_t>(c));
  for (int c = 'A'; c <= 'Z'; ++c) AddToCharacterSet(parameters.word_characters, static_cast<std::uint8_t>(c));
  for (int c = 'a'; c <= 'z'; ++c) AddToCharacterSet(parameters.word_characters, static_cast<std::uint8_t>(c));
  for (int c = '0'; c <= '9'; ++c) AddToCharacterSet(parameters.word_characters, static_cast<std::uint8_t>(c));
  AddToCharacterSet(parameters.word_characters, '_');
  for (int c = 128; c <= 254; ++c) AddToCharacterSet(parameters.word_characters, static_cast<std::uint8_t>(c));
  return parameters;
}

void WriteTextIndexParameters(TIndexPageCache& cache, const TTextIndexParameters& parameters) {
  TIndexPageFile& file = cache.file();
  std::int32_t first = file.TextDataPage();
  if (first == 0) {
    TPage* page = cache.NewPage();
    page->set_kind(PageKind::Data);
    first = page->number();
    cache.ReleasePage(page);
    file.SetTextDataPage(first);
  }
  TDataPageStream stream(cache, first);
  WriteLength(stream, parameters.stop_words.size());
  for (const std::string& word : parameters.stop_words) {
    const std::size_t length = std::min(word.size(), kPageDataSize);
    WriteLength(stream, length);
    if (length > 0) stream.Write(reinterpret_cast<const std::uint8_t*>(word.data()), length);
  }
  WriteLength(stream, kCharacterSetSize);
  stream.Write(parameters.separators.data(), kCharacterSetSize);
  WriteLength(stream, kCharacterSetSize);
  stream.Write(parameters.word_characters.data(), kCharacterSetSize);
  file.PagesChanged();
}

std::optional<TTextIndexParameters> ReadTextIndexParameters(TIndexPageCache& cache) {
  const std::int32_t first = cache.file().TextDataPage();
  if (first == 0) return std::nullopt;
  TTextIndexParameters parameters;
  TDataPageStream stream(cache, first);
  const std::uint32_t count = ReadLength(stream);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t length = ReadLength(stream);
    std::string word(length, '\0');
    if (length > 0) stream.Read(reinterpret_cast<std::uint8_t*>(word.data()), length);
    parameters.stop_words.push_back(std::move(word));
  }
  for (TCharacterSet* set : {&parameters.separators, &parameters.word_characters}) {
    if (ReadLength(stream) != kCharacterSetSize) {
      RaiseTableError(VORA_INDEXCORRUPT, cache.file().TableName());
    }
    stream.Read(set->data(), kCharacterSetSize);
  }
  return parameters;
}

}  // namespace telvora::storage
