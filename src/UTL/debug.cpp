#include "UTL/debug.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <signal.h>

#include <cstring>

void UTL_debug_init() { signal(SIGPIPE, SIG_IGN); }

int UTL_valid_memory(void*, unsigned len, int, int) { return len == 0 ? 1 : 0; }

void UTL_get_debug_symbol(void* addr, symbol_info* info) {
  memset(info, 0, sizeof(*info));
  info->source_line = -1;
  Dl_info dl;
  if (dladdr(addr, &dl)) {
    if (dl.dli_fname) snprintf(info->image_path, sizeof(info->image_path), "%s", dl.dli_fname);
    info->image_base = dl.dli_fbase;
    if (dl.dli_sname) snprintf(info->symbol_name, sizeof(info->symbol_name), "%s", dl.dli_sname);
    info->symbol_addr = dl.dli_saddr;
  }
}

void print_symbol(FILE* f, void* addr) {
  symbol_info s;
  UTL_get_debug_symbol(addr, &s);
  fprintf(f, "%p\n", addr);
}

void UTL_dump_stack(FILE* f, stack_frame*, void* pc) {
  void* frames[100];
  int n = backtrace(frames, 100);
  int k = 0;
  if (pc) fprintf(f, " % 2d) ", k++), print_symbol(f, pc);
  for (int i = 1; i < n && k < 100; ++i) fprintf(f, " % 2d) ", k++), print_symbol(f, frames[i]);
}

void dump_hex(FILE*, void*, int) {}
