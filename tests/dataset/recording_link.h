#pragma once
// A data link and a set of dataset event handlers that write what they are
// told into one log, in order, for the dataset tests.

#include <string>
#include <vector>

#include "dataset/data_link.h"
#include "dataset/field.h"
#include "dataset/vora_data_set.h"

namespace telvora::dataset::testing {

class RecordingLink : public TDataLink {
 public:
  explicit RecordingLink(std::vector<std::string>& log) : log_(log) {}

  // Text a control holds but has not written yet; UpdateData writes it.
  std::string pending_field;
  std::string pending_text;

 protected:
  void ActiveChanged() override { log_.push_back(Active() ? "link:active" : "link:inactive"); }
  void EditingChanged() override { log_.push_back(Editing() ? "link:editing" : "link:browsing"); }
  void DataSetChanged() override { log_.push_back("link:dataset"); }
  void DataSetScrolled(int /*distance*/) override { log_.push_back("link:scrolled"); }
  void RecordChanged(TField* field) override {
    log_.push_back(field != nullptr ? "link:field " + field->FieldName() : "link:record");
  }
  void UpdateData() override {
    log_.push_back("link:update");
    if (!pending_field.empty()) {
      DataSet()->FieldByName(pending_field).SetAsString(pending_text);
      pending_field.clear();
    }
  }
  void FocusControl(TField* field) override { log_.push_back("link:focus " + field->FieldName()); }

 private:
  std::vector<std::string>& log_;
};

// Assigns every notify event of the dataset to a handler logging its name.
inline void RecordEvents(TVoraDataSet& ds, std::vector<std::string>& log) {
  auto record = [&log](const char* name) { return [&log, name](TVoraDataSet&) { log.push_back(name); }; };
  ds.BeforeOpen = record("BeforeOpen");
  ds.AfterOpen = record("AfterOpen");
  ds.BeforeClose = record("BeforeClose");
  ds.AfterClose = record("AfterClose");
  ds.BeforeInsert = record("BeforeInsert");
  ds.AfterInsert = record("AfterInsert");
  ds.BeforeEdit = record("BeforeEdit");
  ds.AfterEdit = record("AfterEdit");
  ds.BeforePost = record("BeforePost");
  ds.AfterPost = record("AfterPost");
  ds.BeforeCancel = record("BeforeCancel");
  ds.AfterCancel = record("AfterCancel");
  ds.BeforeDelete = record("BeforeDelete");
  ds.AfterDelete = record("AfterDelete");
  ds.BeforeScroll = record("BeforeScroll");
  ds.AfterScroll = record("AfterScroll");
  ds.BeforeRefresh = record("BeforeRefresh");
  ds.AfterRefresh = record("AfterRefresh");
  ds.OnNewRecord = record("OnNewRecord");
}

}  // namespace telvora::dataset::testing
