#include "OOPS_cpp/http.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>

#include "Files/errors.h"
#include "GenH/shell.h"
#include "Sockets/PCSBSocket.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

std::vector<std::string> gProxyExclude;

namespace {
const char* const k_version_name = "Flyvane 9.21rc2";
const float k_silence_limit = 30.0f;  // seconds without data before a download fails

char g_read_buf[http_read_chunk];  // shared by every download (main thread only)

// The program clock: seconds of real time as the frame loop keeps it.
float net_now() { return xtim.real_elapsed; }

bool has_line_break_or_nul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// A ".." component anywhere in a "/"-separated name.
bool has_dot_dot(const std::string& s) {
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find('/', start);
    if (end == std::string::npos) end = s.size();
    if (end - start == 2 && s.compare(start, 2, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

// A host name goes into the request line and the Host header as it is.
bool server_name_ok(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (c <= ' ' || c == 0x7f) return false;
  return true;
}

// Strict decimal: digits only, no sign, no blanks inside, no overflow.
bool parse_length(const std::string& text, int64_t* out) {
  if (text.empty() || text.size() > 19) return false;
  if (text.size() == 19 && text > "9223372036854775807") return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// A chunk-size line: hex digits, then nothing or blanks and a ";" that begins
// the extensions, which mean nothing to us. 1: the size is in *out; 0: no such
// line; -1: the size does not fit in 63 bits.
int parse_chunk_size(const char* p, size_t n, int64_t* out) {
  size_t i = 0;
  int64_t v = 0;
  for (; i < n && isxdigit(static_cast<unsigned char>(p[i])); ++i) {
    if (v > (INT64_MAX >> 4)) return -1;
    const int c = p[i];
    v = v * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  if (i == 0) return 0;
  while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
  if (i < n && p[i] != ';') return 0;
  *out = v;
  return 1;
}

std::string trim_blanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Server and path of every 404 this run: the alert shows once for each.
std::set<std::string>& missing_files() {
  static std::set<std::string> s;
  return s;
}
}  // namespace

bool http_name_less::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

bool UseProxy(const char* server) {
  if (http.proxy_port == 0 || http.proxy_host.empty()) return false;
  const std::string s = server ? server : "";
  for (const std::string& tail : gProxyExclude)
    if (s.ends_with(tail)) return false;
  return true;
}

const char* ProxyHost(const char* server) {
  return UseProxy(server) ? http.proxy_host.c_str() : server;
}

unsigned short ProxyPort(const char* server, unsigned short port) {
  return UseProxy(server) ? static_cast<unsigned short>(http.proxy_port) : port;
}

bool http_name_is_safe(const std::string& name) {
  return !name.empty() && name[0] != '/' && !has_dot_dot(name) && !has_line_break_or_nul(name);
}

down_class::down_class(const char* server, unsigned short port, const char* path, bool post,
                       const std::map<std::string, std::string>& hdrs, const char* body,
                       int body_len, const char* dest_name)
    : server_(server ? server : ""), port_(port) {
  if (dest_name && *dest_name) {
    dest_path = app_path + dest_name;
    temp_path = dest_path + ".part";
  }
  last_activity = net_now();
  if (body_len < 0 || (body_len > 0 && !body)) body_len = 0;

  // Whatever came off the network must not split the request.
  const std::string path_text = path ? path : "";
  bool clean = !has_line_break_or_nul(server_) && !has_line_break_or_nul(path_text);
  for (const auto& h : hdrs)
    clean = clean && !has_line_break_or_nul(h.first) && !has_line_break_or_nul(h.second);
  if (!clean) {
    xer << "WARNING: refused a request with a line break in it for " << dest_path << "\n";
    error = err_net_bad_state;
    return;
  }

  const bool proxy = UseProxy(server_.c_str());
  std::string text = post ? "POST " : "GET ";
  if (proxy) {
    text += "http://";
    auto host = hdrs.find("Host");
    if (host != hdrs.end()) text += host->second;
  }
  for (char c : path_text) {
    if (c == ' ')
      text += "%20";
    else
      text += c;
  }
  text += " HTTP/1.1\r\n";
  for (const auto& h : hdrs) text += h.first + ": " + h.second + "\r\n";
  if (body_len > 0) {
    char line[64];
    snprintf(line, sizeof(line), "Content-Length: %d\r\n", body_len);
    text += line;
  }
  text += "\r\n";
  request.assign(text.begin(), text.end());
  if (body_len > 0) request.insert(request.end(), body, body + body_len);

  connect_port_ = ProxyPort(server_.c_str(), port);
  lookup_ = std::make_unique<PCSBAddressLookup>(ProxyHost(server_.c_str()));
  if (lookup_->done()) {  // a dotted address: no lookup needed
    const unsigned long ip = lookup_->address();
    lookup_.reset();
    start_connect(ip);
  }
}

down_class::~down_class() {
  if (file) fclose(file);
  if (!committed_ && !temp_path.empty()) unlink(temp_path.c_str());
  delete socket;
}

void down_class::start_connect(unsigned long ip) {
  if (ip == 0) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&ip);
    xer << "Translated server " << server_ << " to IP addy: " << int(b[0]) << "." << int(b[1])
        << "." << int(b[2]) << "." << int(b[3]) << " and port = " << port_ << "\n";
    error = err_net_no_server;
    return;
  }
  status_code = -1;
  socket = new PCSBSocket(0, false);
  socket->Connect(ip, connect_port_);
}

void down_class::close_file() {
  if (!file) return;
  if (fclose(file) != 0 && error == 0) error = errno ? errno : err_net_write;
  file = nullptr;
}

int down_class::Commit() {
  close_file();
  if (error) return error;
  if (temp_path.empty()) return 0;
  if (rename(temp_path.c_str(), dest_path.c_str()) != 0) return errno;
  committed_ = true;
  return 0;
}

void down_class::DoProcessing() {
  if (lookup_) {
    if (!lookup_->done()) return;
    const unsigned long ip = lookup_->address();
    lookup_.reset();
    start_connect(ip);
  }
  if (!socket) return;

  const int st = socket->GetStatus();
  if (st == PCSBSocket::status_closed || st == PCSBSocket::status_error) {
    close_file();
    return;
  }
  if (st != PCSBSocket::status_connected) return;

  if (!request.empty()) {
    const int sent = socket->http_WriteData(request.data(), static_cast<long>(request.size()));
    if (sent > 0) request.erase(request.begin(), request.begin() + sent);
  }

  const int got = socket->ReadData(g_read_buf, sizeof(g_read_buf));
  if (got <= 0) {
    // The peer closed: the reply is over, whatever it held.
    if (got == 0 && socket->ReceivedRelease()) socket->Disconnect();
    if (socket->GetStatus() != PCSBSocket::status_connected) close_file();
    return;
  }
  reply.insert(reply.end(), g_read_buf, g_read_buf + got);

  if (!headers_done) {
    parse_headers();
    if (!headers_done) return;
  }

  last_activity = net_now();
  // The first body bytes of reply go to the file; the bytes used are dropped
  // from it, and what stays is a chunk line not yet ended.
  size_t body = reply.size(), used = reply.size();
  if (chunked_) {
    body = decode_chunks(&used);
    if (chunk_step_ == chunk_end || error) {
      used = reply.size();  // nothing past the last chunk
      if (chunk_step_ == chunk_end) socket->Disconnect();
    }
  } else if (content_length != -1) {
    const int64_t left = content_length - bytes_written;
    if (static_cast<int64_t>(reply.size()) >= left) {
      body = used = static_cast<size_t>(left);  // nothing past the announced length
      socket->Disconnect();
    }
  }
  if (file && body > 0) {
    bytes_written += static_cast<int64_t>(body);
    if (fwrite(reply.data(), 1, body, file) != body && error == 0)
      error = errno ? errno : err_net_write;
  }
  // A body with no file to go to is dropped.
  reply.erase(reply.begin(), reply.begin() + static_cast<long>(used));
  if (socket->GetStatus() == PCSBSocket::status_closed) close_file();
}

void down_class::parse_headers() {
  size_t pos = 0;
  while (!headers_done && error == 0) {
    const char* base = reply.data() + pos;
    const size_t avail = reply.size() - pos;
    const char* cr = static_cast<const char*>(memmem(base, avail, "\r\n", 2));
    // A line not yet ended counts with what has come of it.
    const size_t line_bytes = cr ? static_cast<size_t>(cr - base) + 2 : avail;
    if (header_bytes + line_bytes > http_max_header_bytes) {
      xer << "WARNING: the reply headers for " << dest_path << " pass "
          << int(http_max_header_bytes) << " bytes.\n";
      error = err_net_bad_state;
      break;
    }
    if (!cr) break;
    const std::string line(base, line_bytes - 2);
    pos += line_bytes;
    header_bytes += line_bytes;
    if (line.empty()) {
      if (status_code >= 200)
        end_of_headers();
      else
        headers.clear();  // an interim reply: its headers are not the final ones
      continue;
    }
    if (line.compare(0, 5, "HTTP/") == 0 && line.size() >= 12 && isdigit((unsigned char)line[9]) &&
        isdigit((unsigned char)line[10]) && isdigit((unsigned char)line[11]) &&
        (line.size() == 12 || line[12] == ' ')) {
      status_code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
      reason = line.size() > 13 ? line.substr(13) : "";
      headers.clear();
      continue;
    }
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
      const std::string name = line.substr(0, colon), value = trim_blanks(line.substr(colon + 1));
      const auto [it, added] = headers.emplace(name, value);
      // Lengths that differ frame no body: kept side by side, they read as a
      // bad length and the download fails. Codings add up, as in one list.
      if (!added && ((strcasecmp(name.c_str(), "Content-Length") == 0 && it->second != value) ||
                     strcasecmp(name.c_str(), "Transfer-Encoding") == 0))
        it->second += ", " + value;
    }
  }
  reply.erase(reply.begin(), reply.begin() + static_cast<long>(pos));
}

void down_class::end_of_headers() {
  headers_done = true;
  if (status_code < 200 || status_code > 299) return;  // the verdict needs no body

  auto te = headers.find("Transfer-Encoding");
  if (te != headers.end() && strcasecmp(te->second.c_str(), "chunked") == 0) {
    chunked_ = true;
  } else if (te != headers.end() && strcasecmp(te->second.c_str(), "identity") != 0) {
    xer << "WARNING: the reply for " << dest_path << " uses the transfer coding " << te->second
        << ".\n";
    error = err_net_bad_state;
    return;
  }
  // A chunked body frames itself: a Content-Length beside it is not its length.
  auto cl = chunked_ ? headers.end() : headers.find("Content-Length");
  if (cl != headers.end() && !parse_length(cl->second, &content_length)) {
    xer << "WARNING: the reply for " << dest_path << " has a bad Content-Length: " << cl->second
        << "\n";
    content_length = -1;
    error = err_net_bad_state;
    return;
  }
  if (!temp_path.empty()) {
    file = fopen(temp_path.c_str(), "wb");
    if (!file) error = errno ? errno : err_net_write;
  }
}

void down_class::bad_chunk(const char* what, const char* line, size_t len) {
  std::string shown;
  for (size_t i = 0; i < len && i < 64; ++i)
    shown += (line[i] >= ' ' && line[i] < 0x7f) ? line[i] : '?';
  xer << "WARNING: the reply for " << dest_path << " has " << what;
  if (line) xer << ": \"" << shown << (len > 64 ? "...\"" : "\"");
  xer << "\n";
  error = err_net_bad_state;
}

// Decodes the chunked body in reply in place: the data moves to the front and
// its length is returned; *used is the count of bytes taken from reply. A line
// not yet ended waits there for the next read.
size_t down_class::decode_chunks(size_t* used) {
  char* const buf = reply.data();
  const size_t size = reply.size();
  size_t in = 0, out = 0;
  while (in < size && chunk_step_ != chunk_end && error == 0) {
    const char* const p = buf + in;
    const size_t avail = size - in;
    if (chunk_step_ == chunk_data) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(chunk_left_, avail));
      if (out != in) memmove(buf + out, p, n);
      out += n;
      in += n;
      chunk_left_ -= static_cast<int64_t>(n);
      if (chunk_left_ == 0) chunk_step_ = chunk_data_end;
      continue;
    }
    if (chunk_step_ == chunk_data_end) {
      const size_t n = std::min<size_t>(avail, 2);
      if (memcmp(p, "\r\n", n) != 0) {
        bad_chunk("a chunk longer than its size", nullptr, 0);
        break;
      }
      if (n < 2) break;
      in += 2;
      chunk_step_ = chunk_size;
      continue;
    }
    const char* const cr = static_cast<const char*>(memmem(p, avail, "\r\n", 2));
    const size_t len = cr ? static_cast<size_t>(cr - p) : avail;  // of the line so far
    if (chunk_step_ == chunk_size) {
      if (len > http_max_chunk_line) {
        bad_chunk("a chunk line longer than 4096 bytes", p, len);
        break;
      }
      if (!cr) break;
      int64_t n = 0;
      const int r = parse_chunk_size(p, len, &n);
      if (r <= 0) {
        bad_chunk(r ? "a chunk size that does not fit" : "a bad chunk line", p, len);
        break;
      }
      in += len + 2;
      chunk_left_ = n;
      chunk_step_ = n ? chunk_data : chunk_trailer;
      continue;
    }
    // The trailers: header lines up to an empty one, read and dropped.
    if (trailer_bytes_ + len > http_max_header_bytes) {
      xer << "WARNING: the trailers of the reply for " << dest_path << " pass "
          << int(http_max_header_bytes) << " bytes.\n";
      error = err_net_bad_state;
      break;
    }
    if (!cr) break;
    in += len + 2;
    trailer_bytes_ += len + 2;
    if (len == 0) chunk_step_ = chunk_end;
  }
  *used = in;
  return out;
}

int down_class::GetState() const {
  if (!socket) return http_no_socket;
  switch (socket->GetStatus()) {
    case PCSBSocket::status_connecting:
      return http_connecting;
    case PCSBSocket::status_error:
      return http_socket_error;
    case PCSBSocket::status_closed:
      return http_finished;
    case PCSBSocket::status_connected:
      if (!request.empty()) return http_sending;
      return headers_done ? http_receiving_body : http_waiting_headers;
    default:
      return http_no_socket;
  }
}

bool down_class::IsDone() const { return GetState() == http_finished; }

bool down_class::IsComplete() const {
  return chunked_ ? chunk_step_ == chunk_end : content_length == bytes_written;
}

bool down_class::IsErr() const {
  return error != 0 || !socket || socket->GetStatus() == PCSBSocket::status_error;
}

int down_class::GetOSErr() const {
  if (error) return error;
  if (socket) return socket->GetOSError();
  return err_net_alloc;
}

int http_class::net_check(int slot, std::string server, std::string path, const std::string& dest) {
  if (slot < 0 || slot > 5)
    __MACIBM_alert(0, "Too many download objects requested!", "", "", "", t_exit, __FILE__,
                   __LINE__);
  static bool first_call = true;
  if (first_call) {
    first_call = false;
    for (down_class*& s : slots) s = nullptr;
    PCSBSocket::StartupNetworking(true);
  }

  down_class*& d = slots[slot];
  if (d && (d->slot_server != server || d->slot_path != path || d->slot_dest != dest)) {
    xer << "WARNING: download slot " << slot << " was busy with " << d->slot_server << d->slot_path
        << " for " << d->slot_dest << "; restarting it for " << server << path << " for " << dest
        << ".\n";
    delete d;
    d = nullptr;
  }

  if (!d) {
    if (server.ends_with("/"))
      __MACIBM_alert(0, "net_check error! You have a dirchar at the end of the server name!",
                     "You should not!",
                     "Our convention is that a server name is simply a server name... with no "
                     "slash!",
                     server, t_exit, __FILE__, __LINE__);
    if (path.empty() || path[0] != '/')
      __MACIBM_alert(0,
                     "net_check error! You do not have a dirchar at the beginning of the "
                     "directory name!",
                     "You should!",
                     "Our convention is that a directory name does start with a slash because "
                     "it must include the hard drive,which is a dir char on unix!",
                     path, t_exit, __FILE__, __LINE__);
    if (!server_name_ok(server) || has_line_break_or_nul(path) || has_line_break_or_nul(dest) ||
        has_dot_dot(dest)) {
      xer << "WARNING: net_check refused to fetch " << server << path << " into " << dest << ".\n";
      return 2;
    }
    const std::string version = k_version_name;
    const std::string agent = std::string("Installer-") + "APL/" +
                              (version.size() >= 4 ? version.substr(version.size() - 4) : "");
    const std::map<std::string, std::string> hdrs = {
        {"Host", server}, {"User-agent", agent}, {"Connection", "close"}};
    d = new down_class(server.c_str(), 80, path.c_str(), false, hdrs, nullptr, 0, dest.c_str());
    d->slot_server = server;
    d->slot_path = path;
    d->slot_dest = dest;
  }

  d->DoProcessing();

  const bool two_xx = d->status_code >= 200 && d->status_code <= 299;
  bool verdict = false;
  if (d->LookingUp()) {
    verdict = false;
  } else if (d->socket && d->socket->GetStatus() == PCSBSocket::status_closed) {
    verdict = true;
  } else if (d->headers_done && !two_xx) {
    verdict = true;
  } else if (!d->IsComplete() && d->error == 0) {
    verdict = !d->socket || d->socket->GetStatus() == PCSBSocket::status_error;
  } else {
    verdict = true;
  }
  if (!verdict) {
    if (net_now() - d->last_activity > k_silence_limit) {
      delete d;
      d = nullptr;
      return 2;
    }
    return 0;
  }

  if (two_xx && d->IsComplete() && !d->IsErr()) {
    const int err = d->Commit();
    if (err == 0) {
      delete d;
      d = nullptr;
      return 1;
    }
    d->error = err;
  }

  xer << "HTTP Error for " << dest << "\n"
      << "   server     =" << server << "\n"
      << "   file       =" << path << "\n"
      << "   IsDone     =" << (d->IsDone() ? 1 : 0) << "\n"
      << "   IsComplete =" << (d->IsComplete() ? 1 : 0) << "\n"
      << "   IsErr      =" << (d->IsErr() ? 1 : 0) << "\n"
      << "   GetStat    =" << d->GetState() << "\n"
      << "   GetOSErr   =" << d->GetOSErr() << "\n"
      << "   response   =" << d->reason << " (#" << d->status_code << ")\n\n";
  if (d->status_code == 404) {
    const std::string what = server + path;
    if (missing_files().insert(what).second)
      __MACIBM_alert(0, "File not found!", what, "", "", t_alert, __FILE__, __LINE__);
  }
  delete d;
  d = nullptr;
  return 2;
}
