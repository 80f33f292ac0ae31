// The Linux layer: what the program needs of the operating system in the
// places where the original platform offered its own services.
#pragma once

#include <cstdint>
#include <string>

// Full path of the running executable ("" when unknown).
std::string LIN_exe_path();
// Processors this process may run on (at least 1).
int LIN_processor_count();
// 1 when the volume holding path is case-sensitive, 0 when not, -1 unknown.
int LIN_probe_case_sensitive(const std::string& path);
// The user's home folder, without a trailing "/".
std::string LIN_home_dir();
// An XDG user folder ("DESKTOP", ...) without a trailing "/"; the fallback is
// $HOME/<fallback_name>.
std::string LIN_xdg_user_dir(const char* kind, const char* fallback_name);

// The whole file as it is; "" when it cannot be read.
std::string LIN_read_text(const std::string& path);

// Creates path and its missing ancestors (mode 0755); 0 or an errno.
int LIN_make_dirs(const std::string& path);

// Stands in for the system's alert box: the lines go to standard error.
void LIN_system_alert(const std::string& s1, const std::string& s2, const std::string& s3,
                      const std::string& s4);
// The system's stop alert: a modal box with the main and the secondary text
// and one button; returns when the user dismisses it. Skipped (0) when
// FLY_NO_ALERT_BOX is set, as the tests do, when the display went, or when
// no box can be shown.
int LIN_message_box(const std::string& main_text, const std::string& secondary);

// Facts for the log header.
std::string LIN_os_release();   // "Linux 6.1.0-..." style
std::string LIN_cpu_name();     // model name
std::string LIN_cpu_mhz();      // "?" when unknown
std::string LIN_ram_mb();       // "?" when unknown
