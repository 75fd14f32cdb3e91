#pragma once
// A table in a temporary folder, created through the creation checks and
// written the way the cursor writes: under the write lock, through
// TRecordIndexWriter, TOpenBlobValues and the record writes.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/open_blob_values.h"
#include "engine/record_defaults.h"
#include "engine/record_index_writer.h"
#include "engine/record_writes.h"
#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/record_image.h"
#include "storage/table_file_names.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine::testing {

class RecordWriteFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    if (table_ != nullptr) Close();
    if (directory_ != nullptr) session_.CloseDirectory(*directory_);
  }

  void Create(const TTableDescription& description, const std::string& name = "People") {
    name_ = name;
    directory_ = &session_.OpenDirectory("Test", dir_.path().string());
    CreateCheckedTable(*directory_, name_, description, false, false);
  }

  // Opens the table for writing: write lock held, writer and BLOB values made.
  void Open() {
    table_ = &directory_->OpenTableForCursor(name_, {});
    table_->WriteLock();
    indexes_ = std::make_unique<TRecordIndexWriter>(*table_);
    blobs_ = std::make_unique<TOpenBlobValues>(*table_);
  }

  // Writes everything cached (with the header counters, as a write that
  // succeeded does), releases the lock and closes the table.
  void Close(bool write_counters = true) {
    blobs_.reset();
    indexes_.reset();
    table_->Flush({.force_data_header = write_counters, .force_index_header = write_counters});
    table_->WriteUnlock();
    directory_->CloseTable(*table_);
    table_ = nullptr;
  }

  TRecordWriteParts Parts() { return {*table_, *indexes_, *blobs_}; }

  std::vector<std::uint8_t> NewBuffer() {
    std::vector<std::uint8_t> buffer(table_->data_file().RecordSize());
    InitRecord(table_->data_file().Descriptors(), Locale(), buffer);
    return buffer;
  }

  Locale TableLocale() const { return {table_->data_file().LanguageId(), table_->data_file().SortId()}; }

  // Sets field `number` (1-based) of the buffer from a value text.
  void Set(std::vector<std::uint8_t>& buffer, std::uint16_t number, const std::string& text) {
    storage::TRecordImage image(buffer);
    const storage::TFieldDescriptor field = *table_->data_file().DescriptorByNumber(number);
    if (text.empty()) {
      image.SetNull(storage::TFieldLayout::Of(field));
    } else {
      StoreValueText(field, text, TableLocale(), image);
    }
  }

  storage::TFieldLayout Layout(std::uint16_t number) const {
    return storage::TFieldLayout::Of(*table_->data_file().DescriptorByNumber(number));
  }

  // The stored image of record n.
  std::vector<std::uint8_t> Stored(std::int32_t n) {
    storage::TRecord* record = table_->data_file().GetRecord(n);
    EXPECT_NE(record, nullptr);
    if (record == nullptr) return {};
    std::vector<std::uint8_t> image(record->Image().begin(), record->Image().end());
    table_->data_file().ReleaseRecord(record);
    return image;
  }

  std::filesystem::path TablePath() const { return dir_.path() / name_; }

  // The bytes of the data, index and BLOB files (empty when missing).
  std::vector<std::vector<char>> FileBytes() const { return telvora::testing::TableFileBytes(dir_.path(), name_); }

  telvora::testing::TempDir dir_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
  std::string name_;
  storage::TDataTable* table_ = nullptr;
  std::unique_ptr<TRecordIndexWriter> indexes_;
  std::unique_ptr<TOpenBlobValues> blobs_;
};

}  // namespace telvora::engine::testing
