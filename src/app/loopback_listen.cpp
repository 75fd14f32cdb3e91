#include "app/loopback_listen.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::atomic<bool> loopback_only{false};

using BindFunction = int (*)(int, const sockaddr*, socklen_t);

BindFunction NextBind() {
  static const BindFunction next = reinterpret_cast<BindFunction>(dlsym(RTLD_NEXT, "bind"));
  return next;
}

}  // namespace

// The interposed bind (see loopback_listen.h).
extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
  const BindFunction next = NextBind();
  if (next == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  if (loopback_only.load() && address != nullptr) {
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
      sockaddr_in changed;
      std::memcpy(&changed, address, sizeof changed);
      if (changed.sin_addr.s_addr == htonl(INADDR_ANY)) {
        changed.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return next(fd, reinterpret_cast<const sockaddr*>(&changed), sizeof changed);
      }
    } else if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
      sockaddr_in6 changed;
      std::memcpy(&changed, address, sizeof changed);
      if (std::memcmp(&changed.sin6_addr, &in6addr_any, sizeof in6addr_any) == 0) {
        // A dual-stack wildcard socket (Qt's "any address") gets the IPv4
        // loopback address through its mapped form, so that IPv4 clients
        // (an SSH tunnel to 127.0.0.1) reach it; an IPv6-only one, which
        // refuses mapped addresses, gets ::1.
        changed.sin6_addr = in6addr_any;
        changed.sin6_addr.s6_addr[10] = 0xFF;
        changed.sin6_addr.s6_addr[11] = 0xFF;
        const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
        std::memcpy(&changed.sin6_addr.s6_addr[12], &loopback, sizeof loopback);
        if (next(fd, reinterpret_cast<const sockaddr*>(&changed), sizeof changed) == 0) return 0;
        changed.sin6_addr = in6addr_loopback;
        return next(fd, reinterpret_cast<const sockaddr*>(&changed), sizeof changed);
      }
    }
  }
  return next(fd, address, length);
}

namespace telvora::app {

namespace {

// The "st" column of a listening socket.
constexpr unsigned kTcpListenState = 0x0A;

std::string FormatAddress(const std::string& hex, bool ipv6, bool& loopback) {
  // The kernel prints the address as 32-bit words in host byte order.
  unsigned char bytes[16] = {};
  const std::size_t words = ipv6 ? 4 : 1;
  if (hex.size() != words * 8) return {};
  for (std::size_t w = 0; w < words; ++w) {
    const std::uint32_t word = static_cast<std::uint32_t>(std::stoul(hex.substr(w * 8, 8), nullptr, 16));
    std::memcpy(bytes + w * 4, &word, 4);
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (ipv6) {
    in6_addr address;
    std::memcpy(&address, bytes, 16);
    inet_ntop(AF_INET6, &address, text, sizeof text);
    const bool mapped_loopback = IN6_IS_ADDR_V4MAPPED(&address) && bytes[12] == 127;
    loopback = IN6_IS_ADDR_LOOPBACK(&address) || mapped_loopback;
  } else {
    in_addr address;
    std::memcpy(&address, bytes, 4);
    inet_ntop(AF_INET, &address, text, sizeof text);
    loopback = bytes[0] == 127;
  }
  return text;
}

}  // namespace

bool ListenOnLoopbackOnly() {
  // Only when the dynamic linker resolves bind to ours does every library
  // reach it.
  if (dlsym(RTLD_DEFAULT, "bind") != reinterpret_cast<void*>(&::bind)) return false;
  loopback_only.store(true);
  return true;
}

std::vector<TListeningSocket> ParseListeningSockets(std::string_view proc_net_tcp, bool ipv6) {
  std::vector<TListeningSocket> sockets;
  std::istringstream lines{std::string(proc_net_tcp)};
  std::string line;
  std::getline(lines, line);  // the column titles
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    if (!(fields >> slot >> local >> remote >> state)) continue;
    const std::size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    try {
      if (std::stoul(state, nullptr, 16) != kTcpListenState) continue;
      TListeningSocket socket;
      socket.port = static_cast<std::uint16_t>(std::stoul(local.substr(colon + 1), nullptr, 16));
      socket.address = FormatAddress(local.substr(0, colon), ipv6, socket.loopback);
      if (socket.address.empty()) continue;
      sockets.push_back(socket);
    } catch (const std::exception&) {
      continue;  // not a socket line
    }
  }
  return sockets;
}

std::vector<TListeningSocket> ListeningSocketsOnPort(std::uint16_t port) {
  std::vector<TListeningSocket> found;
  for (const bool ipv6 : {false, true}) {
    std::ifstream file(ipv6 ? "/proc/net/tcp6" : "/proc/net/tcp");
    std::stringstream text;
    text << file.rdbuf();
    for (const TListeningSocket& socket : ParseListeningSockets(text.str(), ipv6)) {
      if (socket.port == port) found.push_back(socket);
    }
  }
  return found;
}

}  // namespace telvora::app
