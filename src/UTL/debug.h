// Diagnostics: the stack crawl of a fatal alert and symbol lookup.
#pragma once

#include <cstdio>

struct symbol_info {
  char image_path[1024];  // "" when unknown
  void* image_base;       // load address, null when unknown
  char symbol_name[1024];
  void* symbol_addr;
  char source_file[1024];
  int source_line;  // -1 when unknown
};

// The saved record at a frame pointer.
struct stack_frame {
  stack_frame* next;
  void* return_address;
};

// Makes writes to closed pipes and sockets fail instead of ending the program.
void UTL_debug_init();
// 1 when every byte of [p, p + len) is mapped with the asked permissions.
int UTL_valid_memory(void* p, unsigned len, int need_read, int need_write);
void UTL_get_debug_symbol(void* addr, symbol_info* info);
// One line naming addr: symbol + offset, (source:line), (image + offset).
void print_symbol(FILE* f, void* addr);
// At most 100 lines: pc first when given, then the return addresses from start
// (a frame-pointer chain) or, without start, from the caller of this function.
void UTL_dump_stack(FILE* f, stack_frame* start, void* pc);
void dump_hex(FILE* f, void* data, int n);
