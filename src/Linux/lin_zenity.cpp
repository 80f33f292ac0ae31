#include "Linux/lin_zenity.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

std::vector<std::string> LIN_zenity_args(int kind, const std::string& title,
                                         const std::string& ok_label, const std::string& start) {
  std::vector<std::string> a = {"zenity", "--file-selection"};
  if (kind == 1) a.insert(a.end(), {"--save", "--confirm-overwrite"});
  if (kind == 2) a.push_back("--directory");
  a.push_back("--title=" + title);
  if (!ok_label.empty()) a.push_back("--ok-label=" + ok_label);
  if (!start.empty()) a.push_back("--filename=" + start);
  return a;
}

int LIN_run_capture(const std::vector<std::string>& argv, std::string* out, int* start_errno) {
  if (start_errno) *start_errno = 0;
  if (out) out->clear();
  if (argv.empty()) {
    if (start_errno) *start_errno = EINVAL;
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);

  int data[2], report[2];  // the child's output; exec's errno when it fails
  if (pipe2(data, O_CLOEXEC) != 0) {
    if (start_errno) *start_errno = errno;
    return -1;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    const int e = errno;
    close(data[0]), close(data[1]);
    if (start_errno) *start_errno = e;
    return -1;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    const int e = errno;
    close(data[0]), close(data[1]), close(report[0]), close(report[1]);
    if (start_errno) *start_errno = e;
    return -1;
  }
  if (pid == 0) {
    dup2(data[1], 1);
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {  // toolkit chatter stays out of our output
      dup2(null_fd, 0);
      dup2(null_fd, 2);
    }
    signal(SIGPIPE, SIG_DFL);
    execvp(args[0], args.data());
    const int e = errno;
    (void)!write(report[1], &e, sizeof e);
    _exit(127);
  }
  close(data[1]);
  close(report[1]);
  char buf[4096];
  for (;;) {
    const ssize_t n = read(data[0], buf, sizeof buf);
    if (n > 0) {
      if (out) out->append(buf, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(data[0]);
  int exec_errno = 0;
  ssize_t got;
  do got = read(report[0], &exec_errno, sizeof exec_errno);
  while (got < 0 && errno == EINTR);
  close(report[0]);
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof exec_errno)) {
    if (start_errno) *start_errno = exec_errno;
    return -1;
  }
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}
