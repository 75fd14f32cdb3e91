#pragma once
// Builds one variable-size structure (see tapi_structures.h) and copies it
// into the caller's buffer by the size-header rules: the fixed part must fit
// (else the too-small error, with dwNeededSize set when the header fits);
// variable items that do not fit within dwTotalSize are left out with their
// (size, offset) pair zero, and dwNeededSize tells the caller how much to
// allocate to get everything.
//
// Used by the service on whatever thread calls the query; not shared.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tapi/tapi_constants.h"

namespace telvora::tapi {

// The bytes of a text in the given string format: STRINGFORMAT_UNICODE gives
// UTF-16LE with a 16-bit terminator, anything else 8-bit text (characters
// outside ASCII become '?') with an 8-bit terminator. utf8 is UTF-8.
std::vector<std::uint8_t> EncodeText(const std::string& utf8, DWORD format);

class VarStruct {
 public:
  // full_size: sizeof the structure type; fixed_size: its fixed part for the
  // caller's API version (never above full_size).
  VarStruct(std::size_t full_size, std::size_t fixed_size);

  template <class T>
  T& Fixed() {
    return *reinterpret_cast<T*>(fixed_.data());
  }

  // Adds a variable item named by the DWORD pair at size_field (the offset
  // field follows it). A pair beyond the caller's fixed part is skipped.
  void Add(std::size_t size_field, const void* data, std::size_t size);
  void AddBytes(std::size_t size_field, const std::vector<std::uint8_t>& bytes) {
    Add(size_field, bytes.data(), bytes.size());
  }
  void AddText(std::size_t size_field, const std::string& utf8, DWORD format) {
    AddBytes(size_field, EncodeText(utf8, format));
  }

  std::size_t NeededSize() const;

  // Copies into the caller's structure; returns 0 or too_small_error.
  LONG CopyTo(void* caller, LONG too_small_error);

 private:
  struct Item {
    std::size_t size_field;
    std::vector<std::uint8_t> data;
  };
  std::vector<std::uint8_t> fixed_;
  std::size_t fixed_size_;
  std::vector<Item> items_;
};

}  // namespace telvora::tapi
