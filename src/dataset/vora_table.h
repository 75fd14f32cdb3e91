#pragma once
// TVoraTable: the table component. It names one table of its database
// (TableName), opens it exclusively or read-only on request, selects the
// index that orders it, and publishes the maintenance events of the table
// engine.
//
// A TableName holding a path (a ":" or a separator) is split: the folder
// part becomes DatabaseName, the file name TableName. TableName, Exclusive
// and ReadOnly cannot change on an open table. After opening, ReadOnly
// reads what the cursor reports (a table that can only be read opens
// read-only).
//
// Threads: the dataset's.

#include <cstdint>
#include <string>

#include "dataset/vora_db_data_set.h"

namespace telvora::dataset {

class TVoraTable : public TVoraDBDataSet {
 public:
  // The maintenance events: a percentage done with a flag to stop, and a
  // line of log text. The maintenance operations that would raise them
  // are not part of this component.
  using TProgressEvent = platform::TEvent<void(TVoraTable&, int percent_done, bool& Abort)>;
  using TLogEvent = platform::TEvent<void(TVoraTable&, const std::string& text)>;

  explicit TVoraTable(platform::TComponent* AOwner);
  ~TVoraTable() override;

  // --- Published ---
  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& value);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  const std::string& IndexName() const { return index_name_; }
  void SetIndexName(const std::string& value);
  const std::string& IndexFieldNames() const { return index_field_names_; }
  void SetIndexFieldNames(const std::string& value);
  bool StoreDefs() const { return store_defs_; }
  void SetStoreDefs(bool value) { store_defs_ = value; }
  TDataSource* MasterSource() const { return master_source_; }
  void SetMasterSource(TDataSource* value) { master_source_ = value; }
  const std::string& MasterFields() const { return master_fields_; }
  void SetMasterFields(const std::string& value) { master_fields_ = value; }
  std::string EngineVersion() const;
  void SetEngineVersion(const std::string& /*value*/) {}

  TProgressEvent OnVerifyProgress, OnRepairProgress, OnUpgradeProgress, OnIndexProgress, OnCopyProgress,
      OnOptimizeProgress, OnRestructureProgress, OnImportProgress, OnExportProgress;
  TLogEvent OnVerifyLog, OnRepairLog, OnUpgradeLog, OnDataLost;

  bool CanModify() const override;

 protected:
  std::unique_ptr<engine::TDataCursor> CreateHandle() override;
  void AfterHandleCreated() override;
  std::string ContextTableName() const override { return table_name_; }

 private:
  std::string table_name_;
  bool exclusive_ = false;
  bool read_only_ = false;
  std::string index_name_;
  std::string index_field_names_;
  bool store_defs_ = false;
  TDataSource* master_source_ = nullptr;
  std::string master_fields_;
};

}  // namespace telvora::dataset
