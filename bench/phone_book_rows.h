#pragma once
// The phone book's records as the benchmarks make them: six strings with
// the table's sizes, filled with generated names and random digits, and
// written into engine record images.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <span>
#include <string>

#include <vector>

#include "storage/field_descriptor.h"
#include "storage/index_descriptor.h"

namespace telvora::bench {

struct PhoneBookField {
  const char* name;
  std::uint16_t size;
};
inline constexpr PhoneBookField kPhoneBookFields[] = {{"Name", 60},  {"Family", 70}, {"Tel1", 12},
                                                      {"Tel2", 12},  {"Mobile", 16}, {"Address", 65}};
inline constexpr std::size_t kPhoneBookFieldCount = std::size(kPhoneBookFields);
enum PhoneBookFieldIndex { kName = 0, kFamily, kTel1, kTel2, kMobile, kAddress };
inline constexpr std::initializer_list<int> kAllPhoneBookFields = {kName, kFamily, kTel1, kTel2, kMobile, kAddress};

using PhoneBookRow = std::array<std::string, kPhoneBookFieldCount>;

// The six string fields' descriptors, numbered from 1 (offsets are laid
// out by the table creation).
std::vector<storage::TFieldDescriptor> PhoneBookFieldDescriptors();

// A non-unique, case-sensitive index on one field (numbered from 1).
storage::TIndexDescriptor PhoneBookSearchIndex(const char* name, std::uint16_t field_number);

// Reads a benchmark option's count: a whole number above 0, else
// std::runtime_error naming the option.
std::size_t ParseBenchCount(const char* text, const char* option);

// `prefix` followed by random digits up to `count` characters.
std::string RandomDigits(std::mt19937_64& random, std::size_t count, const char* prefix);

// Writes the row's strings of the fields `which` into a record image at the
// fields' offsets (a flag byte, then the text padded with zeros; an empty
// value stays null).
void WriteRowFields(std::span<std::uint8_t> buffer, std::span<const storage::TFieldDescriptor> fields,
                    const PhoneBookRow& row, std::initializer_list<int> which = kAllPhoneBookFields);

}  // namespace telvora::bench
