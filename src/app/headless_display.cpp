#include "app/headless_display.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include "app/loopback_listen.h"

namespace telvora::app {

namespace {

// How long the check waits for the VNC server to listen.
constexpr int kListenCheckAttempts = 40;
constexpr int kListenCheckIntervalMs = 50;

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
  // The VNC server starts listening from the event loop, right after it
  // starts; the check follows it there.
  auto attempts = std::make_shared<int>(0);
  auto check = std::make_shared<std::function<void()>>();
  *check = [port = plan.vnc_port, attempts, check] {
    const std::vector<TListeningSocket> sockets = ListeningSocketsOnPort(port);
    if (sockets.empty() && ++*attempts < kListenCheckAttempts) {
      QTimer::singleShot(kListenCheckIntervalMs, [check] { (*check)(); });
      return;
    }
    bool exposed = false;
    for (const TListeningSocket& socket : sockets) exposed = exposed || !socket.loopback;
    if (exposed) {
      std::fprintf(stderr, "Telvora: the VNC server on port %u is not limited to the loopback address; stopping.\n",
                   static_cast<unsigned>(port));
      std::fflush(stderr);
      std::_Exit(EXIT_FAILURE);
    }
    if (sockets.empty()) {
      std::fprintf(stderr, "Telvora: the VNC server could not listen on port %u.\n", static_cast<unsigned>(port));
      std::fflush(stderr);
      QCoreApplication::exit(EXIT_FAILURE);
      return;
    }
    // IPv4 clients reach an IPv4 or mapped address; only a pure ::1 needs
    // IPv6 (ssh writes it in brackets).
    bool ipv4 = false;
    for (const TListeningSocket& socket : sockets) ipv4 = ipv4 || socket.address.find('.') != std::string::npos;
    const char* host = ipv4 ? "127.0.0.1" : "[::1]";
    std::printf(
        "Telvora: no display; the windows are served by VNC on %s:%u only. To see them: "
        "ssh -L %u:%s:%u <this machine>, then open a VNC viewer on localhost:%u.\n",
        host, static_cast<unsigned>(port), static_cast<unsigned>(port), host, static_cast<unsigned>(port),
        static_cast<unsigned>(port));
    std::fflush(stdout);
  };
  QTimer::singleShot(0, [check] { (*check)(); });
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
