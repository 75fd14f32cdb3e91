#include "app/db_grid.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/cp1256_text.h"
#include "app/message_box.h"
#include "dataset/field.h"
#include "dataset/vora_data_set.h"

namespace telvora::app {

namespace {

// The row indicator's column, in pixels.
constexpr int kIndicatorWidth = 11;
// Text keeps this far from a cell's edges.
constexpr int kCellPadding = 2;
// A title border grabs the mouse this many pixels either side of it.
constexpr int kResizeReach = 3;
constexpr int kMinColumnWidth = 4;
// Rows added to the font's line height, as the original grid has them.
constexpr int kRowExtra = 4;
// One notch of a mouse wheel.
constexpr int kWheelNotch = 120;

}  // namespace

TDBGrid::TDBGrid(QWidget* parent, int left, int top, int width, int height) : QAbstractScrollArea(parent) {
  setLayoutDirection(Qt::LeftToRight);
  setFocusPolicy(Qt::StrongFocus);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setMouseTracking(true);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setGeometry(left, top, width, height);
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) { VerticalAction(action); });
  connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, viewport(), [this] { viewport()->update(); });
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::SetDataSource(dataset::TDataSource* value) {
  link_.SetDataSource(value);
  LinkActive();
}

void TDBGrid::AddColumn(const TColumn& column) {
  columns_.push_back(column);
  UpdateScrollBars();
  viewport()->update();
}

int TDBGrid::ColumnWidth(int index) const {
  const TColumn& column = Column(index);
  return column.Width == TColumn::kDefaultWidth ? DefaultWidth(column) : column.Width;
}

void TDBGrid::SetColumnWidth(int index, int width) {
  columns_.at(static_cast<std::size_t>(index)).Width = std::max(kMinColumnWidth, width);
  UpdateScrollBars();
  viewport()->update();
}

// The original grid's default: the field's display width in digits, or the
// title when that is wider, plus a margin.
int TDBGrid::DefaultWidth(const TColumn& column) const {
  const QFontMetrics metrics(font());
  int characters = 0;
  if (dataset::TVoraDataSet* ds = ActiveDataSet()) {
    if (const dataset::TField* field = ds->FindField(column.FieldName)) characters = field->Size();
  }
  return std::max(characters * metrics.horizontalAdvance(QLatin1Char('0')), metrics.horizontalAdvance(column.Title)) +
         kRowExtra;
}

int TDBGrid::RowHeight() const { return QFontMetrics(font()).height() + kRowExtra; }

int TDBGrid::VisibleRowCount() const {
  return std::max(1, (viewport()->height() - TitleHeight()) / RowHeight());
}

dataset::TVoraDataSet* TDBGrid::ActiveDataSet() const { return link_.Active() ? link_.DataSet() : nullptr; }

int TDBGrid::DataRowCount() const {
  dataset::TVoraDataSet* ds = ActiveDataSet();
  if (ds == nullptr) return 0;
  const int first = ds->ActiveRecordIndex() - link_.ActiveRecord();
  return std::clamp(ds->WindowRecordCount() - first, 0, VisibleRowCount());
}

QString TDBGrid::CellText(int row, int column) const {
  dataset::TVoraDataSet* ds = ActiveDataSet();
  if (ds == nullptr || row < 0 || row >= DataRowCount()) return {};
  const dataset::TField* field = ds->FindField(Column(column).FieldName);
  if (field == nullptr) return {};
  const int first = ds->ActiveRecordIndex() - link_.ActiveRecord();
  // The field reads the window's row while it is the dataset's active one.
  const int old = ds->SetActiveRecordIndex(first + row);
  const std::string text = field->AsString();
  ds->SetActiveRecordIndex(old);
  return FromCp1256(text);
}

int TDBGrid::ColumnLeft(int column) const {
  int left = kIndicatorWidth + 1 - horizontalScrollBar()->value();
  for (int i = 0; i < column; ++i) left += ColumnWidth(i) + 1;
  return left;
}

std::vector<TDBGrid::TColumnSpan> TDBGrid::ColumnSpans() const {
  std::vector<TColumnSpan> spans;
  spans.reserve(columns_.size());
  int left = kIndicatorWidth + 1 - horizontalScrollBar()->value();
  for (int i = 0; i < ColumnCount(); ++i) {
    spans.push_back({left, ColumnWidth(i)});
    left += spans.back().width + 1;
  }
  return spans;
}

int TDBGrid::ColumnAt(int x) const {
  if (x <= kIndicatorWidth) return -1;
  for (int i = 0; i < ColumnCount(); ++i) {
    const int left = ColumnLeft(i);
    if (x >= left && x <= left + ColumnWidth(i)) return i;
  }
  return -1;
}

int TDBGrid::RowAt(int y) const {
  if (y < TitleHeight()) return -1;
  const int row = (y - TitleHeight()) / RowHeight();
  return row < DataRowCount() ? row : -1;
}

QRect TDBGrid::CellRect(int row, int column) const {
  const int top = row < 0 ? 0 : TitleHeight() + row * RowHeight();
  const int height = row < 0 ? TitleHeight() : RowHeight();
  if (column < 0) return QRect(0, top, kIndicatorWidth, height - 1);
  return QRect(ColumnLeft(column), top, ColumnWidth(column), height - 1);
}

int TDBGrid::ResizeHandleAt(const QPoint& position) const {
  if (position.y() >= TitleHeight()) return -1;
  for (int i = 0; i < ColumnCount(); ++i) {
    const int right = ColumnLeft(i) + ColumnWidth(i);
    if (std::abs(position.x() - right) <= kResizeReach) return i;
  }
  return -1;
}

void TDBGrid::LinkActive() {
  UpdateRowCount();
  DataChanged();
}

void TDBGrid::UpdateRowCount() { link_.SetBufferCount(VisibleRowCount()); }

void TDBGrid::DataChanged() {
  UpdateScrollBars();
  viewport()->update();
}

void TDBGrid::UpdateScrollBars() {
  updating_scroll_bars_ = true;
  QScrollBar* vertical = verticalScrollBar();
  dataset::TVoraDataSet* ds = ActiveDataSet();
  if (ds == nullptr) {
    vertical->setRange(0, 0);
  } else {
    const int count = ds->RecordCount();
    vertical->setRange(0, std::max(0, count - 1));
    vertical->setPageStep(VisibleRowCount());
    const int recno = ds->RecNo();
    vertical->setValue(recno > 0 ? recno - 1 : (ds->Eof() ? count - 1 : 0));
  }
  int total = kIndicatorWidth + 1;
  for (int i = 0; i < ColumnCount(); ++i) total += ColumnWidth(i) + 1;
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setRange(0, std::max(0, total - viewport()->width()));
  horizontal->setPageStep(viewport()->width());
  updating_scroll_bars_ = false;
}

void TDBGrid::VerticalAction(int action) {
  dataset::TVoraDataSet* ds = ActiveDataSet();
  if (ds == nullptr) return;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: ds->MoveBy(1); break;
    case QAbstractSlider::SliderSingleStepSub: ds->MoveBy(-1); break;
    case QAbstractSlider::SliderPageStepAdd: ds->MoveBy(VisibleRowCount()); break;
    case QAbstractSlider::SliderPageStepSub: ds->MoveBy(-VisibleRowCount()); break;
    case QAbstractSlider::SliderToMinimum: ds->First(); break;
    case QAbstractSlider::SliderToMaximum: ds->Last(); break;
    case QAbstractSlider::SliderMove: {
      // The thumb stands for a record number.
      const int wanted = verticalScrollBar()->sliderPosition() + 1;
      if (wanted >= ds->RecordCount()) {
        ds->Last();
      } else if (wanted <= 1) {
        ds->First();
      } else {
        ds->SetRecNo(wanted);
      }
      break;
    }
    default: return;
  }
  // The slider shows where the dataset went, not where the action aimed.
  const int recno = ds->RecNo();
  if (recno > 0) verticalScrollBar()->setSliderPosition(recno - 1);
}

void TDBGrid::scrollContentsBy(int, int) { viewport()->update(); }

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateRowCount();
  UpdateScrollBars();
}

bool TDBGrid::viewportEvent(QEvent* event) {
  // The scroll area would scroll the viewport on a wheel turn itself.
  if (event->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void TDBGrid::SelectRow(int row) {
  dataset::TVoraDataSet* ds = ActiveDataSet();
  if (ds == nullptr || row < 0) return;
  const int distance = row - link_.ActiveRecord();
  if (distance != 0) ds->MoveBy(distance);
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const QPoint position = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    resizing_column_ = ResizeHandleAt(position);
    if (resizing_column_ >= 0) {
      resize_origin_x_ = position.x();
      resize_origin_width_ = ColumnWidth(resizing_column_);
      return;
    }
  }
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) SelectRow(RowAt(position.y()));
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (resizing_column_ >= 0) {
    SetColumnWidth(resizing_column_, resize_origin_width_ + position.x() - resize_origin_x_);
    return;
  }
  viewport()->setCursor(ResizeHandleAt(position) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    resizing_column_ = -1;
    return;
  }
  if (event->button() != Qt::RightButton) return;
  if (position.y() < 0 || position.y() >= TitleHeight() + VisibleRowCount() * RowHeight()) return;
  const int column = ColumnAt(position.x());
  if (column < 0 || Column(column).PopupMenu == nullptr) return;
  Column(column).PopupMenu->popup(viewport()->mapToGlobal(position));
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
  dataset::TVoraDataSet* ds = ActiveDataSet();
  event->accept();
  if (ds == nullptr) return;
  wheel_remainder_ += event->angleDelta().y();
  const int notches = wheel_remainder_ / kWheelNotch;
  wheel_remainder_ -= notches * kWheelNotch;
  if (notches != 0) ds->MoveBy(-notches);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  dataset::TVoraDataSet* ds = ActiveDataSet();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = modifiers == Qt::ControlModifier;
  if (ds == nullptr) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Up: ds->MoveBy(-1); break;
    case Qt::Key_Down: ds->MoveBy(1); break;
    case Qt::Key_PageUp: ds->MoveBy(-VisibleRowCount()); break;
    case Qt::Key_PageDown: ds->MoveBy(VisibleRowCount()); break;
    case Qt::Key_Home: ds->First(); break;
    case Qt::Key_End: ds->Last(); break;
    case Qt::Key_Escape: ds->Cancel(); break;
    case Qt::Key_Insert: break;  // new records come from the New button only
    case Qt::Key_Delete:
      if (!ctrl) break;
      if (!ds->IsEmpty() && ds->CanModify() && AskOkCancel(this, kDeleteRecordQuestion)) ds->Delete();
      break;
    default:
      // Tab, Enter and the rest go on to the window.
      event->ignore();
      return;
  }
  event->accept();
}

void TDBGrid::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) return;
  dataset::TVoraDataSet* ds = ActiveDataSet();
  if (ds != nullptr && ds->State() == dataset::TDataSetState::Inserting && !ds->Modified()) ds->Cancel();
}

void TDBGrid::PaintIndicator(QPainter& painter, const QRect& cell, bool current) const {
  if (!current) return;
  dataset::TVoraDataSet* ds = ActiveDataSet();
  const dataset::TDataSetState state = ds != nullptr ? ds->State() : dataset::TDataSetState::Browsing;
  painter.setPen(palette().color(QPalette::WindowText));
  const QPoint centre = cell.center();
  if (state == dataset::TDataSetState::Editing) {
    painter.drawText(cell, Qt::AlignCenter, QStringLiteral("I"));
  } else if (state == dataset::TDataSetState::Inserting) {
    painter.drawText(cell, Qt::AlignCenter, QStringLiteral("*"));
  } else {
    // The arrow that marks the current record.
    const QPoint arrow[] = {centre + QPoint(-2, -4), centre + QPoint(2, 0), centre + QPoint(-2, 4)};
    painter.setBrush(palette().color(QPalette::WindowText));
    painter.drawPolygon(arrow, 3);
  }
}

void TDBGrid::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette colors = palette();
  const int width = viewport()->width();
  const int rows = DataRowCount();
  const int current = rows > 0 ? link_.ActiveRecord() : -1;
  const QColor lines = colors.color(QPalette::Mid);
  const int title_height = TitleHeight();
  const int row_height = RowHeight();
  const std::vector<TColumnSpan> spans = ColumnSpans();
  const auto text_rect = [&](int top, int height, int column) {
    const TColumnSpan& span = spans[static_cast<std::size_t>(column)];
    return QRect(span.left + kCellPadding, top, span.width - 2 * kCellPadding, height - 1);
  };

  // Titles and the indicator column on the button face.
  painter.fillRect(QRect(0, 0, width, title_height), colors.color(QPalette::Button));
  painter.fillRect(QRect(0, title_height, kIndicatorWidth + 1, viewport()->height()), colors.color(QPalette::Button));
  painter.setPen(colors.color(QPalette::ButtonText));
  for (int i = 0; i < ColumnCount(); ++i) {
    painter.drawText(text_rect(0, title_height, i), Column(i).TitleAlignment | Qt::AlignVCenter, Column(i).Title);
  }

  // Rows.
  dataset::TVoraDataSet* ds = ActiveDataSet();
  for (int row = 0; row < rows; ++row) {
    const int top = title_height + row * row_height;
    if (row == current) {
      painter.fillRect(QRect(kIndicatorWidth + 1, top, width, row_height - 1), colors.color(QPalette::Highlight));
    }
    PaintIndicator(painter, QRect(0, top, kIndicatorWidth, row_height - 1), row == current);
    painter.setPen(colors.color(row == current ? QPalette::HighlightedText : QPalette::Text));
    for (int i = 0; i < ColumnCount() && ds != nullptr; ++i) {
      // Clipped to the cell: a long address shows its beginning.
      painter.drawText(text_rect(top, row_height, i), Column(i).Alignment | Qt::AlignVCenter, CellText(row, i));
    }
  }

  // Cell lines.
  painter.setPen(lines);
  const int bottom = std::max(title_height + std::max(rows, 0) * row_height, title_height) - 1;
  painter.drawLine(kIndicatorWidth, 0, kIndicatorWidth, bottom);
  for (const TColumnSpan& span : spans) painter.drawLine(span.left + span.width, 0, span.left + span.width, bottom);
  for (int row = 0; row <= rows; ++row) {
    const int y = title_height + row * row_height - 1;
    painter.drawLine(0, y, width, y);
  }
}

}  // namespace telvora::app
