#include "Linux/lin_url.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "UTL/xer.h"

void LIN_open_url(const std::string& address) {
  const pid_t pid = fork();
  if (pid < 0) {
    const int e = errno;
    xer << "WARNING: could not start the web browser for " << address << ": " << strerror(e)
        << "\n";
    return;
  }
  if (pid == 0) {
    // A grandchild that init reaps, so the installer never waits on a browser.
    setsid();
    const pid_t browser = fork();
    if (browser != 0) _exit(browser < 0 ? 1 : 0);
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    execlp("xdg-open", "xdg-open", address.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(st) && WEXITSTATUS(st) == 1)  // the second fork failed
    xer << "WARNING: could not start the web browser for " << address << "\n";
}
