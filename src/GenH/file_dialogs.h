// The system's own file dialogs, its stop alert and two byte-order helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// kind 0 open a file, 1 save a file (path holds the default name on entry),
// 2 choose a folder. 1 when the user chose something and path holds it (a
// folder without a trailing "/"); 0 otherwise, path unchanged. The dialog
// opens at start_location, else where the last choice for pref_key was made
// in this run.
int GetFilePathFromUser(int kind, const std::string& prompt, const std::string& button_label,
                        int pref_key, const std::string& start_location, std::string& path);

// At most max_bytes of text, cut before a character, never inside one.
std::string cut_utf8(const std::string& text, size_t max_bytes);
// A stop alert with message (its first 255 bytes, never splitting a character).
void DoUserAlert(const char* message);

short* EndianFlipShort(short* value);
int32_t EndianFlipLong(int32_t* value);  // swaps in place, returns the swapped value

// How the dialog is run: its exit status (0 chosen, 1 cancelled, others a
// failure), output and error output, -1 when it could not start
// (start_errno), -2 when between ended it. With a window, between is called
// while the dialog is up: it redraws what the window lost and takes a close
// of the window (or SIGTERM, SIGHUP) as the program's end, which ends the
// dialog. A dialog that cannot be shown is logged and alerted. Tests answer
// through it; the environment variable FLY_DIALOG_ANSWER answers too ("-"
// cancels).
using file_dialog_runner_fn = int (*)(const std::vector<std::string>& argv, std::string* out,
                                      int* start_errno, std::string* err, int (*between)());
extern file_dialog_runner_fn file_dialog_runner;
// Drops the mouse and key events queued while the dialog was up; the shell's
// start-up sets it to the window layer's flush.
extern void (*file_dialog_flush_input)();
