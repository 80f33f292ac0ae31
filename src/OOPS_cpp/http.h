// The HTTP download client: six polled download slots and the proxy settings.
//
// Callers poll http.net_check once per frame; nothing here ever waits. The body
// goes to a temporary file beside the destination and takes the destination's
// name only when the whole announced length, or a chunked body to its last chunk
// and trailers, has arrived with a 2xx status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

class PCSBSocket;
class PCSBAddressLookup;

// Header names compare without regard to case.
struct http_name_less {
  bool operator()(const std::string& a, const std::string& b) const;
};

// Download states, as the failure log shows them.
enum {
  http_no_socket = 0,
  http_connecting = 1,
  http_socket_error = 2,
  http_finished = 3,
  http_sending = 4,
  http_receiving_body = 5,
  http_waiting_headers = 6,
};

enum {
  http_read_chunk = 65536,        // one read per poll
  http_max_header_bytes = 65536,  // a longer header block fails the download
  http_max_chunk_line = 4096,     // a longer chunk-size line fails the download
};

class down_class {
 public:
  down_class(const char* server, unsigned short port, const char* path, bool post,
             const std::map<std::string, std::string>& headers, const char* body, int body_len,
             const char* dest_name);
  ~down_class();
  down_class(const down_class&) = delete;
  down_class& operator=(const down_class&) = delete;

  // One step: connect, send, read, parse, write.
  void DoProcessing();

  int GetState() const;
  bool IsDone() const;      // the connection is closed
  bool IsComplete() const;  // the announced length, or the chunked body, is written
  bool IsErr() const;
  // The host-name lookup is still running.
  bool LookingUp() const { return lookup_ != nullptr; }
  // The error number to report: error, else the socket's, else 20009.
  int GetOSErr() const;
  // Closes the file and gives the body its destination name; 0 or an error
  // number. Without it the destructor deletes the partial body.
  int Commit();

  PCSBSocket* socket = nullptr;
  std::vector<char> request;  // not sent yet
  std::vector<char> reply;    // received, not consumed yet
  bool headers_done = false;
  int status_code = 0;
  std::string reason;
  std::map<std::string, std::string, http_name_less> headers;
  FILE* file = nullptr;
  std::string dest_path;
  int error = 0;
  int64_t content_length = -1;
  int64_t bytes_written = 0;
  float last_activity = 0.0f;

  std::string temp_path;    // the body until it is complete
  size_t header_bytes = 0;  // of the header block so far, interim replies included
  std::string slot_server, slot_path, slot_dest;  // the net_check arguments it serves

 private:
  void start_connect(unsigned long ip);
  void parse_headers();
  void end_of_headers();
  void close_file();
  size_t decode_chunks(size_t* used);
  void bad_chunk(const char* what, const char* line, size_t len);

  std::string server_;
  unsigned short port_ = 80;
  unsigned short connect_port_ = 80;
  std::unique_ptr<PCSBAddressLookup> lookup_;
  bool committed_ = false;

  // Where a chunked body stands: before a size line, inside a chunk's data, at
  // the line end after the data, in the trailers, or past the end.
  enum chunk_step { chunk_size, chunk_data, chunk_data_end, chunk_trailer, chunk_end };
  bool chunked_ = false;
  chunk_step chunk_step_ = chunk_size;
  int64_t chunk_left_ = 0;      // data bytes of the current chunk still to come
  size_t trailer_bytes_ = 0;    // of the trailers so far
};

class http_class {
 public:
  std::string proxy_host;       // empty: no proxy
  std::string proxy_port_text;  // as the user typed it; kept for the preferences
  int proxy_port = 0;           // 0: no proxy
  down_class* slots[6] = {};

  // Polls the download of slot (starting it on the first call): 0 running,
  // 1 done, 2 failed. server is a bare host name, path begins with "/", dest
  // is the destination file. After 1 or 2 the slot is free again.
  int net_check(int slot, std::string server, std::string path, const std::string& dest);
};

extern http_class http;
// Host-name endings reached without the proxy.
extern std::vector<std::string> gProxyExclude;

bool UseProxy(const char* server);
const char* ProxyHost(const char* server);
unsigned short ProxyPort(const char* server, unsigned short port);

// Whether a file name taken from a downloaded list may be used below a
// destination folder: relative, no ".." component, no CR, LF or NUL.
bool http_name_is_safe(const std::string& name);
