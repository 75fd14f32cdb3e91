#pragma once
// The plain controls the phone book's windows are built from, with the
// behaviour their definitions rely on:
// - TLabel sizes itself to its caption and keeps its right edge where the
//   window's definition put it (right-to-left labels grow to the left), so
//   a caption is never clipped whatever the font's metrics.
// - TButton is pressed by Enter or Return while it has the focus (also
//   outside dialogs, where Qt's buttons ignore Enter), and may be a
//   window's default button (Enter elsewhere presses it) or cancel button
//   (Escape presses it).
// - TPanel is a raised frame; disabling it disables everything on it.
// Positions are always given from the parent's left edge, as in the
// definitions; right-to-left reading order does not mirror them.
//
// Threads: GUI thread only.

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace telvora::app {

class TLabel : public QLabel {
 public:
  // Left, Top, Width, Height from the window's definition.
  TLabel(QWidget* parent, int left, int top, int width, int height);

  void SetCaption(const QString& caption);
  // The right edge (Left + Width) the label keeps.
  int DesignRight() const { return design_right_; }
  // Moves the kept right edge (for labels that continue another one).
  void SetDesignRight(int right);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void AdjustBounds();

  int design_right_;
  int design_top_;
  int design_height_;
};

class TButton : public QPushButton {
 public:
  TButton(QWidget* parent, int left, int top, int width, int height);

  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
};

class TPanel : public QFrame {
 public:
  TPanel(QWidget* parent, int left, int top, int width, int height);
};

}  // namespace telvora::app
