#include "tests/support/pg/tcp_proxy.h"

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

// The value of `key` in the connection string, or `fallback`.
std::string Option(const std::string& conninfo, const char* key, const std::string& fallback) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    if (error != nullptr) PQfreemem(error);
    throw std::runtime_error("TcpProxy: cannot read " + conninfo);
  }
  std::string value = fallback;
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
    if (std::strcmp(o->keyword, key) == 0 && o->val != nullptr && *o->val != '\0') value = o->val;
  PQconninfoFree(options);
  return value;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

TcpProxy::TcpProxy(const std::string& server, Mode mode, int statements)
    : m_socket(Option(server, "host", "/tmp") + "/.s.PGSQL." + Option(server, "port", "5432")),
      m_mode(mode),
      m_statements(statements) {
  if (::pipe(m_wake) != 0) throw std::runtime_error("TcpProxy: no pipe");
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // A small receive buffer, inherited by each connection, so that a client that goes on
  // sending to a proxy that reads nothing soon finds its socket full.
  const int small = 4096;
  ::setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  // NOLINTBEGIN(cppcoreguidelines-pro-type-reinterpret-cast)
  if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 16) != 0 ||
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("TcpProxy: cannot listen");
  // NOLINTEND(cppcoreguidelines-pro-type-reinterpret-cast)
  m_port = ntohs(address.sin_port);
  m_acceptor = std::thread([this] { Accept(); });
}

TcpProxy::~TcpProxy() {
  const char end = 'x';
  [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &end, 1);
  m_acceptor.join();
  std::vector<std::thread> relays;
  {
    const std::lock_guard lock(m_mutex);
    relays.swap(m_relays);
  }
  for (std::thread& t : relays) t.join();
  ::close(m_listener);
  ::close(m_wake[0]);
  ::close(m_wake[1]);
}

std::string TcpProxy::Conninfo(const std::string& conninfo, const std::string& host) const {
  return conninfo + " host=" + host + " port=" + std::to_string(m_port) +
         " sslmode=disable gssencmode=disable";
}

void TcpProxy::Accept() {
  for (;;) {
    std::array<pollfd, 2> fds{{{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const std::lock_guard lock(m_mutex);
    m_relays.emplace_back([this, client] { Relay(client); });
  }
}

void TcpProxy::Relay(int client) {
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, m_socket.c_str(), sizeof address.sun_path - 1);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(client);
    if (server >= 0) ::close(server);
    return;
  }
  // The server's messages are a type byte and a length; the first ReadyForQuery ('Z') ends
  // the login.
  std::string fromServer;
  bool loggedIn = false;
  std::string fromClient;  // after the login: the start of a message not yet passed on
  bool stalled = false;
  int syncs = 0;
  std::array<char, 16384> buffer{};
  for (;;) {
    if (loggedIn && m_mode == Mode::StallAfterLogin && !stalled) {
      stalled = true;
      ++m_stalls;
    }
    std::array<pollfd, 3> fds{
        {{m_wake[0], POLLIN, 0}, {server, POLLIN, 0}, {stalled ? -1 : client, POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents != 0) break;
    if (fds[2].revents != 0) {
      const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      if (!loggedIn || m_mode == Mode::Relay) {
        if (!WriteAll(server, buffer.data(), static_cast<std::size_t>(n))) break;
      } else {
        // Messages are passed on whole, up to the last Sync ('S') allowed; the rest is held back.
        fromClient.append(buffer.data(), static_cast<std::size_t>(n));
        std::size_t passed = 0;
        while (!stalled && fromClient.size() - passed >= 5) {
          std::uint32_t length = 0;
          std::memcpy(&length, fromClient.data() + passed + 1, 4);
          length = ntohl(length);
          if (fromClient.size() - passed < 1 + static_cast<std::size_t>(length)) break;
          if (fromClient[passed] == 'S' && ++syncs >= m_statements) {
            stalled = true;
            ++m_stalls;
          }
          passed += 1 + static_cast<std::size_t>(length);
        }
        if (!WriteAll(server, fromClient.data(), passed)) break;
        fromClient.erase(0, passed);
      }
    }
    if (fds[1].revents != 0) {
      const ssize_t n = ::recv(server, buffer.data(), buffer.size(), 0);
      if (n <= 0 || !WriteAll(client, buffer.data(), static_cast<std::size_t>(n))) break;
      if (!loggedIn) {
        fromServer.append(buffer.data(), static_cast<std::size_t>(n));
        while (fromServer.size() >= 5) {
          std::uint32_t length = 0;
          std::memcpy(&length, fromServer.data() + 1, 4);
          length = ntohl(length);
          if (fromServer.size() < 1 + static_cast<std::size_t>(length)) break;
          if (fromServer[0] == 'Z') {
            loggedIn = true;
            ++m_logins;
          }
          fromServer.erase(0, 1 + static_cast<std::size_t>(length));
        }
      }
    }
  }
  ::close(client);
  ::close(server);
}

}  // namespace testing_support
