#include "app/window_controls.h"

#include <algorithm>

#include <QEvent>
#include <QKeyEvent>

namespace telvora::app {

TLabel::TLabel(QWidget* parent, int left, int top, int width, int height)
    : QLabel(parent), design_right_(left + width), design_top_(top), design_height_(height) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeading | Qt::AlignTop);
  setGeometry(left, top, width, height);
}

void TLabel::SetCaption(const QString& caption) {
  setText(caption);
  AdjustBounds();
}

void TLabel::SetDesignRight(int right) {
  design_right_ = right;
  AdjustBounds();
}

void TLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) AdjustBounds();
}

void TLabel::AdjustBounds() {
  const QFontMetrics metrics(font());
  // One pixel more than the advance: anti-aliased glyphs may touch it.
  const int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text()) + 1;
  const int height = std::max(design_height_, metrics.height());
  setGeometry(design_right_ - width, design_top_, width, height);
}

TButton::TButton(QWidget* parent, int left, int top, int width, int height) : QPushButton(parent) {
  setAutoDefault(false);
  setGeometry(left, top, width, height);
}

void TButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

TPanel::TPanel(QWidget* parent, int left, int top, int width, int height) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setGeometry(left, top, width, height);
}

}  // namespace telvora::app
