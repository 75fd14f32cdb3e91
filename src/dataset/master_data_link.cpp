#include "dataset/master_data_link.h"

#include "dataset/field.h"
#include "dataset/field_def.h"
#include "dataset/index_def.h"
#include "dataset/vora_data_set.h"

namespace telvora::dataset {

void TMasterDataLink::ActiveChanged() {
  if (Active()) {
    if (OnMasterChange && !field_names_.empty()) OnMasterChange();
  } else if (OnMasterDisable) {
    OnMasterDisable();
  }
}

void TMasterDataLink::RecordChanged(TField* field) {
  TVoraDataSet* master = DataSet();
  if (master == nullptr || !master->Active() || master->State() == TDataSetState::KeyEditing) return;
  if (field_names_.empty() || !OnMasterChange) return;
  if (field == nullptr || IsLinkingField(*field)) OnMasterChange();
}

bool TMasterDataLink::IsLinkingField(const TField& field) const {
  for (const std::string& name : SplitFieldNames(field_names_)) {
    if (SameText(name, field.FieldName())) return true;
  }
  return false;
}

}  // namespace telvora::dataset
