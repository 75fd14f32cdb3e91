// The headless display: the choice of VNC or offscreen without a display,
// the loopback limit on listening sockets, and reading the kernel's list of
// listening sockets that checks it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/headless_display.h"
#include "app/loopback_listen.h"
#include "app_test_support.h"
#include "support/test_paths.h"

#include <QImage>

namespace telvora::app::test {
namespace {

// Sets or unsets environment variables for one test, restoring them after.
class EnvironmentOverride {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~EnvironmentOverride() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(HeadlessDisplay, ADisplayOrAChosenPlatformIsLeftAlone) {
  const char* const names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  for (const char* chosen : names) {
    EnvironmentOverride environment;
    for (const char* name : names) environment.Set(name, nullptr);
    environment.Set(chosen, chosen == std::string("QT_QPA_PLATFORM") ? "xcb" : ":7");
    const THeadlessPlan plan = PrepareHeadlessDisplay("/tmp/x.png");
    EXPECT_EQ(plan.mode, THeadlessMode::hmDisplay) << chosen;
    if (chosen == std::string("QT_QPA_PLATFORM")) {
      EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "xcb");
    }
  }
}

TEST(HeadlessDisplay, WithoutADisplayVncIsServedOnTheLoopbackAddressOnly) {
  EnvironmentOverride environment;
  environment.Set("DISPLAY", nullptr);
  environment.Set("WAYLAND_DISPLAY", nullptr);
  environment.Set("QT_QPA_PLATFORM", nullptr);
  const THeadlessPlan plan = PrepareHeadlessDisplay("/tmp/x.png");
  ASSERT_EQ(plan.mode, THeadlessMode::hmVnc) << plan.reason;
  EXPECT_GE(plan.vnc_port, kFirstVncPort);
  EXPECT_LE(plan.vnc_port, kLastVncPort);
  EXPECT_EQ(std::string(std::getenv("QT_QPA_PLATFORM")),
            "vnc:size=1024x768:port=" + std::to_string(plan.vnc_port));

  // Every bind to the wildcard address now lands on the loopback address,
  // and the kernel's list shows it so.
  const int v4 = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(v4, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(::listen(v4, 1), 0);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ASSERT_EQ(::getsockname(v4, reinterpret_cast<sockaddr*>(&bound), &length), 0);
  EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK);
  const std::vector<TListeningSocket> listed = ListeningSocketsOnPort(ntohs(bound.sin_port));
  ASSERT_FALSE(listed.empty());
  for (const TListeningSocket& socket : listed) EXPECT_TRUE(socket.loopback) << socket.address;
  ::close(v4);

  const int v6 = ::socket(AF_INET6, SOCK_STREAM, 0);
  if (v6 >= 0) {
    sockaddr_in6 any6{};
    any6.sin6_family = AF_INET6;
    any6.sin6_addr = in6addr_any;
    if (::bind(v6, reinterpret_cast<const sockaddr*>(&any6), sizeof any6) == 0) {
      sockaddr_in6 bound6{};
      socklen_t length6 = sizeof bound6;
      ASSERT_EQ(::getsockname(v6, reinterpret_cast<sockaddr*>(&bound6), &length6), 0);
      const bool mapped_loopback =
          IN6_IS_ADDR_V4MAPPED(&bound6.sin6_addr) && bound6.sin6_addr.s6_addr[12] == 127;
      EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&bound6.sin6_addr) || mapped_loopback);
      ASSERT_EQ(::listen(v6, 1), 0);
      for (const TListeningSocket& socket : ListeningSocketsOnPort(ntohs(bound6.sin6_port))) {
        EXPECT_TRUE(socket.loopback) << socket.address;
      }
    }
    ::close(v6);
  }
}

TEST(HeadlessDisplay, OffscreenTheFirstWindowIsWrittenToThePngFile) {
  App();
  const std::filesystem::path folder = telvora::testing::TestTmpDir() / "headless_display";
  std::filesystem::remove_all(folder);
  THeadlessPlan plan;
  plan.mode = THeadlessMode::hmOffscreen;
  plan.screenshot = (folder / "window.png").string();
  plan.reason = "test";
  QWidget window;
  window.setFixedSize(231, 154);
  window.show();
  ShowHeadlessWindow(plan, &window);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(plan.screenshot); }));
  const QImage image(QString::fromStdString(plan.screenshot));
  EXPECT_EQ(image.size(), QSize(231, 154));
}

TEST(HeadlessDisplay, ReadsTheKernelsListOfListeningSockets) {
  const std::string tcp =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 0100007F:170C 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
      "   1: 00000000:1770 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 2 1\n"
      "   2: 0100007F:170D 0100007F:D431 01 00000000:00000000 00:00000000 00000000     0        0 3 1\n"
      "   3: 0A00020F:0016 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 4 1\n";
  const std::vector<TListeningSocket> v4 = ParseListeningSockets(tcp, false);
  ASSERT_EQ(v4.size(), 3u);  // the established connection is not listed
  struct Row {
    const char* address;
    std::uint16_t port;
    bool loopback;
  };
  const Row expected4[] = {{"127.0.0.1", 5900, true}, {"0.0.0.0", 6000, false}, {"15.2.0.10", 22, false}};
  for (std::size_t i = 0; i < v4.size(); ++i) {
    EXPECT_EQ(v4[i].address, expected4[i].address);
    EXPECT_EQ(v4[i].port, expected4[i].port);
    EXPECT_EQ(v4[i].loopback, expected4[i].loopback);
  }

  const std::string tcp6 =
      "  sl  local_address                         remote_address                        st\n"
      "   0: 00000000000000000000000001000000:170C 00000000000000000000000000000000:0000 0A\n"
      "   1: 00000000000000000000000000000000:170C 00000000000000000000000000000000:0000 0A\n"
      "   2: 0000000000000000FFFF00000100007F:170C 00000000000000000000000000000000:0000 0A\n";
  const std::vector<TListeningSocket> v6 = ParseListeningSockets(tcp6, true);
  ASSERT_EQ(v6.size(), 3u);
  EXPECT_EQ(v6[0].address, "::1");
  EXPECT_TRUE(v6[0].loopback);
  EXPECT_EQ(v6[1].address, "::");
  EXPECT_FALSE(v6[1].loopback);
  EXPECT_TRUE(v6[2].loopback);  // ::ffff:127.0.0.1
}

}  // namespace
}  // namespace telvora::app::test
