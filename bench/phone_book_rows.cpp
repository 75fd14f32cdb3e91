#include "phone_book_rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "storage/field_types.h"

namespace telvora::bench {

std::vector<storage::TFieldDescriptor> PhoneBookFieldDescriptors() {
  std::vector<storage::TFieldDescriptor> fields;
  std::uint16_t number = 0;
  for (const PhoneBookField& field : kPhoneBookFields) {
    storage::TFieldDescriptor f;
    f.SetFieldNumber(++number);
    f.SetName(field.name);
    f.SetType(storage::kTypeString);
    f.SetDeclaredSize(field.size);
    fields.push_back(f);
  }
  return fields;
}

storage::TIndexDescriptor PhoneBookSearchIndex(const char* name, std::uint16_t field_number) {
  storage::TIndexDescriptor index;
  index.SetName(name);
  index.SetUnique(false);
  index.SetCaseInsensitive(false);
  index.SetKeyFieldCount(1);
  index.SetKeyFieldNumber(0, field_number);
  return index;
}

std::size_t ParseBenchCount(const char* text, const char* option) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || value == 0) throw std::runtime_error(std::string("bad value for ") + option);
  return static_cast<std::size_t>(value);
}

std::string RandomDigits(std::mt19937_64& random, std::size_t count, const char* prefix) {
  std::string s = prefix;
  std::uniform_int_distribution<int> digit(0, 9);
  while (s.size() < count) s.push_back(static_cast<char>('0' + digit(random)));
  return s;
}

void WriteRowFields(std::span<std::uint8_t> buffer, std::span<const storage::TFieldDescriptor> fields,
                    const PhoneBookRow& row, std::initializer_list<int> which) {
  constexpr std::uint8_t kValueFlag = 1;
  for (const int f : which) {
    const std::size_t room = kPhoneBookFields[f].size + 1u;
    std::uint8_t* at = buffer.data() + fields[static_cast<std::size_t>(f)].FieldOffset();
    std::memset(at, 0, 1 + room);
    const std::string& value = row[static_cast<std::size_t>(f)];
    if (value.empty()) continue;
    at[0] = kValueFlag;
    std::memcpy(at + 1, value.data(), std::min(value.size(), room - 1));
  }
}

}  // namespace telvora::bench
