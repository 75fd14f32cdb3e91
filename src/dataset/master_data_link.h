#pragma once
// TMasterDataLink: the link through which a detail table follows the
// current record of its master dataset. It reports a change of the master's
// record (or of one of the linking fields) and the master going away
// (closed, or the link cleared); the detail sets or drops its range.
//
// Threads: the datasets' thread.

#include <functional>
#include <string>

#include "dataset/data_link.h"

namespace telvora::dataset {

class TMasterDataLink : public TDataLink {
 public:
  // Master field names, separated by ";".
  void SetFieldNames(const std::string& names) { field_names_ = names; }
  const std::string& FieldNames() const { return field_names_; }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;

 private:
  bool IsLinkingField(const TField& field) const;

  std::string field_names_;
};

}  // namespace telvora::dataset
