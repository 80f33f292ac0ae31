// The global allocation operators (thin ones over malloc and free) and the
// memory report "MemoryLog.txt".
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

class UTL_remote_cmd;

// Allocation forms that name the calling source line; the location is not
// kept. A block from any form of new is a plain malloc block.
void* operator new(std::size_t size, const char* file, int line);
void* operator new[](std::size_t size, const char* file, int line);
void* operator new(std::size_t size, const std::nothrow_t&, const char* file, int line) noexcept;
void* operator new[](std::size_t size, const std::nothrow_t&, const char* file, int line) noexcept;
// Called only when a constructor throws inside one of the forms above.
void operator delete(void* p, const char* file, int line) noexcept;
void operator delete[](void* p, const char* file, int line) noexcept;
void operator delete(void* p, const std::nothrow_t&, const char* file, int line) noexcept;
void operator delete[](void* p, const std::nothrow_t&, const char* file, int line) noexcept;

// A byte count as the report prints it ("%5u%c"): the figure and its unit
// letter B, K, M or G.
unsigned int mem_to_number(uint64_t bytes);
char mem_to_suffix(uint64_t bytes);
// Name of a share mode of the address map (only the low byte counts).
const char* sm_string(int share_mode);

// Writes one report to app_path + "MemoryLog.txt" (replaced by the first
// report of the run, appended to by later ones; standard output when it can't
// be opened). msg says who asked.
void dump_mem_stats(char* msg);
// The remote command "Dump Memory Info".
void DumpMemCmd();
extern UTL_remote_cmd dump_mem_now;

// operator new calls made so far by the calling thread (a frame must make none).
uint64_t UTL_operator_new_calls();

// Tests: the next report starts the file afresh, as the first of a run does.
void UTL_reset_mem_report();
