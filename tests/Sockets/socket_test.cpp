#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "Sockets/PCSBSocket.h"
#include "Sockets/PCSBSocketUDP.h"
#include "support/net_servers.h"
#include "support/test_util.h"

namespace {
const unsigned long kLoopback = htonl(INADDR_LOOPBACK);

// Polls until pred holds or five seconds pass.
template <class F>
bool eventually(F pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

unsigned short port_of(PCSBSocket& s) {
  PCSBSocket::ConnectionData d;
  s.GetAddresses(&d);
  return d.local_port;
}

// A connected pair over loopback: client and the accepted server side.
struct pair_fixture {
  PCSBSocket listener{0, true};
  PCSBSocket client{0, false};
  std::unique_ptr<PCSBSocket> server;

  bool connect() {
    client.Connect(kLoopback, port_of(listener));
    if (!eventually([&] { return listener.GetStatus() == PCSBSocket::status_connecting; }))
      return false;
    server.reset(listener.Accept());
    return server && eventually([&] { return client.GetStatus() == PCSBSocket::status_connected; });
  }
};
}  // namespace

TEST(Socket, ConnectAcceptAndExchange) {
  pair_fixture p;
  EXPECT_EQ(p.listener.GetStatus(), PCSBSocket::status_idle);  // nothing pending yet
  ASSERT_TRUE(p.connect());
  EXPECT_EQ(p.listener.GetStatus(), PCSBSocket::status_idle);
  EXPECT_EQ(p.server->GetStatus(), PCSBSocket::status_connected);

  char buf[16];
  EXPECT_EQ(p.client.ReadData(buf, sizeof(buf)), 0);  // nothing waiting
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_connected);

  EXPECT_EQ(p.client.http_WriteData("hello", 5), 5);
  int got = 0;
  ASSERT_TRUE(eventually([&] { return (got = p.server->ReadData(buf, sizeof(buf))) > 0; }));
  EXPECT_EQ(std::string(buf, got), "hello");

  PCSBSocket::ConnectionData cd;
  p.client.GetAddresses(&cd);
  EXPECT_EQ(cd.remote_ip, kLoopback);  // network order
  EXPECT_EQ(cd.remote_port, port_of(p.listener));
  EXPECT_EQ(cd.local_ip, static_cast<uint32_t>(INADDR_LOOPBACK));  // host order
  EXPECT_NE(cd.local_port, 0);
}

TEST(Socket, RefusedConnectIsClosedNotConnected) {
  const int port = fly_test::free_loopback_port();  // nothing listens there
  PCSBSocket s(0, false);
  const int r = s.Connect(kLoopback, static_cast<unsigned short>(port));
  EXPECT_TRUE(r == 0 || r == 1) << r;
  ASSERT_TRUE(eventually([&] { return s.GetStatus() != PCSBSocket::status_connecting; }));
  EXPECT_EQ(s.GetStatus(), PCSBSocket::status_closed);
}

TEST(Socket, PeerCloseIsSeenAndReleaseEndsIt) {
  pair_fixture p;
  ASSERT_TRUE(p.connect());
  p.server.reset();
  char buf[16];
  ASSERT_TRUE(eventually(
      [&] { return p.client.ReadData(buf, sizeof(buf)) == 0 && p.client.ReceivedRelease(); }));
  EXPECT_EQ(p.client.ReadData(buf, sizeof(buf)), 0);
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_connected);
  EXPECT_EQ(p.client.Release(), 1);
  EXPECT_EQ(p.client.ReadData(buf, sizeof(buf)), -1);
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_closed);
}

TEST(Socket, WriteAfterPeerCloseNeitherKillsNorErrs) {
  // Without MSG_NOSIGNAL the second send raises SIGPIPE and ends this process.
  pair_fixture p;
  ASSERT_TRUE(p.connect());
  p.server.reset();
  const std::string block(65536, 'x');
  ASSERT_TRUE(eventually([&] {
    p.client.http_WriteData(block.data(), static_cast<long>(block.size()));
    return p.client.GetStatus() != PCSBSocket::status_connected;
  }));
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_closed);
  EXPECT_EQ(p.client.http_WriteData("x", 1), -1);
}

TEST(Socket, DescriptorsAboveSelectLimitWork) {
  rlimit rl;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &rl), 0);
  if (rl.rlim_max < FD_SETSIZE + 64) GTEST_SKIP() << "descriptor limit too low";
  rl.rlim_cur = rl.rlim_max < 4096 ? rl.rlim_max : 4096;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &rl), 0);
  std::vector<int> fillers;
  while (fillers.empty() || fillers.back() < FD_SETSIZE + 8)
    fillers.push_back(open("/dev/null", O_RDONLY));
  {
    pair_fixture p;
    ASSERT_GT(p.client.descriptor(), FD_SETSIZE);
    ASSERT_TRUE(p.connect());
    EXPECT_EQ(p.client.http_WriteData("abc", 3), 3);
  }
  for (int fd : fillers) close(fd);
}

TEST(Socket, LookupAddress) {
  EXPECT_EQ(PCSBSocket::LookupAddress("127.0.0.1"), kLoopback);
  EXPECT_EQ(PCSBSocket::LookupAddress("10.1.2.3"), inet_addr("10.1.2.3"));
  EXPECT_EQ(PCSBSocket::LookupAddress(""), 0u);
  EXPECT_EQ(PCSBSocket::LookupAddress(nullptr), 0u);
  EXPECT_EQ(PCSBSocket::DottedAddress("localhost"), 0u);  // names go to the lookup
  EXPECT_EQ(PCSBSocket::LookupAddress("localhost"), kLoopback);

  PCSBAddressLookup dotted("127.0.0.1");
  EXPECT_TRUE(dotted.done());  // no thread for a dotted address
  EXPECT_EQ(dotted.address(), kLoopback);
  PCSBAddressLookup named("localhost");
  ASSERT_TRUE(eventually([&] { return named.done(); }));
  EXPECT_EQ(named.address(), kLoopback);
  PCSBAddressLookup empty("");
  ASSERT_TRUE(eventually([&] { return empty.done(); }));
  EXPECT_EQ(empty.address(), 0u);
}

TEST(SocketUDP, NonBlockingReadAndRoundTrip) {
  PCSBSocketUDP u;
  ASSERT_EQ(u.udp_init(0, 2), 1);
  char buf[64];
  unsigned long ip = 0;
  unsigned short port = 0;
  EXPECT_EQ(u.ReadData(buf, sizeof(buf), &ip, &port), -1);  // at once, nothing waits

  sockaddr_in a{};
  socklen_t len = sizeof(a);
  ASSERT_EQ(getsockname(u.descriptor(), reinterpret_cast<sockaddr*>(&a), &len), 0);
  const unsigned short own = ntohs(a.sin_port);
  char msg[] = "datagram";
  EXPECT_EQ(u.udp_WriteData(msg, 8, INADDR_LOOPBACK, own), 8);
  int got = -1;
  ASSERT_TRUE(eventually([&] { return (got = u.ReadData(buf, sizeof(buf), &ip, &port)) >= 0; }));
  EXPECT_EQ(std::string(buf, got), "datagram");
  EXPECT_EQ(ip, static_cast<unsigned long>(INADDR_LOOPBACK));
  EXPECT_EQ(port, own);

  int snd = 0;
  len = sizeof(snd);
  getsockopt(u.descriptor(), SOL_SOCKET, SO_SNDBUF, &snd, &len);
  EXPECT_GE(snd, udp_buffer_size_snd);
}

TEST(SocketUDP, BindClashCleanupAndClosedRead) {
  PCSBSocketUDP a, b;
  ASSERT_EQ(a.udp_init(0, 2), 1);
  sockaddr_in addr{};
  socklen_t len = sizeof(addr);
  getsockname(a.descriptor(), reinterpret_cast<sockaddr*>(&addr), &len);
  EXPECT_EQ(b.udp_init(ntohs(addr.sin_port), 2), 0);  // port taken
  EXPECT_EQ(b.descriptor(), -1);
  a.Cleanup();
  a.Cleanup();  // harmless
  EXPECT_EQ(a.descriptor(), -1);
  char buf[4];
  EXPECT_FATAL_ALERT(a.ReadData(buf, 4, nullptr, nullptr), "Bad mWinSocket!");
}
