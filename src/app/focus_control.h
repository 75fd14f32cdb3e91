#pragma once
// Moving the focus the way the windows ask for it, on a control that may
// not be able to take it. The original framework raised "Cannot focus a
// disabled or invisible window" in that case (after a redial that failed
// with Hang up disabled, or a countdown ending on the hidden call-wait
// dialog); here the move is simply skipped: the work the handler did stays
// done and no box interrupts the user.
//
// Threads: GUI thread only.

class QWidget;

namespace telvora::app {

// Gives `control` the focus when it is enabled and shown in a shown window
// (or, while its window is being shown, would be shown); otherwise does
// nothing. True when the focus was set.
bool FocusControl(QWidget* control);

}  // namespace telvora::app
