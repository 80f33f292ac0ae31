// The release builder: turns the master folder (one sub-folder per platform)
// into the release tree the installer reads: one archive per file, the zipped
// directory file and "dvd_version.txt" (on every disc of a disc release).
// Web releases carry every file's history from the previous directory file
// and "GONE" rows for files that left the master. Called on the main thread;
// the archives are packed on a worker pool of its own and committed in scan
// order.
#pragma once

#include <csignal>
#include <string>

// Build settings, fixed when the program is built; the make_release tool
// sets them from its arguments before it calls build_install.
extern int build_type;             // 0 web, 1 disc, 2 first add-on, 3 second add-on
extern std::string src_fold;       // the master folder, ending in "/"
extern std::string dst_fold_base;  // the output base folder, ending in "/"
extern std::string old_dir_path;   // the previous directory file (web releases)
extern std::string sim_name;       // the release name; "-" until set
extern std::string dst_folder;     // dst_fold_base, plus "disk_N/" for non-web builds
extern double dvd_split_kb;        // archives per disc, KB of 1000 bytes
// The release number of the build (92102 unless set): written into its own
// rows and its "GONE" rows; no row of the previous directory may carry it.
extern int build_release_number;
// Threads that pack the archives: 0 one per processor, 1 the calling thread
// only. Whatever the count, the release tree is the same byte for byte.
extern int build_threads;
// Set when the scan meets the application of each platform tree:
// "Macintosh/Flyvane.app/", "Windows/Flyvane.exe", "Linux/Flyvane-i686".
extern int found_apl_app, found_ibm_app, found_lin_app;

// The whole build, then the closing checklist (a non-fatal alert). Names the
// release "Flyvane 9.21rc2" unless sim_name was set. Every failure is fatal.
void build_install();
void sub_install();
void set_dest_dvd(int n);
// The recursive scan of one folder of the master tree (ending in "/").
void pref_level(const std::string& dir);
// Archives one file (a full path under src_fold) and writes its lines. The
// archive is the one the installer's road asks for: a disc release's
// "Global Scenery" files are the pre-packed 7z beside them (a fatal alert
// names a file without one), every other file is zipped.
void comp_file(std::string path);
// 1 keep, 0 leave out. check_map (with flag 0) also leaves out a file that
// is no link and cannot be read.
int is_good_file(std::string path, int flag, int check_map);
// Replaces the platform folder of a relative path by the platform's tag:
// "Macintosh/a" with platform 1 gives "APL_os/a".
void chop_platform(std::string& path, int platform);

// Draws the progress line (fraction of the files archived, -1 while
// scanning) and polls the keyboard: non-zero when Q was pressed, which ends
// the build. The shell installs its window's version; without a window it
// is build_progress_headless.
using build_progress_fn = int (*)(const std::string& line, float fraction);
extern build_progress_fn build_progress;
// The line on standard output (redrawn in place on a terminal, a few times
// a second); answers build_quit_requested, which Ctrl-C sets in the tool.
int build_progress_headless(const std::string& line, float fraction);
extern volatile std::sig_atomic_t build_quit_requested;
