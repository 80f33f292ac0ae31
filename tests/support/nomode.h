// Cases run against a destination that refuses modes and times (as FAT, exFAT
// and some FUSE drivers do), by the preloaded shim of nomode_shim.c.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace fly_test {

// In a process without the shim: runs the current case again in a child that
// has it and reports the child's result; true, and the caller returns. In the
// child (or a process started with the shim): false, and the case goes on.
inline bool ran_in_nomode_child() {
  if (dlsym(RTLD_DEFAULT, "fly_nomode_shim_loaded")) return false;
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + t->test_suite_name() + "." + t->name();
  const std::string out = sandbox() + "nomode_child.txt";
  std::string preload = FLY_NOMODE_SHIM;
  if (const char* old = getenv("LD_PRELOAD"); old && *old) preload += std::string(":") + old;
  // The sanitizers' runtime would otherwise insist on coming first.
  std::string asan = "verify_asan_link_order=0";
  if (const char* old = getenv("ASAN_OPTIONS"); old && *old) asan = std::string(old) + ":" + asan;
  std::string exe(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (n <= 0) {
    ADD_FAILURE() << "cannot find the test program";
    return true;
  }
  exe.resize(static_cast<size_t>(n));
  // Everything the child needs is made before the fork: the parent has threads.
  std::vector<std::string> env{"LD_PRELOAD=" + preload, "ASAN_OPTIONS=" + asan};
  for (char** e = environ; *e; ++e)
    if (!std::string(*e).starts_with("LD_PRELOAD=") && !std::string(*e).starts_with("ASAN_OPTIONS="))
      env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  char* argv[] = {exe.data(), const_cast<char*>(filter.c_str()), nullptr};
  const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out_fd < 0) {
    ADD_FAILURE() << "cannot make " << out;
    return true;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    close(out_fd);
    ADD_FAILURE() << "cannot fork";
    return true;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // the parent timed out: the child goes too
    if (getppid() != parent || dup2(out_fd, 1) < 0 || dup2(out_fd, 2) < 0) _exit(127);
    execve(exe.data(), argv, envp.data());
    _exit(127);
  }
  close(out_fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const std::string said = read_file(out);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
  EXPECT_NE(said.find("[  PASSED  ] 1 test"), std::string::npos) << said;
  return true;
}

// Mode and time calls below prefix answer err from now on (0: they work again).
inline void refuse_modes_below(const std::string& prefix, int err = EPERM, bool links = false) {
  if (prefix.empty() || !err) {
    unsetenv("FLY_NOMODE_PREFIX");
  } else {
    // As the shim sees paths: through /proc and getcwd, with no link in them.
    std::string p = prefix;
    const bool folder = p.back() == '/';
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const size_t slash = p.find_last_of('/');
    char real[PATH_MAX];
    const std::string parent = slash == std::string::npos ? "." : p.substr(0, slash + 1);
    if (realpath(parent.c_str(), real))
      p = std::string(real) + (std::string(real) == "/" ? "" : "/") + p.substr(slash + 1);
    if (folder) p += '/';
    setenv("FLY_NOMODE_PREFIX", p.c_str(), 1);
    setenv("FLY_NOMODE_ERRNO", std::to_string(err).c_str(), 1);
  }
  if (links)
    setenv("FLY_NOMODE_LINKS", "1", 1);
  else
    unsetenv("FLY_NOMODE_LINKS");
}

}  // namespace fly_test
