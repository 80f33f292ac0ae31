#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "Sockets/PCSBSocket.h"
#include "Sockets/PCSBSocketUDP.h"
#include "support/net_servers.h"
#include "support/test_util.h"

namespace {
const unsigned long kLoopback = htonl(INADDR_LOOPBACK);

template <class F>
bool eventually(F pred) {
  for (int i = 0; i < 5000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    if (pred()) return true;
  return false;
}

// A client connected over loopback to the accepted server side.
struct connected_pair {
  PCSBSocket listener{0, true}, client{0, false};
  std::unique_ptr<PCSBSocket> server;
  bool connect() {
    PCSBSocket::ConnectionData d;
    listener.GetAddresses(&d);
    client.Connect(kLoopback, d.local_port);
    if (!eventually([&] { return listener.GetStatus() == PCSBSocket::status_connecting; }))
      return false;
    server.reset(listener.Accept());
    return server && eventually([&] { return client.GetStatus() == PCSBSocket::status_connected; });
  }
};
}  // namespace

TEST(Socket, ExchangeThenPeerCloseThenRelease) {
  connected_pair p;
  ASSERT_TRUE(p.connect());
  char buf[16];
  EXPECT_EQ(p.client.ReadData(buf, sizeof(buf)), 0);  // nothing waits
  EXPECT_EQ(p.client.http_WriteData("hello", 5), 5);
  int got = 0;
  ASSERT_TRUE(eventually([&] { return (got = p.server->ReadData(buf, sizeof(buf))) > 0; }));
  EXPECT_EQ(std::string(buf, got), "hello");
  p.server.reset();
  ASSERT_TRUE(eventually([&] { return p.client.ReadData(buf, 16) == 0 && p.client.ReceivedRelease(); }));
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_connected);
  EXPECT_EQ(p.client.Release(), 1);
  EXPECT_EQ(p.client.ReadData(buf, sizeof(buf)), -1);
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_closed);
}

TEST(Socket, RefusedConnectIsClosedNotConnected) {
  PCSBSocket s(0, false);
  s.Connect(kLoopback, static_cast<unsigned short>(fly_test::free_loopback_port()));
  ASSERT_TRUE(eventually([&] { return s.GetStatus() != PCSBSocket::status_connecting; }));
  EXPECT_EQ(s.GetStatus(), PCSBSocket::status_closed);
}

TEST(Socket, WriteAfterPeerCloseNeitherKillsNorErrs) {
  connected_pair p;
  ASSERT_TRUE(p.connect());
  p.server.reset();
  const std::string block(65536, 'x');
  ASSERT_TRUE(eventually([&] {  // a SIGPIPE would end this process here
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
  rl.rlim_cur = std::min<rlim_t>(rl.rlim_max, 4096);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &rl), 0);
  std::vector<int> fillers;
  while (fillers.empty() || fillers.back() < FD_SETSIZE + 8) fillers.push_back(open("/dev/null", 0));
  {
    connected_pair p;
    ASSERT_GT(p.client.descriptor(), FD_SETSIZE);
    ASSERT_TRUE(p.connect());
    EXPECT_EQ(p.client.http_WriteData("abc", 3), 3);
  }
  for (int fd : fillers) close(fd);
}

TEST(Socket, LookupsOnTheirOwnThread) {
  EXPECT_EQ(PCSBSocket::DottedAddress("localhost"), 0u);  // names go to the lookup thread
  PCSBAddressLookup dotted("127.0.0.1"), named("localhost"), empty("");
  EXPECT_TRUE(dotted.done());
  EXPECT_EQ(dotted.address(), kLoopback);
  ASSERT_TRUE(eventually([&] { return named.done() && empty.done(); }));
  EXPECT_EQ(named.address(), kLoopback);
  EXPECT_EQ(empty.address(), 0u);
}

TEST(SocketUDP, RoundTripAndSecondInitReleasesTheFirst) {
  PCSBSocketUDP u;
  ASSERT_EQ(u.udp_init(0, 2), 1);
  const int first = u.descriptor();
  ASSERT_EQ(u.udp_init(0, 2), 1);
  EXPECT_TRUE(u.descriptor() == first || fcntl(first, F_GETFD) == -1);
  char buf[64], msg[] = "datagram";
  unsigned long ip = 0;
  unsigned short port = 0;
  EXPECT_EQ(u.ReadData(buf, sizeof(buf), &ip, &port), -1);  // at once: nothing waits
  sockaddr_in a{};
  socklen_t len = sizeof(a);
  ASSERT_EQ(getsockname(u.descriptor(), reinterpret_cast<sockaddr*>(&a), &len), 0);
  EXPECT_EQ(u.udp_WriteData(msg, 8, INADDR_LOOPBACK, ntohs(a.sin_port)), 8);
  int got = -1;
  ASSERT_TRUE(eventually([&] { return (got = u.ReadData(buf, sizeof(buf), &ip, &port)) >= 0; }));
  EXPECT_EQ(std::string(buf, got), "datagram");
  EXPECT_EQ(port, ntohs(a.sin_port));
}
