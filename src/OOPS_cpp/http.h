// The HTTP download client: six polled download slots and the proxy settings.
#pragma once

#include <string>

class down_class;

class http_class {
 public:
  std::string proxy_host;       // empty: no proxy
  std::string proxy_port_text;  // as the user typed it; kept for the preferences
  int proxy_port = 0;           // 0: no proxy
  down_class* slots[6] = {};
};

extern http_class http;
