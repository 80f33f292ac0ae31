#include "Sockets/PCSBSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {
// The errors that only mean the connection is over (status 4). EPIPE joins
// them: with MSG_NOSIGNAL a send after the peer closed reports it.
bool connection_over(int err) {
  switch (err) {
    case ECONNABORTED:
    case ECONNREFUSED:
    case ECONNRESET:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETRESET:
    case ENETUNREACH:
    case ETIMEDOUT:
    case EPIPE:
      return true;
    default:
      return false;
  }
}

bool would_block(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

void set_non_blocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// One descriptor, zero timeout. The poll result; revents in *ev.
int poll_now(int fd, short events, short* ev) {
  pollfd p{fd, events, 0};
  const int r = poll(&p, 1, 0);
  *ev = p.revents;
  return r;
}
}  // namespace

PCSBSocket::PCSBSocket(unsigned short port, bool listen) {
  sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    fprintf(stderr, "LINUX: NET: I could not even create the socket! Uh-oh!\n");
    status = status_error;
    os_error = errno;
    return;
  }
  int one = 1;
  if (setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) != 0)
    printf("-----------------------Could not set TCP_NODELAY on port %d-------------\n", port);

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    fprintf(stderr, "LINUX: NET: I could not even bind the socket! Uh-oh!\n");
    status = status_error;
    os_error = errno;
  }
  set_non_blocking(sock);
  if (listen) {
    listening = true;
    if (::listen(sock, 128) != 0) {
      fprintf(stderr, "LINUX: NET: I could not start listening! Uh-oh!\n");
      status = status_error;
      os_error = errno;
    }
  }
}

PCSBSocket::PCSBSocket(int fd) : sock(fd), status(status_connected) { set_non_blocking(sock); }

PCSBSocket::~PCSBSocket() {
  if (sock >= 0) {
    shutdown(sock, SHUT_RDWR);
    close(sock);
  }
}

unsigned long PCSBSocket::DottedAddress(const char* name) {
  in_addr a{};
  if (name && inet_pton(AF_INET, name, &a) == 1) return a.s_addr;
  return 0;
}

unsigned long PCSBSocket::LookupAddress(const char* name) {
  if (!name || !*name) return 0;
  if (unsigned long a = DottedAddress(name)) return a;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return 0;
  unsigned long a = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(res);
  return a;
}

int PCSBSocket::Connect(unsigned long ip, unsigned short port) {
  status = status_connecting;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = static_cast<in_addr_t>(ip);
  if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
    status = status_connected;
    return 1;
  }
  const int err = errno;
  if (err == EAGAIN || err == EINPROGRESS || err == EINTR) return 0;
  fprintf(stderr, "LINUX: NET: Some sort of connect error! %d\n", err);
  status = status_error;
  os_error = err;
  return err;
}

int PCSBSocket::GetStatus() {
  if (status == status_idle && listening) {
    short ev = 0;
    const int r = poll_now(sock, POLLIN, &ev);
    if (r > 0) {
      status = (ev & POLLIN) ? status_connecting : status_closed;
    } else if (r < 0 && errno != EINTR) {
      fprintf(stderr, "LINUX: NET: Some sort of socket error! %d\n", r);
      status = status_error;
      os_error = errno;
    }
  } else if (status == status_connecting) {
    short ev = 0;
    const int r = poll_now(sock, POLLOUT, &ev);
    if (r > 0) {
      // Linux shows a refused connect as writable: only SO_ERROR tells.
      int err = 0;
      socklen_t len = sizeof(err);
      if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      if (err == 0 && (ev & POLLOUT) && !(ev & POLLERR)) {
        status = status_connected;
      } else if (err == 0 || connection_over(err)) {
        status = status_closed;
      } else {
        fprintf(stderr, "LINUX: NET: Some sort of connect error! %d\n", err);
        status = status_error;
        os_error = err;
      }
    } else if (r < 0 && errno != EINTR) {
      const int err = errno;
      fprintf(stderr,
              "LINUX: NET: Some sort of socket error while connecting! %d (errno=%d sock=%d)\n", r,
              err, sock);
      status = status_error;
      os_error = err;
    }
  }
  return status;
}

int PCSBSocket::io_failure(int err, const char* what) {
  if (would_block(err)) return 0;
  if (connection_over(err)) {
    status = status_closed;
    return -1;
  }
  fprintf(stderr, "LINUX: NET: Some sort of error while %s! %d\n", what, err);
  status = status_error;
  os_error = err;
  return -1;
}

int PCSBSocket::ReadData(void* buf, long size) {
  const ssize_t n = recv(sock, buf, static_cast<size_t>(size), 0);
  if (n > 0) return static_cast<int>(n);
  if (n == 0) {
    received_release = true;
    if (released) {
      status = status_closed;
      return -1;
    }
    return 0;
  }
  return io_failure(errno, "recving");
}

int PCSBSocket::http_WriteData(const void* data, long len) {
  const ssize_t n = send(sock, data, static_cast<size_t>(len), MSG_NOSIGNAL);
  if (n >= 0) return static_cast<int>(n);
  return io_failure(errno, "sending");
}

int PCSBSocket::Disconnect() {
  status = status_closed;
  return shutdown(sock, SHUT_RDWR);
}

int PCSBSocket::Release() {
  released = true;
  if (shutdown(sock, SHUT_WR) != 0) {
    status = status_error;
    os_error = errno;
    return os_error;
  }
  return 1;
}

PCSBSocket* PCSBSocket::Accept() {
  const int fd = accept4(sock, nullptr, nullptr, SOCK_CLOEXEC);
  status = status_idle;
  if (fd < 0) return nullptr;
  return new PCSBSocket(fd);
}

void PCSBSocket::GetAddresses(ConnectionData* out) {
  sockaddr_in a{};
  socklen_t len = sizeof(a);
  *out = ConnectionData{};
  if (getpeername(sock, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    out->remote_ip = a.sin_addr.s_addr;
    out->remote_port = ntohs(a.sin_port);
  }
  len = sizeof(a);
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    out->local_ip = ntohl(a.sin_addr.s_addr);
    out->local_port = ntohs(a.sin_port);
  }
}

struct PCSBAddressLookup::shared_state {
  std::atomic<bool> done{false};
  std::atomic<unsigned long> address{0};
};

PCSBAddressLookup::PCSBAddressLookup(const std::string& name)
    : state_(std::make_shared<shared_state>()) {
  if (unsigned long a = PCSBSocket::DottedAddress(name.c_str())) {
    state_->address = a;
    state_->done = true;
    return;
  }
  try {
    std::thread([st = state_, name] {
      st->address = PCSBSocket::LookupAddress(name.c_str());
      st->done.store(true, std::memory_order_release);
    }).detach();
  } catch (const std::system_error&) {
    state_->done = true;  // no thread to spare: the name counts as not found
  }
}

bool PCSBAddressLookup::done() const { return state_->done.load(std::memory_order_acquire); }

unsigned long PCSBAddressLookup::address() const { return state_->address.load(); }

int printf_null(const char*, ...) { return 0; }
