#pragma once
// TDataSource and TDataLink: how data-aware controls see a dataset.
//
// A control owns a TDataLink (a subclass overriding the hooks it needs) and
// attaches it to a TDataSource, which names a dataset. The dataset tells
// every data source of every change, and each source tells its links:
//   ActiveChanged     the dataset opened or closed
//   EditingChanged    the dataset entered or left an edit mode
//   DataSetChanged    the buffer window was read anew (a grid repaints)
//   DataSetScrolled   the window moved by a number of records
//   RecordChanged     the active record, or one field of it (field given),
//                     changed
//   LayoutChanged     the field list changed
//   UpdateData        write the control's pending text into the record
//                     (before a post, and when edit mode is left)
//   FocusControl      focus the control that shows the given field
//   CheckBrowseMode   the dataset is about to leave the current record
// A link's BufferCount is how many records it shows at once (a grid: its
// visible rows); the dataset keeps a window as large as the widest link
// needs. ActiveRecord is the link's row of the dataset's active record.
//
// Invariants: a link is in at most one source's list, a source in at most
// one dataset's list; destroying either takes it out.
// Threads: the dataset's thread.

#include <cstdint>
#include <vector>

#include "dataset/dataset_state.h"
#include "platform/component.h"

namespace telvora::dataset {

class TField;
class TVoraDataSet;
class TDataSource;

enum class TDataEvent : std::uint8_t {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  deFocusControl,
};

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* value);
  TVoraDataSet* DataSet() const;
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int value);
  // The link's row (0-based) of the dataset's active record.
  int ActiveRecord() const;
  // Puts the dataset into Editing (on the first change the user makes);
  // returns whether it is in an edit mode afterwards.
  bool Edit();
  // Writes the pending text now (asks UpdateData).
  void UpdateRecord();

 protected:
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void UpdateData() {}
  virtual void FocusControl(TField* /*field*/) {}
  virtual void CheckBrowseMode() {}

 private:
  friend class TDataSource;
  void DataEvent(TDataEvent event, TField* field, int info);
  void UpdateState();

  TDataSource* source_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool updating_ = false;
  int buffer_count_ = 1;
  // The window's first row as this link last saw it.
  int first_record_ = 0;
};

class TDataSource : public platform::TComponent {
 public:
  explicit TDataSource(platform::TComponent* AOwner);
  ~TDataSource() override;

  TVoraDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TVoraDataSet* value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // The dataset's state, Closed without a dataset or when disabled.
  TDataSetState State() const;
  int LinkCount() const { return static_cast<int>(links_.size()); }

  platform::TEvent<void(TDataSource&)> OnStateChange;
  platform::TEvent<void(TDataSource&, TField*)> OnDataChange;
  platform::TEvent<void(TDataSource&)> OnUpdateData;

 private:
  friend class TVoraDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent event, TField* field, int info);
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);
  // The dataset is going away.
  void DataSetGone();

  TVoraDataSet* dataset_ = nullptr;
  bool enabled_ = true;
  TDataSetState state_ = TDataSetState::Closed;
  std::vector<TDataLink*> links_;
};

}  // namespace telvora::dataset
