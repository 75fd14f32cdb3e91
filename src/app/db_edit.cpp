#include "app/db_edit.h"

#include <QKeyEvent>
#include <QTimer>

#include "app/code_page_validator.h"
#include "app/cp1256_text.h"
#include "dataset/field.h"
#include "dataset/vora_data_set.h"

namespace telvora::app {

namespace {

// QLineEdit's own limit, for a box without a field.
constexpr int kUnlimitedLength = 32767;

// The keys that change the text without typing a character.
bool IsChangingKey(const QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) return true;
  if (event->matches(QKeySequence::DeleteEndOfWord) || event->matches(QKeySequence::DeleteStartOfWord)) return true;
  if (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier) return false;
  if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) return true;
  const QString text = event->text();
  return !text.isEmpty() && text.at(0).isPrint();
}

}  // namespace

void TDBEdit::TFieldDataLink::RecordChanged(dataset::TField* field) {
  if (field == nullptr || field == edit_.Field()) edit_.LoadField();
}

TDBEdit::TDBEdit(QWidget* parent, int left, int top, int width, int height) : QLineEdit(parent) {
  setGeometry(left, top, width, height);
  setValidator(new TCodePageValidator(this));
  connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { TextEdited(text); });
}

TDBEdit::~TDBEdit() = default;

void TDBEdit::SetDataSource(dataset::TDataSource* value) {
  link_.SetDataSource(value);
  LoadField();
}

void TDBEdit::SetDataField(const std::string& value) {
  data_field_ = value;
  LoadField();
}

dataset::TField* TDBEdit::Field() const {
  dataset::TVoraDataSet* ds = link_.DataSet();
  if (ds == nullptr || !link_.Active() || data_field_.empty()) return nullptr;
  return ds->FindField(data_field_);
}

void TDBEdit::LoadField() {
  const dataset::TField* field = Field();
  loading_ = true;
  // Setting the limit sets the text again, which would drop the selection.
  const int limit = field != nullptr && field->Size() > 0 ? field->Size() : kUnlimitedLength;
  if (limit != maxLength()) setMaxLength(limit);
  // Unchanged text stays untouched, with its selection and cursor: the edit
  // that starts on a key press reads the record again just before the key
  // is applied.
  const QString value = field != nullptr ? FromCp1256(field->AsString()) : QString();
  if (value != text()) setText(value);
  loading_ = false;
  modified_ = false;
}

void TDBEdit::StoreField() {
  if (!modified_) return;
  dataset::TField* field = Field();
  if (field == nullptr) return;
  // The validator let nothing in that the code page cannot hold.
  field->SetAsString(ToCp1256(text()).value_or(std::string()));
  modified_ = false;
}

bool TDBEdit::BeginChange() {
  if (Field() == nullptr) return false;
  return link_.Edit();
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    LoadField();
    selectAll();
    event->accept();
    return;
  }
  if (IsChangingKey(event) && !BeginChange()) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TDBEdit::TextEdited(const QString& text) {
  if (loading_) return;
  if (!link_.Editing()) {
    // Pasted or cut from the context menu: the edit starts now, which reads
    // the record again; the user's text is put back over it.
    const int cursor = cursorPosition();
    if (!BeginChange()) {
      LoadField();
      return;
    }
    loading_ = true;
    setText(text);
    setCursorPosition(cursor);
    loading_ = false;
  }
  modified_ = true;
}

void TDBEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) return;
  if (link_.Editing()) {
    try {
      link_.UpdateRecord();
    } catch (...) {
      // The box keeps the text the field refused, selected, and the focus.
      selectAll();
      setFocus();
      throw;
    }
  }
  if (OnExit) QTimer::singleShot(0, this, [this] { OnExit(); });
}

}  // namespace telvora::app
