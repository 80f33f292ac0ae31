#include "UTL/debug.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <signal.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Linux/lin_mem.h"

#ifdef FLY_HAVE_LIBBACKTRACE
#include <backtrace.h>
#endif

void UTL_debug_init() { signal(SIGPIPE, SIG_IGN); }

int UTL_valid_memory(void* p, unsigned len, int need_read, int need_write) {
  return LIN_range_mapped(p, len, need_read, need_write);
}

namespace {

void copy_text(char* dst, size_t size, const char* src) {
  if (!src) return;
  snprintf(dst, size, "%s", src);
}

// Symbols are kept readable: a C++ name is demangled when it can be.
void copy_symbol(char* dst, size_t size, const char* name) {
  if (!name || !*name) return;
  int status = -1;
  char* d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  copy_text(dst, size, status == 0 && d ? d : name);
  free(d);
}

const char* last_component(const char* path) {
  const char* r = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') r = p + 1;
  return r;
}

#ifdef FLY_HAVE_LIBBACKTRACE
// The DWARF reader of the toolchain. Its state is made once and never freed;
// its memory comes from mmap, and it reads only this process's own files, so
// a lookup ends in bounded time even on a failing thread.
void ignore_error(void*, const char*, int) {}

backtrace_state* dwarf_state() {
  static backtrace_state* st = backtrace_create_state(nullptr, 1, ignore_error, nullptr);
  return st;
}

int on_line(void* data, uintptr_t, const char* file, int line, const char*) {
  if (!file || !*file) return 0;  // try the next (outer) entry
  auto* info = static_cast<symbol_info*>(data);
  copy_text(info->source_file, sizeof(info->source_file), file);
  info->source_line = line;
  return 1;
}

void on_symbol(void* data, uintptr_t, const char* name, uintptr_t value, uintptr_t) {
  auto* info = static_cast<symbol_info*>(data);
  if (!name || !value) return;
  copy_symbol(info->symbol_name, sizeof(info->symbol_name), name);
  info->symbol_addr = reinterpret_cast<void*>(value);
}
#endif

long offset(const void* a, const void* base) {
  return static_cast<long>(reinterpret_cast<uintptr_t>(a) - reinterpret_cast<uintptr_t>(base));
}

unsigned long as_hex(const void* p) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace

void UTL_get_debug_symbol(void* addr, symbol_info* info) {
  info->image_path[0] = 0;
  info->image_base = nullptr;
  info->symbol_name[0] = 0;
  info->symbol_addr = nullptr;
  info->source_file[0] = 0;
  info->source_line = -1;

  Dl_info dl;
  if (dladdr(addr, &dl)) {
    copy_text(info->image_path, sizeof(info->image_path), dl.dli_fname);
    info->image_base = dl.dli_fbase;
    if (dl.dli_sname && dl.dli_saddr) {
      copy_symbol(info->symbol_name, sizeof(info->symbol_name), dl.dli_sname);
      info->symbol_addr = dl.dli_saddr;
    }
  }
#ifdef FLY_HAVE_LIBBACKTRACE
  if (backtrace_state* st = dwarf_state()) {
    // The loader knows only exported names; the image's own symbol table
    // names the rest.
    if (!info->symbol_name[0])
      backtrace_syminfo(st, reinterpret_cast<uintptr_t>(addr), on_symbol, ignore_error, info);
    backtrace_pcinfo(st, reinterpret_cast<uintptr_t>(addr), on_line, ignore_error, info);
  }
#endif
}

void print_symbol(FILE* f, void* addr) {
  symbol_info s;
  UTL_get_debug_symbol(addr, &s);
  if (s.symbol_name[0] && s.symbol_addr)
    fprintf(f, "%s + %ld", s.symbol_name, offset(addr, s.symbol_addr));
  else if (s.symbol_addr)
    fprintf(f, "0x%08lx + %ld", as_hex(s.symbol_addr), offset(addr, s.symbol_addr));
  else
    fprintf(f, "0x%08lx", as_hex(addr));
  if (s.source_file[0]) fprintf(f, " (%s:%d)", last_component(s.source_file), s.source_line);
  if (s.image_path[0] && s.image_base)
    fprintf(f, " (%s + %ld)\n", last_component(s.image_path), offset(addr, s.image_base));
  else if (s.image_base)
    fprintf(f, " (0x%08lx + %ld)\n", as_hex(s.image_base), offset(addr, s.image_base));
  else
    fprintf(f, " (?\?\?)\n");  // escaped: no trigraph
}

// Not inlined: the first frame skipped below must be this function's own.
__attribute__((noinline)) void UTL_dump_stack(FILE* f, stack_frame* start, void* pc) {
  const int max_lines = 100;
  int k = 0;
  if (pc) {
    fprintf(f, " % 2d) ", k);
    print_symbol(f, pc);
    k = 1;
  }
  if (!start) {
    // The libraries keep no frame pointers, so the unwinder walks for us. The
    // walk starts at our caller's return address; frames above it belong to
    // this function and whatever stands between it and the unwinder (a
    // sanitizer's interceptor).
    const int extra = 8;
    void* frames[max_lines + extra];
    const int n = backtrace(frames, max_lines + extra);
    void* const caller = __builtin_return_address(0);
    int first = 1;
    for (int i = 0; i < n && i <= extra; ++i) {
      if (frames[i] == caller) {
        first = i;
        break;
      }
    }
    for (int i = first; i < n && k < max_lines; ++i, ++k) {
      fprintf(f, " % 2d) ", k);
      print_symbol(f, frames[i]);
    }
    return;
  }
  for (stack_frame* fr = start; fr;) {
    if (!UTL_valid_memory(fr, sizeof(stack_frame), 1, 1)) break;
    if (k >= max_lines) break;
    // Frames lie at ever higher addresses; anything else is a broken chain.
    if (reinterpret_cast<uintptr_t>(fr->next) <= reinterpret_cast<uintptr_t>(fr)) break;
    fprintf(f, " % 2d) ", k);
    print_symbol(f, fr->return_address);
    ++k;
    fr = fr->next;
  }
}

void dump_hex(FILE* f, void* data, int n) {
  const unsigned char* b = static_cast<const unsigned char*>(data);
  for (int off = 0; off < n; off += 16) {
    fputc(' ', f);
    for (int i = 0; i < 16; ++i) {
      if (i && i % 4 == 0) fputc(' ', f);
      if (off + i < n)
        fprintf(f, "%02X", b[off + i]);
      else
        fputs("  ", f);
    }
    fputs("     ", f);
    for (int i = 0; i < 16 && off + i < n; ++i) {
      if (i && i % 4 == 0) fputc(' ', f);
      const unsigned char c = b[off + i];
      fputc(c >= 0x20 && c < 0x7f ? c : '.', f);
    }
    fputc('\n', f);
  }
}
