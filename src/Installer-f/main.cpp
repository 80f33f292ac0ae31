// The installer's entry point.
#include "GenH/shell.h"

int main(int argc, char** argv) {
  MACIBM_init(argc, const_cast<const char* const*>(argv));
  MACIBM_finishup(1);
  return 0;
}
