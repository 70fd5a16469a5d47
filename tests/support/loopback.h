// Loopback sockets for tests and benchmarks: everything binds 127.0.0.1 on a
// port the kernel picks, so nothing reaches beyond this machine.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace fwtest {

// A TCP socket bound to 127.0.0.1 on a free port; -1 on failure.
inline int bindLoopback(uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof sa;
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(sa.sin_port);
  return fd;
}

// A listening socket on 127.0.0.1; the port it got is written to `port`.
inline int listenLoopback(uint16_t& port, int backlog) {
  int fd = bindLoopback(port);
  if (fd >= 0 && listen(fd, backlog) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A port that was free a moment ago (the socket is closed again).
inline uint16_t freeLoopbackPort() {
  for (;;) {
    uint16_t port = 0;
    int fd = bindLoopback(port);
    if (fd >= 0) close(fd);
    if (fd >= 0 && port >= 1024) return port;
  }
}

// True when something accepts connections on 127.0.0.1:port.
inline bool acceptsOnLoopback(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return ok;
}

// Waits until a peer program accepts on the port (it may take a while to
// start on a busy machine); false after timeoutMs.
inline bool waitLoopbackPort(uint16_t port, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (acceptsOnLoopback(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace fwtest
