#pragma once
// Keeps every listening socket of this process on the loopback address.
//
// Qt's VNC platform plugin (the way to see the windows on a machine without
// a display) listens on every address and has no option to choose one, and
// VNC has no authentication. This program listens on nothing else, so it
// turns any bind to the wildcard address (0.0.0.0 or ::) into a bind to the
// loopback address (127.0.0.1; for a dual-stack :: its mapped form
// ::ffff:127.0.0.1, or ::1 for an IPv6-only socket) once
// ListenOnLoopbackOnly() was called. It does so by interposing the C library's bind(): the program's
// executable exports its own bind (linked with
// -Wl,--export-dynamic-symbol=bind), which the dynamic linker prefers for
// every library, the plugin's network library included.
//
// Threads: call ListenOnLoopbackOnly() before any other thread starts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace telvora::app {

// Switches the rewriting on. True when it is in force for every library
// (this executable's bind is the one the dynamic linker hands out); false
// when the executable does not export it, and nothing was switched on.
bool ListenOnLoopbackOnly();

// A listening TCP socket as the kernel lists it in /proc/net/tcp{,6}.
struct TListeningSocket {
  std::string address;  // "127.0.0.1", "::1", "0.0.0.0", "::" ...
  std::uint16_t port = 0;
  bool loopback = false;
};

// The listening sockets in the text of /proc/net/tcp or /proc/net/tcp6.
std::vector<TListeningSocket> ParseListeningSockets(std::string_view proc_net_tcp, bool ipv6);

// The listening sockets of this machine's network namespace on `port`.
std::vector<TListeningSocket> ListeningSocketsOnPort(std::uint16_t port);

}  // namespace telvora::app
