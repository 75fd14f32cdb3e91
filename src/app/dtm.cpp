#include "app/dtm.h"

namespace telvora::app {

namespace {

struct PersistentField {
  dataset::TField* TDTM::*member;
  const char* component_name;
  const char* field_name;
  int size;
};

// The module's fields, in their declared order.
constexpr PersistentField kFields[] = {
    {&TDTM::MainTableName, "MainTableName", "Name", 60},
    {&TDTM::MainTableFamily, "MainTableFamily", "Family", 70},
    {&TDTM::MainTableTel1, "MainTableTel1", "Tel1", 12},
    {&TDTM::MainTableTel2, "MainTableTel2", "Tel2", 12},
    {&TDTM::MainTableMobile, "MainTableMobile", "Mobile", 16},
    {&TDTM::MainTableAddress, "MainTableAddress", "Address", 65},
};

}  // namespace

TDTM::TDTM(platform::TComponent* AOwner) : TComponent(AOwner) {
  SetName("DTM");
  MainTable = new dataset::TVoraTable(this);
  MainTable->SetName("MainTable");
  MainTable->SetAutoDisplayLabels(false);
  MainTable->SetCopyOnAppend(false);
  MainTable->SetEngineVersion(kMainTableEngineVersion);
  MainTable->SetTableName(kPhoneBookTableName);

  MainTableDataSource = new dataset::TDataSource(this);
  MainTableDataSource->SetName("MainTableDataSource");
  MainTableDataSource->SetDataSet(MainTable);

  for (const PersistentField& declared : kFields) {
    auto* field = new dataset::TField(this);
    field->SetName(declared.component_name);
    field->SetFieldName(declared.field_name);
    field->SetDataType(dataset::TFieldType::ftString);
    field->SetSize(declared.size);
    field->SetDataSet(MainTable);
    this->*declared.member = field;
  }
}

// The table closes before its fields go (a pending edit is dropped, as at
// the end of the run); the owned components then go in the base
// destructor, last created first.
TDTM::~TDTM() {
  try {
    MainTable->Close();
  } catch (...) {
    // Nothing can be shown any more; the engine has released the table.
  }
}

std::optional<std::string> TDTM::FieldValue(std::string_view field_name) const {
  const dataset::TField* field = MainTable->FindField(std::string(field_name));
  if (field == nullptr || field->IsNull()) return std::nullopt;
  return field->AsString();
}

}  // namespace telvora::app
