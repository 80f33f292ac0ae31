#include "Sockets/PCSBSocketUDP.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "GenH/shell.h"

namespace {
void size_alert() {
  __MACIBM_alert(0, "Could not set socket size!", "", "", "", t_exit, __FILE__, __LINE__);
}
}  // namespace

PCSBSocketUDP::~PCSBSocketUDP() { Cleanup(); }

int PCSBSocketUDP::udp_init(unsigned short port, int mode) {
  Cleanup();  // a second init must not leak the first socket
  bound_address = sockaddr_in{};
  bound_address.sin_family = AF_INET;
  bound_address.sin_port = htons(port);
  bound_address.sin_addr.s_addr = htonl(INADDR_ANY);

  sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (sock < 0) return 0;
  if (bind(sock, reinterpret_cast<sockaddr*>(&bound_address), sizeof(bound_address)) != 0) {
    Cleanup();
    return 0;
  }
  if (mode == 2) {
    const int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) {
      __MACIBM_alert(0, "Could not set net to non-blocking!", "", "", "", t_alert, __FILE__,
                     __LINE__);
      Cleanup();
      return 0;
    }
  }
  size_buffer();
  return 1;
}

int PCSBSocketUDP::udp_WriteData(void* data, long len, unsigned long ip, unsigned short port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(static_cast<uint32_t>(ip));
  return static_cast<int>(sendto(sock, data, static_cast<size_t>(len), MSG_NOSIGNAL,
                                 reinterpret_cast<sockaddr*>(&to), sizeof(to)));
}

int PCSBSocketUDP::ReadData(void* buf, long size, unsigned long* ip, unsigned short* port) {
  if (sock == -1) __MACIBM_alert(0, "Bad mWinSocket!", "", "", "", t_exit, __FILE__, __LINE__);
  sockaddr_in from{};
  socklen_t len = sizeof(from);
  const int n = static_cast<int>(
      recvfrom(sock, buf, static_cast<size_t>(size), 0, reinterpret_cast<sockaddr*>(&from), &len));
  if (n >= 0) {
    if (ip) *ip = ntohl(from.sin_addr.s_addr);
    if (port) *port = ntohs(from.sin_port);
  }
  return n;
}

void PCSBSocketUDP::size_buffer() {
  int snd = udp_buffer_size_snd, rcv = udp_buffer_size_rcv;
  socklen_t len = sizeof(int);
  if (setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &snd, sizeof(snd)) != 0) size_alert();
  if (getsockopt(sock, SOL_SOCKET, SO_SNDBUF, &snd, &len) != 0) size_alert();
  len = sizeof(int);
  if (setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof(rcv)) != 0) size_alert();
  if (getsockopt(sock, SOL_SOCKET, SO_RCVBUF, &rcv, &len) != 0) size_alert();
}

void PCSBSocketUDP::Cleanup() {
  if (sock != -1) close(sock);
  sock = -1;
}
