#include "GenH/about.h"

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/launch.h"
#include "Files/zip.h"
#include "GenH/shell.h"
#include "Installer-f/servers.h"
#include "OOPS_cpp/http.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/localize.h"
#include "UTL/xer.h"

about_state about_box;
about_launch_fn about_launcher = launch_app;

const char* const about_prefs_folder = "Output/preferences/";
const char* const about_server_list_file = "Output/preferences/serverlist9.txt";
const char* const about_installer_zip = "Output/preferences/installer.zip";

namespace {
// An optional sign and decimal digits; anything after the digits is ignored.
int version_of(const std::string& word) {
  size_t i = 0;
  int sign = 1;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) sign = word[i++] == '-' ? -1 : 1;
  long long v = 0;
  bool any = false;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    any = true;
    if (v < 1000000000) v = v * 10 + (word[i] - '0');
  }
  return any ? static_cast<int>(sign * v) : 0;
}

// The first "%s" and "%d" of a translated text, filled without printf.
std::string fill(std::string text, const std::string& s, int d) {
  if (size_t p = text.find("%s"); p != std::string::npos) text.replace(p, 2, s);
  if (size_t p = text.find("%d"); p != std::string::npos) text.replace(p, 2, std::to_string(d));
  return text;
}

std::string no_net_message() {
  return UTL_string_sub(UTL_translate_string("I cannot reach the net to find the current version "
                                             "of Flyvane. Look for updates at %1:site%."),
                        maker_site);
}

void finish(about_state& st, const std::string& msg) {
  st.err_msg = msg;
  st.ins_state = 4;
}

void unpack(about_state& st) {
  std::string name;
  int code = zip_to_file(about_installer_zip, app_path, &name);
  while (!name.empty() && name.back() == '/') name.pop_back();
  // The name comes off the network and is started: only a plain name below
  // the working folder.
  if (code == 0 && (name.empty() || !http_name_is_safe(name))) {
    xer << "WARNING: refusing to start the downloaded installer \"" << name << "\".\n";
    code = err_unsafe_path;
  }
  if (code != 0) {
    finish(st, fill(UTL_translate_string("There was an error unzipping the installer: %s (%d)"),
                    UTL_translate_string(error_str(code)), code));
    return;
  }
  st.installer_app_name = name;
  st.ins_state = 3;
}
}  // namespace

int about_read_server_list(const std::string& path, about_state& st) {
  xmap_class x(path);
  static const int k_versions[] = {820, 0};
  if (!x.map_base || x.check_file(xmap_text, k_versions, "SERVERS", nullptr) != 820) return 0;
  while (x.cursor < x.map_end) {
    std::string word;
    if (x.TXT_str_scan_match("BETA", 1)) {
      x.TXT_str_scan_space(&st.version_str_net_beta);
    } else if (x.TXT_str_scan_match("FINAL", 1)) {
      x.TXT_str_scan_space(&st.version_str_net);
      st.version_str_found = 1;
    } else if (x.TXT_str_scan_match("BETA_INSTALLER_MAC", 1)) {
      x.TXT_str_scan_space(&st.beta_server);
      x.TXT_str_scan_space(&st.beta_path);
    } else if (x.TXT_str_scan_match("FINAL_INSTALLER_MAC", 1)) {
      x.TXT_str_scan_space(&st.final_server);
      x.TXT_str_scan_space(&st.final_path);
    } else if (x.TXT_str_scan_match("BETA_VERSION", 1)) {
      x.TXT_str_scan_space(&word);
      st.version_beta = version_of(word);
    } else if (x.TXT_str_scan_match("FINAL_VERSION", 1)) {
      x.TXT_str_scan_space(&word);
      st.version_final = version_of(word);
    }
    x.TXT_str_scan_eoln(nullptr);
  }
  return 1;
}

void about_decide(about_state& st) {
  st.is_latest = 1;
  st.is_beta = 0;
  st.ins_state = 4;
  if (st.version_final == -1) {
    st.err_msg = UTL_translate_string("Can't connect to the net to find latest version.");
  } else if (st.version_final == about_my_version) {
    st.err_msg = UTL_translate_string("Your version of Flyvane is up to date.");
  } else if (st.version_final > about_my_version) {
    st.is_latest = 0;
  } else if (st.version_beta > about_my_version) {
    st.is_beta = 1;
    st.is_latest = 0;
  } else {
    st.err_msg = UTL_translate_string("You have the latest Flyvane beta.");
  }
  if (st.is_latest) return;
  st.installer_server = st.is_beta ? st.beta_server : st.final_server;
  st.installer_path = st.is_beta ? st.beta_path : st.final_path;
  if (!st.installer_server.empty() && !st.installer_path.empty()) st.ins_state = 1;
  st.err_msg = UTL_string_sub(
      st.is_beta
          ? UTL_translate_string("There is a newer beta of Flyvane available! You can get it at "
                                 "%1:site%.")
          : UTL_translate_string("There is a new version of Flyvane available! You can get it at "
                                 "%1:site%."),
      maker_site);
}

void about_per_frame(about_state& st) {
  if (!dir_exists("Output/")) make_folder("Output/");
  if (!dir_exists(about_prefs_folder)) make_folder(about_prefs_folder);

  // A download under way is never interrupted by another look at the list.
  if (!st.version_str_found && st.ins_state != 2 && st.ins_state != 3) {
    if (st.err_msg.empty()) st.err_msg = no_net_message();
    if (http.net_check(0, update_host, "/serverlist9.txt", about_server_list_file) == 1) {
      about_read_server_list(about_server_list_file, st);
      about_decide(st);
      if (!st.version_str_found && st.ins_state == 4 && st.version_final == -1)
        st.err_msg = no_net_message();
    }
  }

  if (st.ins_state == 2) {
    const int r = http.net_check(1, st.installer_server, st.installer_path, about_installer_zip);
    if (r == 1)
      unpack(st);
    else if (r == 2)
      finish(st, UTL_translate_string("I was unable to download the installer from the net."));
  } else if (st.ins_state == 3) {
    const int err = about_launcher(st.installer_app_name, app_path, 1);
    finish(st, fill(UTL_translate_string("There was an error launching the installer: %s (%d)"),
                    error_str(err), err));
  }
}

void about_get_new(about_state& st) {
  if (st.ins_state == 1) st.ins_state = 2;
}

std::string about_product_line(int is_demo) {
  return std::string("Flyvane 9.21rc2") + (is_demo ? " Web Demo" : "");
}

std::string about_version_line(const about_state& st) {
  return UTL_translate_string("The current ") +
         (st.is_beta ? UTL_translate_string("beta version") : UTL_translate_string("version")) +
         UTL_translate_string(" of Flyvane is now ") +
         (st.is_beta ? st.version_str_net_beta : st.version_str_net) + ".";
}

std::string about_status_text(const about_state& st) {
  if (st.ins_state == 2) {
    const down_class* d = http.slots[1];
    if (d && d->content_length > 0) {
      const float progress =
          static_cast<float>(d->bytes_written) / static_cast<float>(d->content_length);
      std::string t = UTL_translate_string("Downloading the installer...%d%% complete");
      t = fill(t, "", static_cast<int>(progress * 100.0f));
      if (size_t p = t.find("%%"); p != std::string::npos) t.replace(p, 2, "%");
      return t;
    }
    return UTL_translate_string("Downloading the installer...");
  }
  if (st.ins_state == 4) return st.err_msg;
  return "";
}
