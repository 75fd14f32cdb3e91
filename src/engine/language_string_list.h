#pragma once
// TLanguageStringList: a sorted list of strings that orders and finds them
// under a locale, ignoring case (the stop words of a text index, the words
// of a text-search condition).
//
// Invariants: the strings are in ascending order under CompareStrings with
// case ignored, and no two compare equal: adding a string equal to one
// already held keeps the held one. The locale is fixed at construction.
//
// Not synchronised: one thread at a time; concurrent readers of a list no
// one changes are fine.

#include <cstddef>
#include <string>
#include <vector>

#include "engine/locale.h"

namespace telvora::engine {

class TLanguageStringList {
 public:
  explicit TLanguageStringList(const Locale& locale) : locale_(locale) {}

  const Locale& locale() const { return locale_; }
  std::size_t Count() const { return strings_.size(); }
  const std::string& operator[](std::size_t index) const { return strings_[index]; }
  const std::vector<std::string>& Strings() const { return strings_; }

  // Inserts text at its place unless an equal string is held; returns the
  // index of the string now equal to text (the held one or the new one).
  std::size_t Add(const std::string& text);

  // Binary search for text over whole strings. Returns true when an equal
  // string is held; index is then the first of the equal entries, and
  // otherwise the place where text would be inserted.
  bool Find(const std::string& text, std::size_t& index) const;

  // As Find, comparing only the first count characters of each (a word
  // prefix written "abc*" is found with count 3). count 0 compares whole
  // strings.
  bool FindPartial(const std::string& text, int count, std::size_t& index) const;

  void Clear() { strings_.clear(); }

 private:
  Locale locale_;
  std::vector<std::string> strings_;
};

}  // namespace telvora::engine
