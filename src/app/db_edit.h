#pragma once
// TDBEdit: a single-line edit box that shows and edits one field of the
// active record of a data source.
//
// - It shows the field's text (null reads as empty) and accepts at most the
//   field's Size characters.
// - The first change the user makes (a character typed, Backspace, Delete,
//   paste or cut) first puts the dataset into edit state (insert state on
//   an empty table); when the dataset refuses, the change is not made.
// - Escape puts the field's current value back into the box.
// - On leaving the box, text the user changed is written into the record
//   buffer; a post asks for it too (the data link's UpdateData). Then the
//   OnExit handler runs, after the focus has moved.
// - Whatever arrives is kept inside code page 1256 (TCodePageValidator), so
//   the field never receives a character it cannot store.
//
// Threads: GUI thread only.

#include <functional>
#include <string>

#include <QLineEdit>

#include "dataset/data_link.h"

namespace telvora::dataset {
class TField;
}

namespace telvora::app {

class TDBEdit : public QLineEdit {
 public:
  TDBEdit(QWidget* parent, int left, int top, int width, int height);
  ~TDBEdit() override;

  dataset::TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(dataset::TDataSource* value);
  const std::string& DataField() const { return data_field_; }
  void SetDataField(const std::string& value);
  // The field shown, or nullptr while the dataset is closed or has none of
  // that name.
  dataset::TField* Field() const;

  // Runs, queued, after the box lost the focus and wrote its text.
  std::function<void()> OnExit;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  class TFieldDataLink : public dataset::TDataLink {
   public:
    explicit TFieldDataLink(TDBEdit& edit) : edit_(edit) {}

   protected:
    void ActiveChanged() override { edit_.LoadField(); }
    void RecordChanged(dataset::TField* field) override;
    void UpdateData() override { edit_.StoreField(); }

   private:
    TDBEdit& edit_;
  };

  // Shows the field's value and forgets the user's change.
  void LoadField();
  // Writes the user's change into the field.
  void StoreField();
  // Puts the dataset into an edit mode; false when it is not in one after.
  bool BeginChange();
  // A change that reached the text without a key press (the context menu).
  void TextEdited(const QString& text);

  TFieldDataLink link_{*this};
  std::string data_field_;
  bool modified_ = false;
  bool loading_ = false;
};

}  // namespace telvora::app
