// Services of the application shell that every subsystem uses: the alert call,
// close-down, the run flags and the start-up tables.
#pragma once

#include <atomic>
#include <string>

// Degrees per radian.
static const double radtodeg = 57.29577951308232;

// Alert types (sixth argument of __MACIBM_alert).
enum { t_language = 0, t_alert = 1, t_exit = 2 };

void __MACIBM_alert(int ret_window, std::string s1, std::string s2, std::string s3,
                    std::string s4, int type, const char* src_file, int src_line);
void MACIBM_finishup(int full);
// The display went in the middle of the run: the close-down of a close, less
// what needs the window, then the end with status 1.
[[noreturn]] void MACIBM_finishup_without_display();
void IBM_turnoff();

// Start-up of the shell: working folder, log and its header, command line,
// thread layer, screen defaults and tables.
void MACIBM_init(int argc, const char* const* argv);
// What start-up sets up once the window's context exists: the window's 2D
// metrics, the GL capabilities, the scratch store and the texture manager
// with its placeholder. The GL test harness starts the same way.
void MACIBM_init_drawing();
void MACIBM_set_app_path(std::string* path, int keep_name);
void MACIBM_fill_tables();
void MACIBM_write_log_header();

// Writes value in decimal into buf (at least 12 bytes), zero-padded to
// min_digits (up to 10), with "-" for negatives and "+" when force_plus.
void int_to_str(int value, char* buf, int min_digits, int force_plus);

// Opens address in the user's web browser; one of 500 characters or more is
// a fatal alert. The opening goes through MACIBM_url_opener (the Linux
// layer's by default), which tests replace.
void go_to_URL(std::string address);
using url_opener_fn = void (*)(const std::string& address);
extern url_opener_fn MACIBM_url_opener;

extern std::atomic<int> app_done;  // the frame loop runs until it is non-zero
extern std::string app_path;       // empty while the program runs
extern std::string stl_global;     // scratch text of inline number formatting
extern int g_case_sensitive;       // the application's volume is case-sensitive
extern int ogl_inited;             // OpenGL context, textures and colours exist
extern int return_hit;             // Return pressed this frame
extern float lookup_sin[361];
extern float lookup_cos[361];
extern float randrat[10000];

// How an alert is shown. The shell's OpenGL alert window installs itself in
// MACIBM_alert_window once the window exists; until then (and for recursive
// alerts) MACIBM_system_alert stands in for the system's alert box.
using alert_window_fn = void (*)(int ret_window, const std::string& s1, const std::string& s2,
                                 const std::string& s3, const std::string& s4, int type,
                                 const std::string& location);
using system_alert_fn = void (*)(const std::string& s1, const std::string& s2,
                                 const std::string& s3, const std::string& s4);
extern alert_window_fn MACIBM_alert_window;
extern system_alert_fn MACIBM_system_alert;

// The alert's OpenGL window (994); MACIBM_init installs it as
// MACIBM_alert_window once the window exists.
void MACIBM_alert_gl_window(int ret_window, const std::string& s1, const std::string& s2,
                            const std::string& s3, const std::string& s4, int type,
                            const std::string& location);
// "Save changes to <name> first?": 1 Save, 2 Don't Save, 3 Cancel or closed.
int MACIBM_nuke_alert(std::string name, int allow_cancel);

// Tests see every main-thread alert first. Returning non-zero swallows it: a
// test hook records warnings and unwinds fatal alerts with an exception.
using alert_intercept_fn = int (*)(int ret_window, const std::string& s1, const std::string& s2,
                                   const std::string& s3, const std::string& s4, int type,
                                   const char* src_file, int src_line);
extern alert_intercept_fn g_alert_intercept;

// Ends the process without static destructors (worker threads may still run).
[[noreturn]] void MACIBM_exit_now(int status);
