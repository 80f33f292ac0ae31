// Memory figures for the log: the memory report "MemoryLog.txt".
#pragma once

#include <cstdint>

unsigned int mem_to_number(uint64_t bytes);
char mem_to_suffix(uint64_t bytes);
const char* sm_string(int share_mode);
void dump_mem_stats(char* msg);
void DumpMemCmd();
