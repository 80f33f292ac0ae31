// Diagnostics: the stack crawl of a fatal alert and symbol lookup.
#pragma once

#include <cstdio>

struct symbol_info {
  char image_path[1024];
  void* image_base;
  char symbol_name[1024];
  void* symbol_addr;
  char source_file[1024];
  int source_line;
};

// The saved record at a frame pointer.
struct stack_frame {
  stack_frame* next;
  void* return_address;
};

void UTL_debug_init();
int UTL_valid_memory(void* p, unsigned len, int need_read, int need_write);
void UTL_get_debug_symbol(void* addr, symbol_info* info);
void print_symbol(FILE* f, void* addr);
void UTL_dump_stack(FILE* f, stack_frame* start, void* pc);
void dump_hex(FILE* f, void* data, int n);
