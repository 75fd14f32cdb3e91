// TVoraDataSet: searching by field values, key buffers and key ranges, and
// the current-index information both rest on.
//
// A search takes the first of three ways that can serve it: the dataset's
// own cursor when its current index starts with the searched fields (with
// the case rule asked for), else a second cursor cloned onto an index that
// starts with them (kept for the next search on the same fields and
// option), else a temporary filter on the dataset's cursor that compares
// every searched field. All three find the same first record in their
// order; only the first two need an index.

#include <algorithm>

#include "dataset/temp_state.h"
#include "dataset/vora_data_set.h"
#include "engine/locale_case.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"

namespace telvora::dataset {
namespace {

bool IsStringField(const TField& field) {
  return field.DataType() == TFieldType::ftString || field.DataType() == TFieldType::ftFixedChar;
}

}  // namespace

// --- Current index ---

void TVoraDataSet::ReadIndexInfo() {
  index_info_ = {};
  if (cursor_ == nullptr || cursor_->NaturalOrder()) return;
  const storage::TIndexKeyDefinition key = cursor_->table().IndexKey(cursor_->CurrentIndex());
  const std::size_t count = std::min(key.fields.size(), index_info_.field_numbers.size());
  index_info_.key_field_count = static_cast<int>(count);
  for (std::size_t i = 0; i < count; ++i) index_info_.field_numbers[i] = key.fields[i].field_number;
  index_info_.case_insensitive = key.case_insensitive;
}

std::vector<TIndexDef> TVoraDataSet::CursorIndexDefs() const {
  const storage::TIndexFile& file = cursor_->table().index_file();
  return IndexDefsFromHeader(file.Header(), file.PrimaryIndexUnavailable(), cursor_->Fields());
}

TField& TVoraDataSet::IndexFields(int index) const {
  if (index < 0 || index >= index_info_.key_field_count) DatabaseError(kFieldIndexOutOfRange);
  const std::uint16_t number = index_info_.field_numbers[static_cast<std::size_t>(index)];
  for (TField* field : fields_) {
    if (!field->Calculated() && field->FieldNo() == number) return *field;
  }
  DatabaseErrorFmt(kIndexFieldMissing, cursor_->Fields()[number - 1].Name());
}

// --- Searching ---

std::vector<TVoraDataSet::TSearchField> TVoraDataSet::SearchFields(const std::string& names,
                                                                   const std::vector<TVariant>& values) const {
  std::vector<TSearchField> fields;
  for (const std::string& name : SplitFieldNames(names)) {
    const std::size_t i = fields.size();
    fields.push_back({&FieldByName(name), i < values.size() ? values[i] : TVariant()});
  }
  if (fields.empty()) DatabaseErrorFmt(kFieldNotFound, names);
  return fields;
}

void TVoraDataSet::AssignScratch(std::span<std::uint8_t> image, const std::vector<TSearchField>& fields) {
  const std::span<std::uint8_t> saved = state_buffer_;
  state_buffer_ = image;
  TempState temp(state_, TDataSetState::Filtering);
  try {
    for (const TSearchField& f : fields) f.field->SetValue(f.value);
  } catch (...) {
    state_buffer_ = saved;
    throw;
  }
  state_buffer_ = saved;
}

bool TVoraDataSet::IndexServes(const storage::TIndexKeyDefinition& key, const std::vector<TSearchField>& fields,
                               TLocateOptions options) const {
  if (key.fields.size() < fields.size()) return false;
  bool has_string = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (key.fields[i].field_number != fields[i].field->FieldNo()) return false;
    has_string = has_string || IsStringField(*fields[i].field);
  }
  return !has_string || key.case_insensitive == options.loCaseInsensitive;
}

bool TVoraDataSet::FindKeyWith(engine::TDataCursor& cursor, const std::vector<TSearchField>& fields,
                               TLocateOptions options) {
  std::vector<std::uint8_t> scratch(record_size_, 0);
  AssignScratch(scratch, fields);
  int full_fields = static_cast<int>(fields.size());
  int partial_length = 0;
  const TSearchField& last = fields.back();
  if (options.loPartialKey && IsStringField(*last.field) && std::holds_alternative<std::string>(last.value)) {
    // Only as many characters of the last field as the value has (as the
    // field stores it: trailing blanks dropped).
    std::string stored = std::get<std::string>(last.value);
    stored.erase(stored.find_last_not_of(' ') + 1);
    partial_length = static_cast<int>(std::min<std::size_t>(stored.size(), static_cast<std::size_t>(last.field->Size())));
    if (partial_length > 0) --full_fields;
  }
  return cursor.FindKey(scratch, false, full_fields, partial_length, false);
}

bool TVoraDataSet::FindByFilter(const std::vector<TSearchField>& fields, TLocateOptions options) {
  // The values as the fields store them, so that a number given for a
  // text field (or the other way round) compares as the field would.
  std::vector<std::uint8_t> wanted_image(record_size_, 0);
  AssignScratch(wanted_image, fields);
  std::vector<TVariant> wanted;
  {
    const std::span<std::uint8_t> saved = state_buffer_;
    state_buffer_ = wanted_image;
    TempState temp(state_, TDataSetState::Filtering);
    for (const TSearchField& f : fields) wanted.push_back(f.field->Value());
    state_buffer_ = saved;
  }
  const engine::Locale locale = TableLocale();
  auto fold = [&](std::string text) {
    if (options.loCaseInsensitive) engine::UpperCase(locale, text);
    return text;
  };
  std::vector<std::uint8_t> record_copy;
  auto matches = [&](std::span<const std::uint8_t> record) {
    record_copy.assign(record.begin(), record.end());
    record_copy.resize(record_size_, 0);
    const std::span<std::uint8_t> saved = state_buffer_;
    state_buffer_ = record_copy;
    TempState temp(state_, TDataSetState::Filtering);
    bool all = true;
    for (std::size_t i = 0; i < fields.size() && all; ++i) {
      const TVariant value = fields[i].field->Value();
      const bool text = std::holds_alternative<std::string>(value) && std::holds_alternative<std::string>(wanted[i]);
      if (!text) {
        all = value == wanted[i];
        continue;
      }
      const std::string have = fold(std::get<std::string>(value));
      const std::string want = fold(std::get<std::string>(wanted[i]));
      const bool partial = options.loPartialKey && i + 1 == fields.size();
      all = partial ? have.compare(0, want.size(), want) == 0 : have == want;
    }
    state_buffer_ = saved;
    return all;
  };
  engine::TFilter* filter = cursor_->AddFilter(
      [&](void*, engine::TDataCursor&, std::span<const std::uint8_t> record, std::int32_t) { return matches(record); },
      this, engine::TFilterSwitches{});
  bool found = false;
  try {
    cursor_->ActivateFilter(filter);
    cursor_->MoveFirst();
    found = cursor_->MoveNext() == engine::TDataCursor::kOk;
  } catch (...) {
    cursor_->DropFilter(filter);
    throw;
  }
  // The cursor stays on the record found when the filter goes.
  cursor_->DropFilter(filter);
  return found;
}

engine::TDataCursor* TVoraDataSet::SearchRecord(const std::vector<TSearchField>& fields, TLocateOptions options) {
  if (!cursor_->NaturalOrder() && IndexServes(cursor_->table().IndexKey(cursor_->CurrentIndex()), fields, options)) {
    last_search_path_ = TSearchPath::spOwnCursor;
    return FindKeyWith(*cursor_, fields, options) ? cursor_.get() : nullptr;
  }
  std::string names;
  for (const TSearchField& f : fields) names += (names.empty() ? "" : ";") + f.field->FieldName();
  if (search_cursor_ != nullptr &&
      (!SameText(search_fields_, names) || search_case_insensitive_ != options.loCaseInsensitive)) {
    FreeSearchCursor();
  }
  if (search_cursor_ == nullptr) {
    for (const TIndexDef& def : CursorIndexDefs()) {
      if (!IndexServes(cursor_->table().IndexKey(def.Slot), fields, options)) continue;
      std::unique_ptr<engine::TDataCursor> clone = cursor_->CloneCursor();
      clone->SelectIndexNumber(static_cast<std::uint8_t>(def.Slot));
      search_cursor_ = std::move(clone);
      search_fields_ = names;
      search_case_insensitive_ = options.loCaseInsensitive;
      break;
    }
  }
  if (search_cursor_ != nullptr) {
    last_search_path_ = TSearchPath::spSearchCursor;
    return FindKeyWith(*search_cursor_, fields, options) ? search_cursor_.get() : nullptr;
  }
  last_search_path_ = TSearchPath::spFilter;
  return FindByFilter(fields, options) ? cursor_.get() : nullptr;
}

void TVoraDataSet::FreeSearchCursor() {
  search_cursor_.reset();
  search_fields_.clear();
}

bool TVoraDataSet::Locate(const std::string& KeyFields, const std::vector<TVariant>& KeyValues,
                          TLocateOptions Options) {
  CheckBrowseMode();
  BeforeScroll(*this);
  const std::vector<TSearchField> fields = SearchFields(KeyFields, KeyValues);
  UpdateCursorPos();
  CursorPosChanged();
  engine::TDataCursor* on = nullptr;
  try {
    on = SearchRecord(fields, Options);
    // The search cursor's record may lie outside what the dataset's
    // cursor shows (its filters): then nothing was found.
    if (on != nullptr && on == search_cursor_.get() && cursor_->SyncToCursor(*search_cursor_) != 0) on = nullptr;
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  if (on == nullptr) return false;
  Resync(true);
  AfterScroll(*this);
  return true;
}

std::vector<TVariant> TVoraDataSet::Lookup(const std::string& KeyFields, const std::vector<TVariant>& KeyValues,
                                           const std::string& ResultFields) {
  CheckBrowseMode();
  const std::vector<TSearchField> fields = SearchFields(KeyFields, KeyValues);
  std::vector<TField*> results;
  for (const std::string& name : SplitFieldNames(ResultFields)) results.push_back(&FieldByName(name));
  std::vector<TVariant> values(results.size());
  UpdateCursorPos();
  CursorPosChanged();
  std::vector<std::uint8_t> scratch(buffer_size_, 0);
  bool read = false;
  try {
    engine::TDataCursor* on = SearchRecord(fields, {});
    read = on != nullptr && on->GetCurrentRecord(ImageOf(scratch)) == engine::TDataCursor::kOk;
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  if (read) {
    ComputeCalcFields(scratch);
    const std::span<std::uint8_t> saved = state_buffer_;
    state_buffer_ = scratch;
    TempState temp(state_, TDataSetState::Calculating);
    for (std::size_t i = 0; i < results.size(); ++i) values[i] = results[i]->Value();
    state_buffer_ = saved;
  }
  // The dataset's record did not move: the cursor goes back to it.
  UpdateCursorPos();
  return values;
}

// --- Key buffers and ranges ---

void TVoraDataSet::SetKeyBuffer(TKeyIndex index, bool clear) {
  CheckBrowseMode();
  key_index_ = index;
  TKeyBuffer& buffer = key_buffers_[index];
  key_buffers_[kiSave] = buffer;
  if (clear) {
    buffer.modified = false;
    buffer.field_count = 0;
    std::fill(buffer.image.begin(), buffer.image.end(), 0);
  }
  SetState(TDataSetState::KeyEditing);
  DataEvent(TDataEvent::deDataSetChange);
}

void TVoraDataSet::SetKeyFields(TKeyIndex index, const std::vector<TVariant>& values) {
  key_index_ = index;
  for (std::size_t i = 0; i < values.size(); ++i) IndexFields(static_cast<int>(i)).SetValue(values[i]);
  key_buffers_[index].field_count = static_cast<int>(values.size());
  key_buffers_[index].modified = true;
}

bool TVoraDataSet::ApplyKeyRange() {
  const TKeyBuffer& start = key_buffers_[kiRangeStart];
  const TKeyBuffer& end = key_buffers_[kiRangeEnd];
  auto same = [](const TKeyBuffer& a, const TKeyBuffer& b) {
    return a.modified == b.modified && a.field_count == b.field_count && a.image == b.image;
  };
  if (same(start, key_buffers_[kiCurRangeStart]) && same(end, key_buffers_[kiCurRangeEnd])) return false;
  UpdateCursorPos();
  try {
    cursor_->SetRange(false, start.image, start.field_count, end.image, end.field_count);
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  key_buffers_[kiCurRangeStart] = start;
  key_buffers_[kiCurRangeEnd] = end;
  FreeSearchCursor();
  CursorPosChanged();
  return true;
}

void TVoraDataSet::SetRange(const std::vector<TVariant>& StartValues, const std::vector<TVariant>& EndValues) {
  SetKeyBuffer(kiRangeStart, true);
  try {
    SetKeyFields(kiRangeStart, StartValues);
    TKeyBuffer& end = key_buffers_[kiRangeEnd];
    end.modified = false;
    end.field_count = 0;
    std::fill(end.image.begin(), end.image.end(), 0);
    SetKeyFields(kiRangeEnd, EndValues);
  } catch (...) {
    key_index_ = kiRangeStart;
    Cancel();
    throw;
  }
  Post();
  if (ApplyKeyRange()) First();
}

void TVoraDataSet::SetLinkRange(const std::vector<TVariant>& values) {
  TKeyBuffer& start = key_buffers_[kiRangeStart];
  if (state_ == TDataSetState::Opening) {
    // The opening reads the first record itself once the range is set.
    start = TKeyBuffer{false, 0, std::vector<std::uint8_t>(record_size_, 0)};
    {
      TempState temp(state_, TDataSetState::KeyEditing);
      SetKeyFields(kiRangeStart, values);
    }
    key_buffers_[kiRangeEnd] = start;
    ApplyKeyRange();
    return;
  }
  SetKeyBuffer(kiRangeStart, true);
  try {
    SetKeyFields(kiRangeStart, values);
  } catch (...) {
    Cancel();
    throw;
  }
  key_buffers_[kiRangeEnd] = key_buffers_[kiRangeStart];
  Post();
  if (ApplyKeyRange()) First();
}

void TVoraDataSet::CancelRange() {
  CheckBrowseMode();
  if (!cursor_->RangeActive()) return;
  UpdateCursorPos();
  try {
    cursor_->CancelRange();
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  for (TKeyIndex index : {kiCurRangeStart, kiCurRangeEnd}) {
    key_buffers_[index] = TKeyBuffer{false, 0, std::vector<std::uint8_t>(record_size_, 0)};
  }
  FreeSearchCursor();
  CursorPosChanged();
  Resync(false);
}

}  // namespace telvora::dataset
