#include "Linux/lin_zenity.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "Linux/lin_locale.h"

extern char** environ;

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
std::string env_value(const std::vector<std::string>& env, const std::string& name) {
  const std::string key = name + "=";
  for (const std::string& e : env)
    if (e.compare(0, key.size(), key) == 0) return e.substr(key.size());
  return "";
}

// The locale a category gets from env, as setlocale(LC_ALL, "") reads it.
std::string category_locale(const std::vector<std::string>& env, const char* category) {
  for (const char* name : {"LC_ALL", category, "LANG"}) {
    const std::string v = env_value(env, name);
    if (!v.empty()) return v;
  }
  return "C";
}

// Every category must load: one that fails leaves the child's whole locale C.
bool names_utf8_locale(const std::vector<std::string>& env) {
  static const std::pair<int, const char*> categories[] = {
      {LC_CTYPE_MASK, "LC_CTYPE"},         {LC_NUMERIC_MASK, "LC_NUMERIC"},
      {LC_TIME_MASK, "LC_TIME"},           {LC_COLLATE_MASK, "LC_COLLATE"},
      {LC_MONETARY_MASK, "LC_MONETARY"},   {LC_MESSAGES_MASK, "LC_MESSAGES"},
      {LC_PAPER_MASK, "LC_PAPER"},         {LC_NAME_MASK, "LC_NAME"},
      {LC_ADDRESS_MASK, "LC_ADDRESS"},     {LC_TELEPHONE_MASK, "LC_TELEPHONE"},
      {LC_MEASUREMENT_MASK, "LC_MEASUREMENT"},
      {LC_IDENTIFICATION_MASK, "LC_IDENTIFICATION"}};
  locale_t loc = static_cast<locale_t>(0);
  for (const auto& [mask, name] : categories) {
    const locale_t next = newlocale(mask, category_locale(env, name).c_str(), loc);
    if (!next) {
      if (loc) freelocale(loc);
      return false;
    }
    loc = next;
  }
  const char* codeset = nl_langinfo_l(CODESET, loc);
  const bool utf8 = codeset && strcmp(codeset, "UTF-8") == 0;
  freelocale(loc);
  return utf8;
}

bool c_utf8_exists() {
  const locale_t loc = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (!loc) return false;
  freelocale(loc);
  return true;
}

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
  // Made before the fork: the child of a threaded program may not allocate.
  std::vector<std::string> env_in;
  for (char** e = environ; e && *e; ++e) env_in.emplace_back(*e);
  const std::vector<std::string> env = LIN_dialog_environment(env_in);
  std::vector<char*> envp;
  for (const std::string& s : env) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);

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
    execvpe(args[0], args.data(), envp.data());
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

std::vector<std::string> LIN_dialog_environment(const std::vector<std::string>& env) {
  if (names_utf8_locale(env) || !c_utf8_exists()) return env;
  std::string language = env_value(env, "LANGUAGE");
  if (language.empty()) {
    const std::string asked = category_locale(env, "LC_MESSAGES");
    if (!LIN_locale_language(asked).empty()) {
      // Its codeset is no use for finding translations: "de_DE.ISO-8859-1@x" gives "de_DE@x".
      const size_t dot = asked.find('.'), at = asked.find('@');
      language = dot == std::string::npos || (at != std::string::npos && at < dot)
                     ? asked
                     : asked.substr(0, dot) + (at == std::string::npos ? "" : asked.substr(at));
    }
  }
  std::vector<std::string> out;
  for (const std::string& e : env) {
    const std::string name = e.substr(0, e.find('='));
    if (name != "LC_ALL" && name != "LANG" && name != "LANGUAGE") out.push_back(e);
  }
  out.push_back("LC_ALL=C.UTF-8");
  out.push_back("LANG=C.UTF-8");
  if (!language.empty()) out.push_back("LANGUAGE=" + language);
  return out;
}

void LIN_end_running_dialog() {
  if (g_running > 0) end_child(g_running);
  g_running = 0;
}
