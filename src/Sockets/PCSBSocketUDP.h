// A small IPv4 datagram socket bound to a local port.
#pragma once

#include <netinet/in.h>

enum { udp_buffer_size_snd = 16384, udp_buffer_size_rcv = 65536 };

class PCSBSocketUDP {
 public:
  PCSBSocketUDP() = default;
  virtual ~PCSBSocketUDP();
  PCSBSocketUDP(const PCSBSocketUDP&) = delete;
  PCSBSocketUDP& operator=(const PCSBSocketUDP&) = delete;

  // Creates and binds the socket; mode 2 makes it non-blocking. 1 or 0.
  int udp_init(unsigned short port, int mode);
  // ip and port in host byte order. The system's result: bytes or -1.
  int udp_WriteData(void* data, long len, unsigned long ip, unsigned short port);
  // One datagram; the sender's address and port in host order.
  int ReadData(void* buf, long size, unsigned long* ip, unsigned short* port);
  void size_buffer();
  void Cleanup();
  int descriptor() const { return sock; }

 private:
  int sock = -1;
  sockaddr_in bound_address{};
};
