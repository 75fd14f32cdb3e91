#include "engine/record_index_writer.h"

#include <algorithm>

#include "engine/text_index_words.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"

namespace telvora::engine {
namespace {

using storage::TRecordImage;

constexpr int kKeySlotCount = storage::kMaxSecondaryIndexes + 1;

}  // namespace

TRecordIndexWriter::TRecordIndexWriter(storage::TDataTable& table)
    : table_(table),
      locale_{table.data_file().LanguageId(), table.data_file().SortId()},
      definitions_(kKeySlotCount),
      upper_cases_(kKeySlotCount) {
  const storage::TIndexFileHeader& header = table.index_file().Header();
  const auto add_slot = [&](int slot) {
    key_slots_.push_back(slot);
    definitions_[static_cast<std::size_t>(slot)] = table.IndexKey(slot);
    upper_cases_[static_cast<std::size_t>(slot)] =
        table.KeyOrder(definitions_[static_cast<std::size_t>(slot)]).upper_case;
  };
  if (!table.PrimaryIndexUnavailable() && header.Descriptor(storage::kPrimaryIndexSlot).KeyFieldCount() > 0) {
    add_slot(storage::kPrimaryIndexSlot);
  }
  const int secondary = std::min<int>(header.SecondaryIndexCount(), storage::kMaxSecondaryIndexes);
  for (int slot = 1; slot <= secondary; ++slot) add_slot(slot);
  const storage::TIndexDescriptor text = header.Descriptor(storage::kTextIndexSlot);
  for (int i = 0; i < std::min<int>(text.KeyFieldCount(), storage::kMaxKeyFields); ++i) {
    text_fields_.push_back(text.KeyFieldNumber(i));
  }
}

std::vector<std::uint8_t> TRecordIndexWriter::Key(int slot, const TRecordImage& record) const {
  const auto s = static_cast<std::size_t>(slot);
  return storage::BuildKey(definitions_[s], record, upper_cases_[s]);
}

std::optional<std::int32_t> TRecordIndexWriter::FindEqual(int slot, const std::vector<std::uint8_t>& key) {
  storage::TIndexTree tree = table_.IndexTree(slot);
  // An equal key is both the first key not less and the last key not
  // greater than the searched one.
  const std::optional<storage::TKeyPosition> first = tree.Find(key.data(), key.size(), true);
  if (!first) return std::nullopt;
  const std::optional<storage::TKeyPosition> last = tree.Find(key.data(), key.size(), false);
  if (!last || last->leaf != first->leaf || last->entry != first->entry) return std::nullopt;
  return first->record_number;
}

void TRecordIndexWriter::RaiseDuplicate(int slot) const {
  storage::RaiseEngineError(storage::VORA_KEYVIOL,
                            {.table = table_.table_name(),
                             .index = table_.index_file().Header().Descriptor(slot).Name()});
}

void TRecordIndexWriter::RaiseCorrupt(int slot) const {
  storage::RaiseEngineError(storage::VORA_INDEXCORRUPT,
                            {.table = table_.table_name(),
                             .index = table_.index_file().Header().Descriptor(slot).Name()});
}

void TRecordIndexWriter::CheckInsert(const TRecordImage& record) {
  for (const int slot : key_slots_) {
    if (!definitions_[static_cast<std::size_t>(slot)].unique) continue;
    if (FindEqual(slot, Key(slot, record))) RaiseDuplicate(slot);
  }
}

void TRecordIndexWriter::CheckModify(const TRecordImage& old_record, const TRecordImage& new_record,
                                     std::int32_t record_number) {
  for (const int slot : key_slots_) {
    if (!definitions_[static_cast<std::size_t>(slot)].unique) continue;
    const std::vector<std::uint8_t> new_key = Key(slot, new_record);
    if (new_key == Key(slot, old_record)) continue;
    const std::optional<std::int32_t> found = FindEqual(slot, new_key);
    if (found && *found != record_number) RaiseDuplicate(slot);
  }
}

void TRecordIndexWriter::InsertKeys(const TRecordImage& record, std::int32_t record_number) {
  for (const int slot : key_slots_) {
    const std::vector<std::uint8_t> key = Key(slot, record);
    table_.IndexTree(slot).AddKey(key.data(), record_number);
  }
}

void TRecordIndexWriter::ReplaceKey(int slot, const std::uint8_t* old_key, const std::uint8_t* new_key,
                                    std::int32_t record_number) {
  storage::TIndexTree tree = table_.IndexTree(slot);
  if (!tree.DeleteKey(old_key)) RaiseCorrupt(slot);
  tree.AddKey(new_key, record_number);
}

void TRecordIndexWriter::ModifyKeys(const TRecordImage& old_record, const TRecordImage& new_record,
                                    std::int32_t record_number) {
  for (const int slot : key_slots_) {
    const std::vector<std::uint8_t> old_key = Key(slot, old_record);
    const std::vector<std::uint8_t> new_key = Key(slot, new_record);
    if (old_key != new_key) ReplaceKey(slot, old_key.data(), new_key.data(), record_number);
  }
  const auto old_slot = storage::RecordIdIndexKey(false, old_record.RecordId());
  const auto new_slot = storage::RecordIdIndexKey(false, new_record.RecordId());
  if (old_slot != new_slot) ReplaceKey(storage::kRecordIdIndexSlot, old_slot.data(), new_slot.data(), record_number);
}

void TRecordIndexWriter::DeleteKeys(const TRecordImage& record) {
  for (const int slot : key_slots_) {
    const std::vector<std::uint8_t> key = Key(slot, record);
    if (!table_.IndexTree(slot).DeleteKey(key.data())) RaiseCorrupt(slot);
  }
}

void TRecordIndexWriter::AddRecordSlot(std::int32_t record_id, std::int32_t record_number) {
  const auto key = storage::RecordIdIndexKey(false, record_id);
  table_.IndexTree(storage::kRecordIdIndexSlot).AddKey(key.data(), record_number);
}

void TRecordIndexWriter::ReuseRecordSlot(std::int32_t old_record_id, std::int32_t new_record_id,
                                         std::int32_t record_number) {
  const auto old_key = storage::RecordIdIndexKey(true, old_record_id);
  const auto new_key = storage::RecordIdIndexKey(false, new_record_id);
  ReplaceKey(storage::kRecordIdIndexSlot, old_key.data(), new_key.data(), record_number);
}

void TRecordIndexWriter::MarkRecordSlotDeleted(std::int32_t record_id, std::int32_t record_number) {
  const auto old_key = storage::RecordIdIndexKey(false, record_id);
  const auto new_key = storage::RecordIdIndexKey(true, record_id);
  ReplaceKey(storage::kRecordIdIndexSlot, old_key.data(), new_key.data(), record_number);
}

bool TRecordIndexWriter::IsTextIndexed(std::uint16_t field_number) const {
  return std::find(text_fields_.begin(), text_fields_.end(), field_number) != text_fields_.end();
}

const storage::TTextIndexParameters& TRecordIndexWriter::TextParameters() {
  if (!text_parameters_) {
    text_parameters_ = storage::ReadTextIndexParameters(table_.OpenIndex(storage::kTextIndexSlot))
                           .value_or(storage::TTextIndexParameters::Defaults());
  }
  return *text_parameters_;
}

std::optional<std::string> TRecordIndexWriter::FieldText(std::uint16_t field_number, const TRecordImage& record,
                                                         const MemoTextSource& memos) const {
  const std::optional<storage::TFieldDescriptor> field = table_.data_file().DescriptorByNumber(field_number);
  if (!field) return std::nullopt;
  if (field->Type() == storage::kTypeString) {
    const storage::TFieldLayout layout = storage::TFieldLayout::Of(*field);
    if (record.IsNull(layout)) return std::nullopt;
    return record.GetString(layout);
  }
  if (field->Type() == storage::kTypeBlob && memos) return memos(field_number);
  return std::nullopt;
}

std::vector<std::string> TRecordIndexWriter::Words(const std::optional<std::string>& text) {
  if (!text) return {};
  return TextIndexWords(*text, TextParameters(), locale_);
}

void TRecordIndexWriter::AddFieldWords(std::uint16_t field_number, const std::vector<std::string>& words,
                                       std::int32_t record_id, std::int32_t record_number) {
  if (words.empty()) return;
  storage::TIndexTree tree = table_.IndexTree(storage::kTextIndexSlot);
  for (const std::string& word : words) {
    const auto key = storage::TextIndexKey(field_number, word, record_id);
    tree.AddKey(key.data(), record_number);
  }
}

void TRecordIndexWriter::RemoveFieldWords(std::uint16_t field_number, const std::vector<std::string>& words,
                                          std::int32_t record_id) {
  if (words.empty()) return;
  storage::TIndexTree tree = table_.IndexTree(storage::kTextIndexSlot);
  for (const std::string& word : words) {
    const auto key = storage::TextIndexKey(field_number, word, record_id);
    if (!tree.DeleteKey(key.data())) RaiseCorrupt(storage::kTextIndexSlot);
  }
}

void TRecordIndexWriter::AddWords(const TRecordImage& record, const MemoTextSource& memos,
                                  std::int32_t record_number) {
  for (const std::uint16_t field : text_fields_) {
    AddFieldWords(field, Words(FieldText(field, record, memos)), record.RecordId(), record_number);
  }
}

void TRecordIndexWriter::RemoveWords(const TRecordImage& record, const MemoTextSource& memos) {
  for (const std::uint16_t field : text_fields_) {
    RemoveFieldWords(field, Words(FieldText(field, record, memos)), record.RecordId());
  }
}

void TRecordIndexWriter::ReplaceWords(const TRecordImage& old_record, const MemoTextSource& old_memos,
                                      const TRecordImage& new_record, const MemoTextSource& new_memos,
                                      std::int32_t record_number) {
  for (const std::uint16_t field : text_fields_) {
    const std::optional<storage::TFieldDescriptor> descriptor = table_.data_file().DescriptorByNumber(field);
    const bool memo = descriptor && descriptor->Type() == storage::kTypeBlob;
    if (memo && !(new_memos && new_memos(field))) continue;
    const std::vector<std::string> old_words = Words(FieldText(field, old_record, old_memos));
    const std::vector<std::string> new_words = Words(FieldText(field, new_record, new_memos));
    RemoveFieldWords(field, WordsNotIn(old_words, new_words, locale_), old_record.RecordId());
    AddFieldWords(field, WordsNotIn(new_words, old_words, locale_), new_record.RecordId(), record_number);
  }
}

}  // namespace telvora::engine
