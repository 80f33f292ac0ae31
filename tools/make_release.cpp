// Builds a release tree from a master folder without the installer's window:
// sets the builder's settings from the arguments and runs build_install. The
// progress line goes to standard output, alerts to standard error; Ctrl-C
// stands in for the Q key (the build stops with a fatal alert, exit status 1).
//
//   make_release --type=web|disc|addon1|addon2 --master=DIR --out=DIR
//                [--old=FILE] [--name=NAME] [--release=N] [--split-kb=KB]
//                [--threads=N] [--log=FILE]
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "GenH/shell.h"
#include "Installer-f/make_installer.h"
#include "UTL/str_to_int.h"
#include "UTL/xer.h"

namespace {
const char* const k_usage =
    "usage: make_release --type=web|disc|addon1|addon2 --master=DIR --out=DIR\n"
    "                    [--old=FILE] [--name=NAME] [--release=N] [--split-kb=KB]\n"
    "                    [--threads=N] [--log=FILE]\n"
    "  --type      web, disc, or the first or second add-on edition\n"
    "  --master    the master folder, one sub-folder per platform\n"
    "  --out       the output base folder (a web build makes it and must not find it)\n"
    "  --old       the previous release's directory file (web builds; without it the\n"
    "              build is a first web release, with no history and no GONE rows)\n"
    "  --name      the release name: the output sub-folder and the discs' version text\n"
    "              (default \"Flyvane 9.21rc2\")\n"
    "  --release   the release number of every new row (default 92102); no row of\n"
    "              the previous directory file may carry it already\n"
    "  --split-kb  archives per disc in KB of 1000 bytes (default 7670000)\n"
    "  --threads   threads packing archives (default one per processor)\n"
    "  --log       the log file (default make_release.log in the working folder)\n";

void on_interrupt(int) { build_quit_requested = 1; }

// A command-line tool opens no window: every alert, the closing checklist
// too, is text on standard error; a fatal one still ends with status 1.
void alert_as_text(const std::string& s1, const std::string& s2, const std::string& s3,
                   const std::string& s4) {
  for (const std::string* s : {&s1, &s2, &s3, &s4})
    if (!s->empty()) fprintf(stderr, "%s\n", s->c_str());
  fflush(stderr);
}

// Paths relative to the working folder made absolute; folders end in "/".
std::string absolute(std::string p, bool folder) {
  if (!p.empty() && p[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd))) p = std::string(cwd) + "/" + p;
  }
  if (folder && (p.empty() || p.back() != '/')) p += "/";
  return p;
}

[[noreturn]] void usage(const std::string& why) {
  fprintf(stderr, "make_release: %s\n%s", why.c_str(), k_usage);
  exit(2);
}
}  // namespace

int main(int argc, char** argv) {
  std::string type, master, out, old, name, release, split, threads, log = "make_release.log";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const size_t eq = a.find('=');
    const std::string key = a.substr(0, eq),
                      value = eq == std::string::npos ? "" : a.substr(eq + 1);
    if (key == "-h" || key == "--help") {
      fputs(k_usage, stdout);
      return 0;
    }
    std::string* slot = key == "--type"       ? &type
                        : key == "--master"   ? &master
                        : key == "--out"      ? &out
                        : key == "--old"      ? &old
                        : key == "--name"     ? &name
                        : key == "--release"  ? &release
                        : key == "--split-kb" ? &split
                        : key == "--threads"  ? &threads
                        : key == "--log"      ? &log
                                              : nullptr;
    if (!slot || eq == std::string::npos) usage("unknown argument " + a);
    *slot = value;
  }

  static const char* const k_types[] = {"web", "disc", "addon1", "addon2"};
  build_type = -1;
  for (int t = 0; t < 4; ++t)
    if (type == k_types[t] || type == std::to_string(t)) build_type = t;
  if (build_type < 0) usage("--type must be web, disc, addon1 or addon2");
  if (master.empty() || out.empty()) usage("--master and --out are needed");
  // The name is a folder name and is read back trimmed from the version file.
  if (!name.empty() && (name.find('/') != std::string::npos || name.front() == ' ' ||
                        name.back() == ' ' || name.find('\n') != std::string::npos))
    usage("--name must be one folder name without blanks at its ends");
  if (!release.empty()) {
    build_release_number = str_to_int(release);
    if (build_release_number <= 0) usage("--release must be a positive whole number");
  }
  if (!threads.empty()) {
    build_threads = str_to_int(threads);
    if (build_threads <= 0 || build_threads > 256) usage("--threads must be 1 to 256");
  }
  if (!split.empty()) {
    char* end = nullptr;
    dvd_split_kb = strtod(split.c_str(), &end);
    if (*end || !(dvd_split_kb > 0)) usage("--split-kb must be a positive number");
  }

  src_fold = absolute(master, true);
  dst_fold_base = absolute(out, true);
  old_dir_path = old.empty() ? "" : absolute(old, false);
  if (!name.empty()) sim_name = name;

  MACIBM_system_alert = alert_as_text;
  if (!xer.open(absolute(log, false)))
    fprintf(stderr, "make_release: cannot write %s\n", log.c_str());
  MACIBM_write_log_header();
  MACIBM_fill_tables();

  struct sigaction sa {};
  sa.sa_handler = on_interrupt;
  sa.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);

  build_install();
  MACIBM_finishup(0);
  printf("Release %s built in %s\n", sim_name.c_str(), dst_fold_base.c_str());
  return 0;
}
