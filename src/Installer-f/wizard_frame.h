// The wizard's frame and the application hooks the shell calls: APP_update
// draws the frame and the current screen (g_wizard) every frame and is the
// only code that changes g_wizard.
#pragma once

#include <string>

#include "Installer-f/wizard_screen.h"

void APP_update();
void APP_handlemenu(int command);  // the installer has no menu commands
void function_key(int key);

// Draws button image 0..6 of the language's button texture (slot 413) with
// its bottom edge at y: align 1 left edge at x, 0 centred, -1 right edge at
// x. *width_out (when given) gets the full width. Returns 1 for a mouse-down
// inside the image, whether or not the button is enabled: callers guard
// disabled buttons themselves.
int interface_rect(float x, float y, int image, int align, int* width_out, int enabled,
                   int style);

// The screen that ends the program; as a next_screen it turns the right-hand
// button into the quit button.
int wizard_quit(int first_frame, wizard_screen& screen);

// The bar width (units) of a progress value: 4 % at 0, clamped to the trough.
void wizard_progress_bar(float progress, float& bar_width);
// Forgets the last screen, so that the next frame is a first frame (tests).
void wizard_reset_frame();

// A close of the window (or SIGTERM) does what the Quit button does: the
// request ends the frame loop, and wizard_finish_close, called once the loop
// has ended, runs the on_cancel of the screen last drawn.
void wizard_close_request();
void wizard_finish_close();

// The screen's function name ("dvd_start"), "" for one the table lacks.
std::string wizard_screen_name(wizard_screen_fn fn);
// The trace of the frame: a block of lines whenever the screen, its title and
// text or the clickable items change (see tests/support/e2e.h).
void wizard_trace(wizard_screen_fn shown, const wizard_screen& screen);
