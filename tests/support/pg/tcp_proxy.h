#pragma once
// A TCP port on 127.0.0.1 in front of the test server's Unix socket, for what a socket cannot
// show: a connection over TCP, and a server that takes the login and then stops reading. Each
// connection is relayed on a thread of its own; the destructor ends them all.
//
//   testing_support::TcpProxy proxy(*TestServer(), TcpProxy::Mode::StallAfterLogin);
//   RecordDatabase db(proxy.Conninfo(database.conninfo()));

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class TcpProxy {
 public:
  enum class Mode {
    Relay,                 // passes everything both ways
    StallAfterLogin,       // passes the login, then reads nothing more from the client
    StallAfterStatements,  // passes the login and `statements` statements (each up to its
                           // Sync), then the same
  };
  // `server` is a connection string naming the server's socket folder (host=/dir).
  TcpProxy(const std::string& server, Mode mode, int statements = 1);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  int port() const { return m_port; }
  // `conninfo` with its host and port replaced by this proxy's (TLS and GSS off: the test
  // server has neither, and the relay follows the plain protocol).
  std::string Conninfo(const std::string& conninfo, const std::string& host = "127.0.0.1") const;
  // Connections that finished their login.
  int logins() const { return m_logins.load(); }
  // Connections that stopped being read.
  int stalls() const { return m_stalls.load(); }

 private:
  void Accept();
  void Relay(int client);

  std::string m_socket;  // the server's socket file
  Mode m_mode;
  int m_statements;
  int m_listener = -1;
  int m_port = 0;
  int m_wake[2] = {-1, -1};  // written at the end, so that every poll returns
  std::atomic<int> m_logins{0};
  std::atomic<int> m_stalls{0};
  std::mutex m_mutex;
  std::vector<std::thread> m_relays;  // guarded by m_mutex
  std::thread m_acceptor;
};

}  // namespace testing_support
