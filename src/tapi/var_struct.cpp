#include "tapi/var_struct.h"

#include <QString>

namespace telvora::tapi {
namespace {

// Header words every variable-size structure starts with.
constexpr std::size_t kTotalSizeAt = 0;
constexpr std::size_t kNeededSizeAt = 4;
constexpr std::size_t kUsedSizeAt = 8;
constexpr std::size_t kHeaderSize = 12;
// Items start on 4-byte boundaries so 16-bit texts and DWORD data are aligned.
constexpr std::size_t kItemAlignment = 4;

std::size_t Align(std::size_t n) { return (n + kItemAlignment - 1) / kItemAlignment * kItemAlignment; }

void PutDword(void* base, std::size_t at, DWORD value) {
  std::memcpy(static_cast<std::uint8_t*>(base) + at, &value, sizeof value);
}

DWORD GetDword(const void* base, std::size_t at) {
  DWORD value;
  std::memcpy(&value, static_cast<const std::uint8_t*>(base) + at, sizeof value);
  return value;
}

}  // namespace

std::vector<std::uint8_t> EncodeText(const std::string& utf8, DWORD format) {
  std::vector<std::uint8_t> out;
  if (format == STRINGFORMAT_UNICODE) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar c : text) {
      out.push_back(static_cast<std::uint8_t>(c.unicode() & 0xFF));
      out.push_back(static_cast<std::uint8_t>(c.unicode() >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
  }
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  for (QChar c : text) out.push_back(c.unicode() < 0x80 ? static_cast<std::uint8_t>(c.unicode()) : '?');
  out.push_back(0);
  return out;
}

VarStruct::VarStruct(std::size_t full_size, std::size_t fixed_size)
    : fixed_(full_size, 0), fixed_size_(fixed_size < full_size ? fixed_size : full_size) {}

void VarStruct::Add(std::size_t size_field, const void* data, std::size_t size) {
  if (size_field + 2 * sizeof(DWORD) > fixed_size_ || size == 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  items_.push_back({size_field, std::vector<std::uint8_t>(bytes, bytes + size)});
}

std::size_t VarStruct::NeededSize() const {
  std::size_t end = fixed_size_;
  for (const Item& item : items_) end = Align(end) + item.data.size();
  return end;
}

LONG VarStruct::CopyTo(void* caller, LONG too_small_error) {
  const DWORD total = GetDword(caller, kTotalSizeAt);
  const std::size_t needed = NeededSize();
  if (total < fixed_size_) {
    if (total >= kHeaderSize) {
      PutDword(caller, kNeededSizeAt, static_cast<DWORD>(needed));
      PutDword(caller, kUsedSizeAt, 0);
    }
    return too_small_error;
  }
  // Lay the items out in order; each one that ends within the caller's
  // buffer is written, the others keep a zero pair.
  std::size_t end = fixed_size_;
  std::size_t used = fixed_size_;
  std::vector<std::pair<std::size_t, std::size_t>> placed;  // item index -> offset
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const std::size_t offset = Align(end);
    end = offset + items_[i].data.size();
    const bool fits = end <= total;
    PutDword(fixed_.data(), items_[i].size_field, fits ? static_cast<DWORD>(items_[i].data.size()) : 0);
    PutDword(fixed_.data(), items_[i].size_field + 4, fits ? static_cast<DWORD>(offset) : 0);
    if (fits) {
      placed.emplace_back(i, offset);
      used = end;
    }
  }
  PutDword(fixed_.data(), kTotalSizeAt, total);
  PutDword(fixed_.data(), kNeededSizeAt, static_cast<DWORD>(needed));
  PutDword(fixed_.data(), kUsedSizeAt, static_cast<DWORD>(used));
  auto* out = static_cast<std::uint8_t*>(caller);
  std::memcpy(out, fixed_.data(), fixed_size_);
  if (used > fixed_size_) std::memset(out + fixed_size_, 0, used - fixed_size_);
  for (const auto& [index, offset] : placed) {
    std::memcpy(out + offset, items_[index].data.data(), items_[index].data.size());
  }
  return 0;
}

}  // namespace telvora::tapi
