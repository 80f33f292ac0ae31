// Non-blocking IPv4 TCP socket. Nothing here waits: the owner polls
// GetStatus (a zero-timeout poll) and reads and writes what is there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class PCSBSocket {
 public:
  // Status values.
  enum {
    status_idle = 1,
    status_connecting = 2,
    status_connected = 3,
    status_closed = 4,
    status_error = 5
  };

  struct ConnectionData {
    uint32_t local_ip;     // host byte order
    uint16_t local_port;   // host byte order
    uint32_t remote_ip;    // network byte order, as the system reports it
    uint16_t remote_port;  // host byte order
  };

  // Bound to port on all local addresses (0: any free port); status 1.
  PCSBSocket(unsigned short port, bool listen);
  // Wraps an accepted descriptor: status 3, non-blocking.
  explicit PCSBSocket(int fd);
  virtual ~PCSBSocket();
  PCSBSocket(const PCSBSocket&) = delete;
  PCSBSocket& operator=(const PCSBSocket&) = delete;

  // Network byte order; a dotted address never reaches the name service.
  // 0 when neither works. Blocks for as long as the lookup takes.
  static unsigned long LookupAddress(const char* name);
  // Only the dotted form: 0 for anything else.
  static unsigned long DottedAddress(const char* name);

  // ip in network order, port in host order. 1 when connected at once, 0
  // while it goes on in the background, else the error number (status 5).
  int Connect(unsigned long ip, unsigned short port);
  int GetStatus();
  int GetOSError() const { return os_error; }
  bool ReceivedRelease() const { return received_release; }
  int ReadData(void* buf, long size);
  int http_WriteData(const void* data, long len);
  int Disconnect();
  int Release();
  PCSBSocket* Accept();
  void GetAddresses(ConnectionData* out);
  int descriptor() const { return sock; }

  static int StartupNetworking(bool) { return 1; }
  static void ShutdownNetworking(bool) {}

 private:
  // Sorts a failed recv or send: 0 would block, else -1 with status 4 or 5.
  int io_failure(int err, const char* what);

  int sock = -1;
  int status = status_idle;
  int os_error = 0;
  bool received_release = false;
  bool released = false;
  bool listening = false;
};

// A host-name lookup on a thread of its own, so that a slow name service never
// holds up the frame loop. The thread may outlive the object.
class PCSBAddressLookup {
 public:
  explicit PCSBAddressLookup(const std::string& name);
  // Whether the answer is in.
  bool done() const;
  // The address in network byte order, 0 when not found (valid once done).
  unsigned long address() const;

 private:
  struct shared_state;
  std::shared_ptr<shared_state> state_;
};

// Switches diagnostic printing off where a printf-shaped hook is wanted.
int printf_null(const char* fmt, ...);
