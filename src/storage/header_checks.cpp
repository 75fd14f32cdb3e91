#include "storage/header_checks.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "storage/field_types.h"
#include "storage/storage_errors.h"
#include "storage/table_format.h"
#include "storage/value_text.h"

namespace telvora::storage {
namespace {

constexpr std::size_t kMaxNameLength = 30;
constexpr std::uint64_t kDescriptorsStart = kDataFileHeaderSize;

std::string TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

// Names compare without regard to the case of ASCII letters; other bytes
// compare as they are.
std::string NameKey(std::string_view name) {
  std::string key = TrimBlanks(name);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

void CheckField(TFieldDescriptor& field, int position, std::uint32_t& running_offset,
                std::set<std::string>& names, const std::string& table) {
  const auto corrupt = [&table] { RaiseTableError(kHeaderCorrupt, table); };
  if (!field.RecomputeStoredLength()) corrupt();

  if (field.Image()[TFieldDescriptor::kNameOffset] > kMaxNameLength) corrupt();
  const std::string name = field.Name();
  if (name.empty() || !IsValidNameStart(static_cast<unsigned char>(name.front()))) corrupt();
  if (!names.insert(NameKey(name)).second) corrupt();

  const std::uint8_t type = field.Type();
  if (type == kTypeNone) corrupt();
  if (HasDeclaredSize(type) ? field.DeclaredSize() > kMaxDeclaredSize : field.DeclaredSize() != 0) corrupt();
  for (const std::string& text : {field.DefaultText(), field.MinimumText(), field.MaximumText()}) {
    if (!IsValidValueText(type, text)) corrupt();
  }
  if (type != kTypeBcd && field.Decimals() != 0) corrupt();
  if (field.IsAutoInc()) {
    if (field.FieldOffset() != kAutoIncFieldOffset) corrupt();
  } else {
    if (field.FieldOffset() != running_offset) corrupt();
    running_offset += field.StoredLength() + 1u;
  }
  if (field.FieldNumber() != position) corrupt();
}

const TFieldDescriptor* FieldByNumber(std::span<const TFieldDescriptor> descriptors, std::uint16_t number) {
  if (number == 0 || number > descriptors.size()) return nullptr;
  return &descriptors[number - 1];
}

// The key field list: entries up to the first zero, none after it. Returns
// the numbers in order, or nullopt for a gap.
std::optional<std::vector<std::uint16_t>> KeyFieldList(const TIndexDescriptor& index) {
  std::vector<std::uint16_t> numbers;
  bool ended = false;
  for (int i = 0; i < kMaxKeyFields; ++i) {
    const std::uint16_t number = index.KeyFieldNumber(i);
    if (number == 0) {
      ended = true;
    } else if (ended) {
      return std::nullopt;
    } else {
      numbers.push_back(number);
    }
  }
  return numbers;
}

bool HasValidPageReferences(const TIndexDescriptor& index, std::int32_t next_page) {
  return IsValidPageReference(index.RootPage(), next_page) &&
         IsValidPageReference(index.FreeChainHead(), next_page) &&
         IsValidPageReference(index.DataPage(), next_page);
}

void CheckIndexDescriptor(const TIndexDescriptor& index, int slot, bool primary_unavailable,
                          std::int32_t next_page, std::span<const TFieldDescriptor> descriptors,
                          std::set<std::string>& secondary_names, const std::string& table) {
  const auto corrupt = [&table] { RaiseTableError(kHeaderCorrupt, table); };
  const bool primary = slot == kPrimaryIndexSlot;
  const bool may_be_empty = primary && primary_unavailable;

  if (index.Image()[TIndexDescriptor::kNameOffset] > kMaxNameLength) corrupt();
  if (primary) {
    if (!index.Name().empty()) corrupt();
    if (!index.Unique() && !primary_unavailable) corrupt();
  } else {
    const std::string key = NameKey(index.Name());
    if (key.empty() || !IsValidNameStart(static_cast<unsigned char>(key.front()))) corrupt();
    if (!secondary_names.insert(key).second) corrupt();
  }

  if (index.KeyFieldCount() > kMaxKeyFields) corrupt();
  const auto numbers = KeyFieldList(index);
  if (!numbers) corrupt();
  int key_size = 0;
  std::size_t walked = 0;
  bool stopped = false;
  for (const std::uint16_t number : *numbers) {
    const TFieldDescriptor* field = FieldByNumber(descriptors, number);
    if (field == nullptr) {
      if (may_be_empty) {
        stopped = true;
        break;
      }
      corrupt();
    }
    if (field->Type() == kTypeBlob) corrupt();
    const auto key_length = KeyLengthOf(field->Type(), field->DeclaredSize());
    if (!key_length) corrupt();
    key_size += *key_length + 1;
    ++walked;
  }
  if (key_size > kMaxKeySize) corrupt();
  if (!may_be_empty) {
    if (key_size == 0) corrupt();
    // The count byte and the stored key length are what key building and
    // page reading go by; a descriptor whose list disagrees with them would
    // make keys of one length and pages of another.
    if (!stopped && walked != index.KeyFieldCount()) corrupt();
    const int expected_length = key_size + (index.Unique() ? 0 : static_cast<int>(kRecordIdSuffixLength));
    if (index.KeyLength() != expected_length) corrupt();
  }

  if (!HasValidPageReferences(index, next_page)) corrupt();
}

void CheckTextIndexSlot(const TIndexDescriptor& text, std::int32_t next_page,
                        std::span<const TFieldDescriptor> descriptors, const std::string& table) {
  const auto corrupt = [&table] { RaiseTableError(kHeaderCorrupt, table); };
  if (text.KeyFieldCount() > kMaxKeyFields) corrupt();
  const auto numbers = KeyFieldList(text);
  if (!numbers) corrupt();
  for (const std::uint16_t number : *numbers) {
    const TFieldDescriptor* field = FieldByNumber(descriptors, number);
    if (field == nullptr) corrupt();
    const bool is_memo = field->Type() == kTypeBlob && field->Subtype() == kSubtypeMemo;
    if (field->Type() != kTypeString && !is_memo) corrupt();
  }
  if (!HasValidPageReferences(text, next_page)) corrupt();
}

}  // namespace

bool IsValidNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

bool IsValidPageReference(std::int32_t page, std::int32_t next_page) {
  // page < next_page rather than page <= next_page - 1: a corrupt next
  // number may be the smallest integer.
  return page == 0 || (page >= 1 && page < next_page);
}

void CheckFieldCountOnOpen(const TDataFileHeader& header, const std::string& table) {
  if (header.FieldCount() > kMaxFieldCount) RaiseTableError(kHeaderCorrupt, table);
}

void CheckSecondaryCountOnOpen(const TIndexFileHeader& header, const std::string& table) {
  if (header.SecondaryIndexCount() > kMaxSecondaryCountOnOpen) RaiseTableError(kHeaderCorrupt, table);
}

void CheckDataFile(const TDataFileHeader& header, std::span<TFieldDescriptor> descriptors,
                   std::uint64_t file_length, const LocaleInstalledTest& locale_installed,
                   const std::string& table) {
  const auto corrupt = [&table] { RaiseTableError(kHeaderCorrupt, table); };
  if (header.Version() != kFormatVersion) RaiseTableError(kOldVersion, table);
  if (header.LanguageId() != 0 && !locale_installed(header.LanguageId(), header.SortId())) {
    RaiseTableError(kCannotLoadLanguageDriver, table);
  }
  const std::uint16_t field_count = header.FieldCount();
  if (field_count > kMaxFieldCount || descriptors.size() != field_count) corrupt();

  std::uint32_t running_offset = kRecordHeaderSize;
  std::set<std::string> names;
  int blob_fields = 0;
  for (std::size_t i = 0; i < descriptors.size(); ++i) {
    CheckField(descriptors[i], static_cast<int>(i + 1), running_offset, names, table);
    if (descriptors[i].Type() == kTypeBlob) ++blob_fields;
  }
  if (header.RecordSize() != running_offset) corrupt();
  // The BLOB file is opened by this count; a count that disagrees with the
  // descriptors would leave BLOB fields without their file.
  if (header.BlobFieldCount() != blob_fields) corrupt();

  // Signed 64-bit arithmetic: a file shorter than its descriptors gives a
  // negative slot count, which no next record number matches.
  const auto length = static_cast<std::int64_t>(file_length);
  const std::int64_t descriptors_end =
      static_cast<std::int64_t>(kDescriptorsStart + kFieldDescriptorSize * field_count);
  const std::int64_t record_size = header.RecordSize();
  const std::int64_t slot_bytes = length - descriptors_end;
  if (slot_bytes > 0 && slot_bytes % record_size != 0) corrupt();
  const std::int64_t slots = slot_bytes / record_size;
  if (slots + 1 != header.NextRecordNumber()) corrupt();
  if (header.DeletedChainHead() < 0 || header.DeletedChainHead() > slots) corrupt();
}

void CheckIndexFile(const TIndexFileHeader& header, std::span<const TFieldDescriptor> descriptors,
                    const std::string& table) {
  if (header.Version() != kFormatVersion) RaiseTableError(kOldVersion, table);
  // Slots 31 and 32 are the reserved indexes; a count reaching them would
  // treat those as secondary indexes.
  const int secondary_count = header.SecondaryIndexCount();
  if (secondary_count > kMaxSecondaryIndexes) RaiseTableError(kHeaderCorrupt, table);
  const bool primary_unavailable = header.PrimaryIndexUnavailable();
  const std::int32_t next_page = header.NextPageNumber();
  std::set<std::string> secondary_names;
  for (int slot = kPrimaryIndexSlot; slot <= secondary_count; ++slot) {
    CheckIndexDescriptor(header.Descriptor(slot), slot, primary_unavailable, next_page, descriptors,
                         secondary_names, table);
  }
  CheckTextIndexSlot(header.Descriptor(kTextIndexSlot), next_page, descriptors, table);
}

void CheckBlobFile(const TBlobFileHeader& header, const std::string& table) {
  if (header.Version() != kFormatVersion) RaiseTableError(kOldVersion, table);
  if (!IsValidPageReference(header.FreeChainHead(), header.NextBlockNumber())) {
    RaiseTableError(kHeaderCorrupt, table);
  }
}

}  // namespace telvora::storage
