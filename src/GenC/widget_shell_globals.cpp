// The shell's frame records and flags that the widgets read and write: the
// string record, the menu slots with the popup hand-over, and the per-frame
// key flags. They belong to the shell's frame loop; until that is in, they
// are defined here (drop this file once the frame loop defines them).
#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/stls.h"

stls_class stls;
std::vector<menu_struct> menu;
int popup_menu_select = 0, active_popup_code = 0, select_popup_code = 0;
int escape_hit = 0, delete_hit = 0;
