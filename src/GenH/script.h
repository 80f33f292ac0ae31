// End-to-end hooks of the frame, both off unless their variable is set:
//  FLY_TRACE   (see window.h): besides the window lines, a block whenever the
//              application's screen, its texts or the clickable items change:
//                screen <name> title="<title>"
//                text "<text>"                       (one per text)
//                item key="<key>" shown="<shown>" rect=x,y,w,h enabled=0|1 checked=0|1 window=n
//                end
//              Rectangles are window pixels from the top-left corner (xdotool's),
//              texts have "\n", "\"" and "\\" escaped.
//  FLY_SCRIPT  a file of commands, one run per frame once it can run:
//                click <key or shown text>   waits (10 s) for an enabled item, then a
//                                            real down/up at its centre
//                type <text>                 typed text
//                key <name>                  Return, Tab, Escape, Backspace, Delete,
//                                            Space, Left, Right, Up, Down, Home, End
//                wait <screen, text or item> [seconds]   (default 30)
//                screenshot <file.png>       the back buffer before the swap
//                insert <disc folder>        a link to it in FLY_MOUNTED_VOLUMES
//                eject                       empties FLY_MOUNTED_VOLUMES
//                sleep <seconds>
//                quit                        the window's close button
//              "#" lines and blank lines are skipped. A command that cannot run
//              in time logs "SCRIPT FAILED: ..." and ends the program with status 3.
#pragma once

#include <string>
#include <vector>

// The application's screen this frame: a name and its texts (title first).
void MACIBM_screen_state(const std::string& name, const std::vector<std::string>& texts);
// Called by the frame before the swap.
void MACIBM_trace_items();
void MACIBM_script_frame();
// Whether FLY_SCRIPT names a script.
int MACIBM_script_on();
// Whether that script still has commands to run.
int MACIBM_script_running();

// Parsing, for tests: a script line split into command and argument; 0 for a
// line to skip.
int MACIBM_script_parse(const std::string& line, std::string& command, std::string& argument);
// The SDL key code of a key name, 0 for an unknown one.
int MACIBM_script_key_code(const std::string& name);
// The trace form of a text: quotes, backslashes and line ends escaped.
std::string MACIBM_trace_quote(const std::string& text);
