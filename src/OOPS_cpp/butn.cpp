#include "GenH/butn.h"

// Nothing can hold the focus yet: the focus ring comes with the widget toolkit.
void BTN_unfocus_any() {}
