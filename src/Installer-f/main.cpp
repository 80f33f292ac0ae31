// The installer's entry point.
#include "GenH/shell.h"
#include "OOPS_cpp/pref.h"

int main(int argc, char** argv) {
  MACIBM_init(argc, const_cast<const char* const*>(argv));
  pref.IO_set(11, 0);  // read before the close-down writes them back
  MACIBM_finishup(1);
  return 0;
}
