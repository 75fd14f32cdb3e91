#include "storage/data_file_header.h"

#include <algorithm>

#include "storage/byte_image.h"
#include "storage/date_time_values.h"
#include "storage/field_types.h"
#include "storage/scrambler.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

constexpr std::uint32_t kBlobBlockSizeMask = 0xFFFF;

// A short string whose characters (not its length byte) are scrambled with
// the text key.
std::string ScrambledText(std::string_view text, std::size_t max_length) {
  std::string chars(text.substr(0, std::min(text.size(), max_length)));
  Scramble(std::span(reinterpret_cast<std::uint8_t*>(chars.data()), chars.size()), kTextKey);
  return chars;
}

std::string UnscrambledText(std::string chars) {
  Scramble(std::span(reinterpret_cast<std::uint8_t*>(chars.data()), chars.size()), kTextKey);
  return chars;
}

}  // namespace

TDataFileHeader::TDataFileHeader(std::span<const std::uint8_t> image) {
  image_.fill(0);
  std::copy_n(image.begin(), std::min(image.size(), image_.size()), image_.begin());
}

std::uint32_t AssignRecordLayout(std::span<TFieldDescriptor> descriptors) {
  std::uint32_t running = kRecordHeaderSize;
  for (TFieldDescriptor& field : descriptors) {
    field.RecomputeStoredLength();
    if (field.IsAutoInc()) {
      field.SetFieldOffset(kAutoIncFieldOffset);
    } else if (field.Computed()) {
      field.SetFieldOffset(0);
    } else {
      // Offsets past 65,535 only occur in a record that Create refuses.
      field.SetFieldOffset(static_cast<std::uint16_t>(running));
      running += field.StoredLength() + 1u;
    }
  }
  return running;
}

TDataFileHeader TDataFileHeader::Create(const TDataFileCreation& creation,
                                        std::span<TFieldDescriptor> descriptors, const std::string& table) {
  TDataFileHeader header;
  std::span<std::uint8_t> image = header.image_;
  StoreLittle<std::uint16_t>(image, kLanguageIdOffset, creation.language_id);
  StoreLittle<std::uint16_t>(image, kSortIdOffset, creation.sort_id);
  StoreLittle<std::uint16_t>(image, kUserMajorOffset, creation.user_major_version);
  StoreLittle<std::uint16_t>(image, kUserMinorOffset, creation.user_minor_version);
  image[kEncryptedOffset] = creation.encrypted ? 1 : 0;
  if (creation.encrypted) {
    StoreShortString(image, kPasswordOffset, kPasswordWidth,
                     ScrambledText(creation.password, kMaxPasswordLength));
    StoreShortString(image, kDescriptionOffset, kDescriptionWidth,
                     ScrambledText(creation.description, kMaxDescriptionLength));
  } else {
    StoreShortString(image, kDescriptionOffset, kDescriptionWidth, creation.description);
  }

  if (descriptors.size() > kMaxFieldCount) RaiseTableError(kFieldLimit, table);
  StoreLittle<std::uint16_t>(image, kFieldCountOffset, static_cast<std::uint16_t>(descriptors.size()));
  std::int16_t blob_fields = 0;
  for (const TFieldDescriptor& field : descriptors) {
    if (!StoredLengthOf(field.Type(), field.DeclaredSize())) {
      RaiseTableError(kInvalidFieldDefinition, table, field.Name());
    }
    if (field.Type() == kTypeBlob && ++blob_fields > kMaxBlobFieldCount) RaiseTableError(kBlobLimit, table);
  }
  StoreLittle<std::int16_t>(image, kBlobFieldCountOffset, blob_fields);

  if (creation.blob_block_size < kMinBlobBlockSize) RaiseTableError(kBlobLimit, table);
  StoreLittle<std::uint32_t>(image, kBlobBlockSizeOffset, creation.blob_block_size);
  image[kVersionOffset] = kFormatVersion;
  StoreLittle<std::int32_t>(image, kDeletedHeadOffset, 0);
  StoreLittle<std::int32_t>(image, kNextRecordOffset, 1);
  StoreLittle<std::int32_t>(image, kLastAutoIncOffset, 0);
  StoreLittle<std::int32_t>(image, kChangeCounterOffset, 0);

  const std::uint32_t record_size = AssignRecordLayout(descriptors);
  if (record_size > kMaxRecordSize) RaiseTableError(kRecordTooBig, table);
  StoreLittle<std::uint16_t>(image, kRecordSizeOffset, static_cast<std::uint16_t>(record_size));
  header.SetModifiedMarker();
  return header;
}

std::int32_t TDataFileHeader::ChangeCounter() const {
  return LoadLittle<std::int32_t>(image_, kChangeCounterOffset);
}

std::uint32_t TDataFileHeader::StoredBlobBlockSize() const {
  return LoadLittle<std::uint32_t>(image_, kBlobBlockSizeOffset);
}

std::uint16_t TDataFileHeader::BlobBlockSize() const {
  const auto size = static_cast<std::uint16_t>(StoredBlobBlockSize() & kBlobBlockSizeMask);
  return size == 0 ? kDefaultBlobBlockSize : size;
}

std::int32_t TDataFileHeader::DeletedChainHead() const {
  return LoadLittle<std::int32_t>(image_, kDeletedHeadOffset);
}

void TDataFileHeader::SetDeletedChainHead(std::int32_t record_number) {
  if (record_number == DeletedChainHead()) return;
  StoreLittle<std::int32_t>(image_, kDeletedHeadOffset, record_number);
  SetModifiedMarker();
}

std::int32_t TDataFileHeader::NextRecordNumber() const {
  return LoadLittle<std::int32_t>(image_, kNextRecordOffset);
}

void TDataFileHeader::SetNextRecordNumber(std::int32_t record_number) {
  if (record_number == NextRecordNumber()) return;
  StoreLittle<std::int32_t>(image_, kNextRecordOffset, record_number);
  SetModifiedMarker();
}

std::int32_t TDataFileHeader::LastAutoIncValue() const {
  return LoadLittle<std::int32_t>(image_, kLastAutoIncOffset);
}

void TDataFileHeader::SetLastAutoIncValue(std::int32_t value) {
  if (value == LastAutoIncValue()) return;
  StoreLittle<std::int32_t>(image_, kLastAutoIncOffset, value);
  SetModifiedMarker();
}

std::int32_t TDataFileHeader::NextCounterValue(std::size_t offset) {
  std::int32_t value = LoadLittle<std::int32_t>(image_, offset);
  if (value == kMaxCounterValue) value = 0;
  ++value;
  StoreLittle<std::int32_t>(image_, offset, value);
  SetModifiedMarker();
  return value;
}

std::int32_t TDataFileHeader::NextAutoIncValue() { return NextCounterValue(kLastAutoIncOffset); }

std::uint16_t TDataFileHeader::RecordSize() const {
  return LoadLittle<std::uint16_t>(image_, kRecordSizeOffset);
}

std::uint16_t TDataFileHeader::FieldCount() const {
  return LoadLittle<std::uint16_t>(image_, kFieldCountOffset);
}

std::int16_t TDataFileHeader::BlobFieldCount() const {
  return LoadLittle<std::int16_t>(image_, kBlobFieldCountOffset);
}

double TDataFileHeader::LastUpdateStamp() const { return LoadDouble(image_, kLastUpdateOffset); }

std::string TDataFileHeader::Description() const {
  std::string chars = LoadShortString(image_, kDescriptionOffset, kDescriptionWidth);
  return Encrypted() ? UnscrambledText(std::move(chars)) : chars;
}

std::string TDataFileHeader::Password() const {
  if (!Encrypted()) return {};
  return UnscrambledText(LoadShortString(image_, kPasswordOffset, kPasswordWidth));
}

std::uint16_t TDataFileHeader::LanguageId() const {
  return LoadLittle<std::uint16_t>(image_, kLanguageIdOffset);
}

std::uint16_t TDataFileHeader::SortId() const { return LoadLittle<std::uint16_t>(image_, kSortIdOffset); }

std::uint16_t TDataFileHeader::UserMajorVersion() const {
  return LoadLittle<std::uint16_t>(image_, kUserMajorOffset);
}

std::uint16_t TDataFileHeader::UserMinorVersion() const {
  return LoadLittle<std::uint16_t>(image_, kUserMinorOffset);
}

std::int32_t TDataFileHeader::LastBlobKey() const {
  return LoadLittle<std::int32_t>(image_, kLastBlobKeyOffset);
}

void TDataFileHeader::SetLastBlobKey(std::int32_t value) {
  if (value == LastBlobKey()) return;
  StoreLittle<std::int32_t>(image_, kLastBlobKeyOffset, value);
  SetModifiedMarker();
}

std::int32_t TDataFileHeader::NextBlobKey() { return NextCounterValue(kLastBlobKeyOffset); }

std::int64_t TDataFileHeader::EngineVersion() const {
  return LoadLittle<std::int64_t>(image_, kEngineVersionOffset);
}

void TDataFileHeader::MarkModified() {
  // The counter is compared, never ordered, so it may wrap.
  StoreLittle<std::uint32_t>(image_, kChangeCounterOffset,
                             LoadLittle<std::uint32_t>(image_, kChangeCounterOffset) + 1);
  SetModifiedMarker();
}

void TDataFileHeader::PrepareWrite(double local_date_time) {
  StoreLittle<std::uint32_t>(image_, kChangeCounterOffset,
                             LoadLittle<std::uint32_t>(image_, kChangeCounterOffset) + 1);
  StoreDouble(image_, kLastUpdateOffset, LastUpdateStampFromDateTime(local_date_time));
  StoreLittle<std::int64_t>(image_, kEngineVersionOffset, kEngineVersion);
}

double LastUpdateStampFromDateTime(double local_date_time) {
  return local_date_time - kDayNumberOf18991230;
}

}  // namespace telvora::storage
