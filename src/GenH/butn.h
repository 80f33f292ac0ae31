// The widget toolkit's entry points used outside the widgets.
#pragma once

// Takes the keyboard focus from every widget; the clock calls it on every new
// mouse press.
void BTN_unfocus_any();
