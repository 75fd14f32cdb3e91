#include "app/headless_display.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include "app/loopback_listen.h"

namespace telvora::app {

namespace {

// Time for the first window to be laid out and drawn before it is grabbed.
constexpr int kScreenshotDelayMs = 300;

bool HasEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// A port on which nothing listens on the loopback address, or 0.
std::uint16_t FreeLoopbackPort() {
  for (std::uint16_t port = kFirstVncPort; port <= kLastVncPort; ++port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    if (free && ListeningSocketsOnPort(port).empty()) return port;
  }
  return 0;
}

}  // namespace

THeadlessPlan PrepareHeadlessDisplay(const std::string& screenshot) {
  THeadlessPlan plan;
  if (HasEnvironment("DISPLAY") || HasEnvironment("WAYLAND_DISPLAY") || HasEnvironment("QT_QPA_PLATFORM")) {
    return plan;
  }
  plan.screenshot = screenshot;
  if (!ListenOnLoopbackOnly()) {
    plan.mode = THeadlessMode::hmOffscreen;
    plan.reason = "VNC cannot be limited to the loopback address in this build";
  } else if ((plan.vnc_port = FreeLoopbackPort()) == 0) {
    plan.mode = THeadlessMode::hmOffscreen;
    plan.reason = "no free VNC port";
  } else {
    plan.mode = THeadlessMode::hmVnc;
  }
  const std::string platform =
      plan.mode == THeadlessMode::hmVnc
          ? "vnc:size=" + std::string(kVncScreenSize) + ":port=" + std::to_string(plan.vnc_port)
          : std::string("offscreen");
  ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  return plan;
}

void StartHeadlessDisplay(const THeadlessPlan& plan) {
  if (plan.mode != THeadlessMode::hmVnc) return;
  const std::vector<TListeningSocket> sockets = ListeningSocketsOnPort(plan.vnc_port);
  bool exposed = sockets.empty();
  for (const TListeningSocket& socket : sockets) exposed = exposed || !socket.loopback;
  if (exposed) {
    std::fprintf(stderr, "Telvora: the VNC server on port %u is not limited to the loopback address; stopping.\n",
                 static_cast<unsigned>(plan.vnc_port));
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  }
  std::printf(
      "Telvora: no display; the windows are served by VNC on 127.0.0.1:%u only. To see them: "
      "ssh -L %u:127.0.0.1:%u <this machine>, then open a VNC viewer on localhost:%u.\n",
      static_cast<unsigned>(plan.vnc_port), static_cast<unsigned>(plan.vnc_port),
      static_cast<unsigned>(plan.vnc_port), static_cast<unsigned>(plan.vnc_port));
  std::fflush(stdout);
}

void ShowHeadlessWindow(const THeadlessPlan& plan, QWidget* window) {
  if (plan.mode != THeadlessMode::hmOffscreen) return;
  const QString path = QString::fromStdString(plan.screenshot);
  QTimer::singleShot(kScreenshotDelayMs, window, [window, path, reason = plan.reason] {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const bool saved = window->grab().save(path, "PNG");
    if (saved) {
      std::printf("Telvora: no display (%s); the window was drawn offscreen into %s\n", reason.c_str(),
                  QFileInfo(path).absoluteFilePath().toLocal8Bit().constData());
    } else {
      std::printf("Telvora: no display (%s), and the window could not be written to %s\n", reason.c_str(),
                  path.toLocal8Bit().constData());
    }
    std::fflush(stdout);
    QCoreApplication::quit();
  });
}

}  // namespace telvora::app
