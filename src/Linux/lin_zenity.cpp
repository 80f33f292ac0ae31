#include "Linux/lin_zenity.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

std::vector<std::string> LIN_zenity_args(int kind, const std::string& title,
                                         const std::string& start) {
  // No --ok-label: zenity's file selection refuses it and shows nothing.
  std::vector<std::string> a = {"zenity", "--file-selection"};
  if (kind == 1) a.insert(a.end(), {"--save", "--confirm-overwrite"});
  if (kind == 2) a.push_back("--directory");
  a.push_back("--title=" + title);
  if (!start.empty()) a.push_back("--filename=" + start);
  return a;
}

namespace {
pid_t g_running = 0;  // the child being waited for; main thread only

// SIGTERM, then SIGKILL when it has not gone within a second; reaped.
void end_child(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    const pid_t w = waitpid(pid, nullptr, WNOHANG);
    if (w == pid || (w < 0 && errno != EINTR)) return;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}
}  // namespace

int LIN_run_capture(const std::vector<std::string>& argv, std::string* out, int* start_errno,
                    std::string* err, int (*between)()) {
  if (start_errno) *start_errno = 0;
  if (out) out->clear();
  if (err) err->clear();
  if (argv.empty()) {
    if (start_errno) *start_errno = EINVAL;
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);

  // The child's output, its error output, and exec's errno when it fails.
  int data[2], errs[2], report[2];
  if (pipe2(data, O_CLOEXEC) != 0) {
    if (start_errno) *start_errno = errno;
    return -1;
  }
  if (pipe2(errs, O_CLOEXEC) != 0) {
    const int e = errno;
    close(data[0]), close(data[1]);
    if (start_errno) *start_errno = e;
    return -1;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    const int e = errno;
    close(data[0]), close(data[1]), close(errs[0]), close(errs[1]);
    if (start_errno) *start_errno = e;
    return -1;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    const int e = errno;
    close(data[0]), close(data[1]), close(errs[0]), close(errs[1]);
    close(report[0]), close(report[1]);
    if (start_errno) *start_errno = e;
    return -1;
  }
  if (pid == 0) {
    dup2(data[1], 1);
    dup2(errs[1], 2);
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) dup2(null_fd, 0);
    signal(SIGPIPE, SIG_DFL);
    execvp(args[0], args.data());
    const int e = errno;
    (void)!write(report[1], &e, sizeof e);
    _exit(127);
  }
  g_running = pid;
  close(data[1]);
  close(errs[1]);
  close(report[1]);
  // Both outputs are read as they come, so neither pipe fills and stalls the child.
  pollfd fds[2] = {{data[0], POLLIN, 0}, {errs[0], POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  const size_t err_cap = 16384;  // toolkit chatter is kept short
  int open_fds = 2;
  char buf[4096];
  bool ended = false;
  while (open_fds > 0) {
    if (between && between()) {
      ended = true;
      break;
    }
    if (poll(fds, 2, between ? 50 : -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        std::string* sink = sinks[i];
        if (sink && (i == 0 || sink->size() < err_cap)) sink->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  for (const pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  if (ended) {
    end_child(pid);
    g_running = 0;
    close(report[0]);
    return -2;
  }
  int exec_errno = 0;
  ssize_t got;
  do got = read(report[0], &exec_errno, sizeof exec_errno);
  while (got < 0 && errno == EINTR);
  close(report[0]);
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  g_running = 0;
  if (got == static_cast<ssize_t>(sizeof exec_errno)) {
    if (start_errno) *start_errno = exec_errno;
    return -1;
  }
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

void LIN_end_running_dialog() {
  if (g_running > 0) end_child(g_running);
  g_running = 0;
}
