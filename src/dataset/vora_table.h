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
#include <vector>

#include "dataset/index_def.h"
#include "dataset/master_data_link.h"
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
  // Fields separated by ";"; selects the index that serves them ("No index
  // for fields '%s'"). IndexName and IndexFieldNames share one setting:
  // setting one clears the other.
  const std::string& IndexFieldNames() const { return index_field_names_; }
  void SetIndexFieldNames(const std::string& value);
  // Read from the table when first needed after TableName, DatabaseName or
  // SessionName changed (through a short-lived cursor while closed).
  const std::vector<TIndexDef>& IndexDefs();
  bool StoreDefs() const { return store_defs_; }
  void SetStoreDefs(bool value) { store_defs_ = value; }
  // The master's data source; the table shows only the records whose
  // leading key fields of the current index equal the master's
  // MasterFields. "Circular data links are not allowed." for a source
  // leading back to this table.
  TDataSource* MasterSource() const { return master_link_.DataSource(); }
  void SetMasterSource(TDataSource* value);
  const std::string& MasterFields() const { return master_link_.FieldNames(); }
  void SetMasterFields(const std::string& value);
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
  void CursorReady() override;
  void NewRecordStep() override;

 private:
  void SetIndex(const std::string& value, bool field_names);
  // The master's linking field values, in MasterFields order.
  std::vector<TVariant> MasterValues() const;
  void MasterChanged();
  void MasterDisabled();

  std::string table_name_;
  bool exclusive_ = false;
  bool read_only_ = false;
  std::string index_name_;
  std::string index_field_names_;
  bool store_defs_ = false;
  std::vector<TIndexDef> index_defs_;
  // The session, database and table names the definitions were read for.
  std::string index_defs_source_;
  bool index_defs_read_ = false;
  TMasterDataLink master_link_;
};

}  // namespace telvora::dataset
