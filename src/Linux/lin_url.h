// Opening a web address: the desktop's opener, started detached.
#pragma once

#include <string>

// Starts "xdg-open address" without waiting for it; failures are logged only.
void LIN_open_url(const std::string& address);
