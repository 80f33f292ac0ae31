// The scenery packages and their library files: the package list in priority
// order, the library map of virtual paths to real files (optionally limited to
// regions of the globe), the lookups through it, and the folder searches used
// without it. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class xmap_class;

extern const std::string cus_path;     // "Custom Scenery/"
extern const std::string glb_path;     // "Global Scenery/"
extern const std::string def_path;     // "Resources/default scenery/"
extern const std::string def_ovr_str;  // "-global overlays-"
extern const std::string def_ter_str;  // "-global terrain-"
extern const std::string obj_path;     // "Resources/objects/"

// One row per package, the same index in all three, index 0 first.
extern std::vector<std::string> scenery_packages;  // app-relative, ending in "/"
extern std::vector<int> package_problems;          // 1 once an error was shown
extern std::vector<int> package_is_custom;

enum {
  lib_weight_mask = 0xFFFFFF,
  lib_last = 0x1000000,         // a search stops after this entry
  lib_package_end = 0x2000000,  // ... or when the next one is another package's
  lib_backup = 0x4000000,       // stands behind every other entry
};

// One cell per whole degree: byte (lon + 180) * 180 + (lat + 90).
struct lib_region {
  std::string name;
  unsigned char grid[64800];
};

struct lib_entry {
  lib_entry* next;
  lib_region* region;  // null: everywhere
  int package;         // index in scenery_packages
  uint32_t flags;      // weight in bits 0..23, then the lib_ flags
  std::string path;    // relative to the package folder
};

extern std::map<std::string, lib_entry*> dsf_library;
// The regions of the library file being read.
extern std::map<std::string, lib_region*> dsf_regions;

// Rebuilds the package list and the library map from the scenery folders;
// problems are logged and shown once per package.
void DSF_ScanSceneryFolder();
// Links a filled entry into the list of its virtual path: after the other
// entries, in front of the backups. The library takes the entry (allocated
// with new) and frees it at the next scan.
void DSF_RegisterEntry(const std::string& virtual_path, lib_entry* entry);

// Reads the library commands from the reader's cursor to its end for the
// package; the scan's inner loop, open for the tests and the fuzz driver.
void DSF_ReadLibraryCommands(xmap_class& x, int package);
// Forgets the library map and frees every entry and region of the last scan.
void DSF_ClearLibrary();

// REGION_BITMAP's image loader: an 8-bit alpha image (GL format 6406, no row
// padding), rows bottom-up, the pixels malloc'd for the caller to free; 0
// when nothing loads. Set by the texture layer once it exists; while it is
// null every bitmap fails to load.
using dsf_bitmap_loader_fn = int (*)(const std::string& path, unsigned char*& pixels, int& width,
                                     int& height);
extern dsf_bitmap_loader_fn DSF_bitmap_loader;

// Log the problem with the scenery file and alert the user (once per package
// for the non-fatal one; the fatal one ends the program).
void __DSF_NonFatalError(const char* src_file, int src_line, const char* scenery_file,
                         const char* format, ...) __attribute__((format(printf, 4, 5)));
void __DSF_FatalError(const char* src_file, int src_line, const char* scenery_file,
                      const char* format, ...) __attribute__((format(printf, 4, 5)));

// Library lookups. A single lookup picks one candidate at random by weight
// (seed chooses the draw) and sets path (in: the virtual path) to the real
// file; false leaves it unchanged. A multiple lookup lists every candidate as
// often as its weight (at most 1024 times).
bool DSF_LookupLibraryResource(int lon, int lat, std::string& path, int seed);
bool DSF_LookupLibraryResourceAnywhere(std::string& path, int seed);
bool DSF_LookupLibraryResourceMultiple(int lon, int lat, const std::string& path,
                                       std::vector<std::string>& out);
bool DSF_LookupLibraryResourceAnywhereMultiple(const std::string& path,
                                               std::vector<std::string>& out);

// Resource kinds of the folder searches.
enum {
  dsf_res_plain = 0,
  dsf_res_texture = 1,  // also looked for as .dds, .png and .bmp
  dsf_res_terrain = 2,
  dsf_res_object_first = 3,
  dsf_res_object_last = 7,
};

// The first existing file of the fixed folder search for name under base
// (a folder ending in "/"), or ""; with log_failure every candidate tried is
// logged when none exists.
void DSF_LocateResourceNoLib(int kind, const std::string& name, const std::string& base,
                             bool log_failure, std::string& out);
void DSF_LocateResourcePrimary(int lon, int lat, int kind, const std::string& name,
                               const std::string& base, bool log_failure, std::string& out,
                               int seed);
void DSF_LocateResourcePrimaryMultiple(int lon, int lat, int kind, const std::string& name,
                                       const std::string& base, bool log_failure,
                                       std::vector<std::string>& out);
// The package folder that path lies in ("Custom Scenery/X/" ...), or "".
std::string extract_package(const std::string& path);
// The search relative to the folder parent of a referring file.
void DSF_LocateResourceSecondary(int kind, int parent_kind, const std::string& parent,
                                 const std::string& name, bool log_failure, std::string& out);
void DSF_LocateResourceSecondaryMultipleWithLibrary(int lon, int lat, int kind, int parent_kind,
                                                    const std::string& parent,
                                                    const std::string& name, bool log_failure,
                                                    std::vector<std::string>& out);
