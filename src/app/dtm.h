#pragma once
// TDTM: the phone book's data module. It holds the contacts table MainTable
// and the data source every data-aware control of the main window is bound
// to, and it gives the number selection dialog the current contact's
// numbers.
//
// MainTable carries six persistent string fields declared here in this
// order, so the field list the windows see is fixed by the module and does
// not come from the table file. The table is named "PhoneBook" and stays
// closed until the main window sets its folder and opens it.
//
// Created once at start-up, right after the main window; lives for the
// whole run. Threads: GUI thread only.

#include <optional>
#include <string>
#include <string_view>

#include "app/current_contact_numbers.h"
#include "dataset/data_link.h"
#include "dataset/field.h"
#include "dataset/vora_table.h"
#include "platform/component.h"

namespace telvora::app {

inline constexpr char kPhoneBookTableName[] = "PhoneBook";
inline constexpr char kMainTableEngineVersion[] = "3.24";

class TDTM : public platform::TComponent, public TCurrentContactNumbers {
 public:
  explicit TDTM(platform::TComponent* AOwner);
  ~TDTM() override;

  // Null reads as std::nullopt; without a current record every field is
  // null.
  std::optional<std::string> FieldValue(std::string_view field_name) const override;

  // Components, named as in the module's definition. Owned by the module.
  dataset::TVoraTable* MainTable;
  dataset::TDataSource* MainTableDataSource;
  dataset::TField* MainTableName;
  dataset::TField* MainTableFamily;
  dataset::TField* MainTableTel1;
  dataset::TField* MainTableTel2;
  dataset::TField* MainTableMobile;
  dataset::TField* MainTableAddress;
};

}  // namespace telvora::app
