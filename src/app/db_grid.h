#pragma once
// TDBGrid: a read-only grid over the records of a data source, one row per
// record, with a title row, a row indicator and resizable columns.
//
// The grid never reads the whole table: its data link asks the dataset for
// as many records as the grid has rows on screen (the link's BufferCount),
// and every paint reads the rows of that window. The vertical scroll bar
// stands for the record numbers, 1 to RecordCount; moving it moves the
// dataset by record number, so a table of a million contacts scrolls as
// quickly as one of ten.
//
// Behaviour fixed by the phone book's main window:
// - whole-row selection; cells are never edited (records change through the
//   edit boxes); Tab and Enter are not taken, so they move the focus on;
// - Ctrl+Delete deletes the current record after the confirmation "Delete
//   record?" (question icon, OK and Cancel); Insert does nothing; Escape
//   cancels a pending edit;
// - when the grid loses the focus while a new record that nobody modified
//   is pending, that record is cancelled;
// - a right press on a data row makes it current; releasing the right
//   button over any cell of a column that has a pop-up menu (its title
//   included) opens that menu at the mouse position.
//
// Columns are laid out left to right whatever the window's reading order.
//
// Threads: GUI thread only.

#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QString>

#include "dataset/data_link.h"

class QMenu;

namespace telvora::dataset {
class TField;
class TVoraDataSet;
}  // namespace telvora::dataset

namespace telvora::app {

inline constexpr char kDeleteRecordQuestion[] = "Delete record?";

struct TColumn {
  std::string FieldName;
  QString Title;
  Qt::Alignment TitleAlignment = Qt::AlignHCenter;
  Qt::Alignment Alignment = Qt::AlignLeft;
  // Pixels; kDefaultWidth asks for the grid's default for the field.
  int Width = kDefaultWidth;
  QMenu* PopupMenu = nullptr;

  static constexpr int kDefaultWidth = -1;
};

class TDBGrid : public QAbstractScrollArea {
 public:
  TDBGrid(QWidget* parent, int left, int top, int width, int height);
  ~TDBGrid() override;

  dataset::TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(dataset::TDataSource* value);

  void AddColumn(const TColumn& column);
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  const TColumn& Column(int index) const { return columns_.at(static_cast<std::size_t>(index)); }
  // The column's width on screen (the default resolved).
  int ColumnWidth(int index) const;
  void SetColumnWidth(int index, int width);

  // Rows that fit on screen below the titles, and those of them that show
  // a record now.
  int VisibleRowCount() const;
  int DataRowCount() const;
  // The row of the active record (0-based, below the titles).
  int CurrentRow() const { return link_.ActiveRecord(); }
  // The text shown in a cell of a row on screen (empty past the records).
  QString CellText(int row, int column) const;
  // The rectangle of a cell in the viewport; row -1 is the title row.
  QRect CellRect(int row, int column) const;
  int RowHeight() const;
  int TitleHeight() const { return RowHeight(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;

 private:
  class TGridDataLink : public dataset::TDataLink {
   public:
    explicit TGridDataLink(TDBGrid& grid) : grid_(grid) {}

   protected:
    void ActiveChanged() override { grid_.LinkActive(); }
    void EditingChanged() override { grid_.DataChanged(); }
    void DataSetChanged() override { grid_.DataChanged(); }
    void DataSetScrolled(int) override { grid_.DataChanged(); }
    void RecordChanged(dataset::TField*) override { grid_.DataChanged(); }

   private:
    TDBGrid& grid_;
  };

  dataset::TVoraDataSet* ActiveDataSet() const;
  void LinkActive();
  void DataChanged();
  void UpdateRowCount();
  void UpdateScrollBars();
  void VerticalAction(int action);
  // Moves the dataset so that `row` on screen becomes current.
  void SelectRow(int row);
  // The viewport x of the left edge of a column, and the column under x
  // (-1 on the indicator or past the last column).
  int ColumnLeft(int column) const;
  int ColumnAt(int x) const;
  // The data row under y (-1 on the titles or below the rows).
  int RowAt(int y) const;
  // The column whose right edge is within reach of x on the title row.
  int ResizeHandleAt(const QPoint& position) const;
  int DefaultWidth(const TColumn& column) const;
  // Every column's viewport x and width, worked out once for a paint: a
  // default width measures the title's text, too slow to repeat per cell.
  struct TColumnSpan {
    int left;
    int width;
  };
  std::vector<TColumnSpan> ColumnSpans() const;
  void PaintIndicator(QPainter& painter, const QRect& cell, bool current) const;

  TGridDataLink link_{*this};
  std::vector<TColumn> columns_;
  int resizing_column_ = -1;
  int resize_origin_x_ = 0;
  int resize_origin_width_ = 0;
  int wheel_remainder_ = 0;
  bool updating_scroll_bars_ = false;
};

}  // namespace telvora::app
