#include "UTL/memory.h"

#include "UTL/xer.h"

unsigned int mem_to_number(uint64_t b) { return static_cast<unsigned int>(b); }
char mem_to_suffix(uint64_t) { return 'B'; }
const char* sm_string(int) { return "Unknown"; }
void dump_mem_stats(char* msg) { xer << "OK check MemoryLog.txt! I just sent him a dump from " << msg << "\n"; }
void DumpMemCmd() {}
