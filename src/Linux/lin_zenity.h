// The system's file dialog: zenity, started directly with an argument vector
// (no shell, so nothing in a prompt is ever interpreted).
#pragma once

#include <string>
#include <vector>

// The arguments of a zenity file dialog: kind 0 open a file, 1 save a file,
// 2 choose a folder; start is the file or folder it opens at ("" for none).
// Only options that zenity accepts for its file selection.
std::vector<std::string> LIN_zenity_args(int kind, const std::string& title,
                                         const std::string& start);

// The environment for the dialog, from env (NAME=VALUE entries): as it is
// when the locale it names exists here and is UTF-8. Otherwise LC_ALL and
// LANG become C.UTF-8, since a toolkit in a locale it cannot load prints "?"
// for every character beyond ASCII of the names it gives back and refuses
// such characters in its arguments; LANGUAGE, when not set, then names the
// language of the locale asked for, so that the dialog keeps its
// translations. When C.UTF-8 is missing too, env as it is.
std::vector<std::string> LIN_dialog_environment(const std::vector<std::string>& env);

// Runs argv[0] (looked up on PATH) with argv, in the environment of
// LIN_dialog_environment, waits for it and returns its
// exit status with its standard output in *out and its error output in *err
// (the first 16 KiB); -1 when it could not be started (*start_errno then
// says why, ENOENT when it is not installed). While it runs, between (when
// given) is called every 50 ms or so; when it returns nonzero the child is
// ended and reaped, and the result is -2.
int LIN_run_capture(const std::vector<std::string>& argv, std::string* out, int* start_errno,
                    std::string* err = nullptr, int (*between)() = nullptr);

// Ends the child LIN_run_capture waits for, if one runs (the window it
// belongs to went).
void LIN_end_running_dialog();
