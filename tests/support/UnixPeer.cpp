// Client sockets for the window tests.
#include "support/UnixPeer.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include <cstring>

namespace hollowmere::testing {

std::string Le32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

TUniqueFd ConnectUnix(const std::string& path) {
  TUniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  const timeval patience{10, 0};
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  return fd;
}

}  // namespace hollowmere::testing
