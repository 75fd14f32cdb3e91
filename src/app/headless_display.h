#pragma once
// Showing the windows on a machine without a display (no DISPLAY and no
// WAYLAND_DISPLAY, and no platform chosen through QT_QPA_PLATFORM).
//
// Qt's VNC platform then serves the windows, but only on the loopback
// address, since VNC has no authentication: ListenOnLoopbackOnly() must be
// in force, and after start-up the listening socket is checked. The user
// reaches it through an SSH tunnel; one line on standard output says how.
// When the loopback limit cannot be had, the windows are drawn offscreen
// instead and the first window shown is written to a PNG file.
//
// Use: PrepareHeadlessDisplay() first thing in main (it sets the platform
// for the application object), then, with the application object made,
// StartHeadlessDisplay(plan) and, once the first window is shown,
// ShowHeadlessWindow(plan, window).
//
// Threads: the GUI thread, before other threads start.

#include <cstdint>
#include <string>

class QWidget;

namespace telvora::app {

inline constexpr std::uint16_t kFirstVncPort = 5900;
inline constexpr std::uint16_t kLastVncPort = 5999;
inline constexpr char kVncScreenSize[] = "1024x768";

enum class THeadlessMode {
  hmDisplay,    // a display exists (or the platform was chosen): nothing to do
  hmVnc,        // VNC on the loopback address, port `vnc_port`
  hmOffscreen,  // offscreen; the first window goes to `screenshot`
};

struct THeadlessPlan {
  THeadlessMode mode = THeadlessMode::hmDisplay;
  std::uint16_t vnc_port = 0;
  std::string screenshot;
  std::string reason;  // why not VNC, for the offscreen line
};

// Chooses the way and sets QT_QPA_PLATFORM accordingly. `screenshot` is the
// PNG file for the offscreen way.
THeadlessPlan PrepareHeadlessDisplay(const std::string& screenshot);

// With the application object made: for VNC, checks, as soon as the event
// loop runs and the server listens, that it listens on the loopback address
// only (and ends the program at once when it does not); then prints the one
// line that tells how to see the windows.
void StartHeadlessDisplay(const THeadlessPlan& plan);

// For the offscreen way: writes `window` to the plan's PNG file once it has
// been drawn, prints where, and ends the event loop (nobody can use the
// window). Does nothing in the other modes.
void ShowHeadlessWindow(const THeadlessPlan& plan, QWidget* window);

}  // namespace telvora::app
