#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>

#include "Sockets/PCSBSocket.h"
#include "Sockets/PCSBSocketUDP.h"
#include "support/net_servers.h"
#include "support/test_util.h"

const unsigned long kLoopback = htonl(INADDR_LOOPBACK);

template <class F>
static bool eventually(F pred) {
  for (int i = 0; i < 5000; ++i, usleep(1000))
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

// With a high enough limit the pair lies above FD_SETSIZE, where select() would fail.
TEST(Socket, ExchangePeerCloseAndWriteAfterItAboveTheSelectLimit) {
  rlimit rl;
  getrlimit(RLIMIT_NOFILE, &rl);
  rl.rlim_cur = std::min<rlim_t>(rl.rlim_max, 4096);
  const bool high = rl.rlim_cur > FD_SETSIZE + 64 && setrlimit(RLIMIT_NOFILE, &rl) == 0;
  for (int fd = 0; high && fd >= 0 && fd < FD_SETSIZE + 8;) fd = open("/dev/null", 0);
  connected_pair p;
  EXPECT_TRUE(!high || p.client.descriptor() > FD_SETSIZE) << p.client.descriptor();
  ASSERT_TRUE(p.connect());
  char buf[16];
  EXPECT_EQ(p.client.ReadData(buf, 16), 0);  // nothing waits
  EXPECT_EQ(p.client.http_WriteData("hello", 5), 5);
  int got = 0;
  ASSERT_TRUE(eventually([&] { return (got = p.server->ReadData(buf, 16)) > 0; }));
  EXPECT_EQ(std::string(buf, got), "hello");
  p.server.reset();
  ASSERT_TRUE(eventually([&] { return !p.client.ReadData(buf, 1) && p.client.ReceivedRelease(); }));
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_connected);
  const std::string block(65536, 'x');
  ASSERT_TRUE(eventually([&] {  // a SIGPIPE would end this process here
    p.client.http_WriteData(block.data(), static_cast<long>(block.size()));
    return p.client.GetStatus() != PCSBSocket::status_connected;
  }));
  EXPECT_EQ(p.client.GetStatus(), PCSBSocket::status_closed);
  EXPECT_EQ(p.client.http_WriteData("x", 1), -1);
}

TEST(Socket, RefusedConnectIsClosedNotConnected) {
  PCSBSocket s(0, false);
  s.Connect(kLoopback, static_cast<unsigned short>(fly_test::free_loopback_port()));
  ASSERT_TRUE(eventually([&] { return s.GetStatus() != PCSBSocket::status_connecting; }));
  EXPECT_EQ(s.GetStatus(), PCSBSocket::status_closed);
}

TEST(Socket, NamesAreLookedUpOnTheirOwnThread) {
  PCSBAddressLookup named("localhost"), empty("");
  ASSERT_TRUE(eventually([&] { return named.done() && empty.done(); }));
  EXPECT_EQ(named.address(), kLoopback);
  EXPECT_EQ(empty.address(), 0u);
}

TEST(SocketUDP, SecondInitReleasesTheFirst) {
  PCSBSocketUDP u;
  ASSERT_EQ(u.udp_init(0, 2), 1);
  const int first = u.descriptor();
  ASSERT_EQ(u.udp_init(0, 2), 1);
  EXPECT_TRUE(u.descriptor() == first || fcntl(first, F_GETFD) == -1);
  char buf[8];
  EXPECT_EQ(u.ReadData(buf, 8, nullptr, nullptr), -1);  // at once: nothing waits
}
