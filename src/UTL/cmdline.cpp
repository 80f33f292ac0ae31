#include "UTL/cmdline.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "UTL/cmnd.h"
#include "UTL/xer.h"

UTL_cmdline cmdline;

void UTL_cmdline::store(const std::string& key, const std::string& value) {
  if (table_.count(key))
    xer << "WARNING: command line option " << key << "=" << value << "used twice.\n";
  table_[key] = value;
  xer << "     '" << key;
  if (!value.empty()) xer << "'='" << value;
  xer << "'\n";
}

void UTL_cmdline::store(const std::string& item) {
  size_t eq = item.find('=');
  if (eq == std::string::npos)
    store(item, std::string());
  else
    store(item.substr(0, eq), item.substr(eq + 1));
}

void UTL_cmdline::init_unix(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) store(std::string(argv[i] ? argv[i] : ""));
  init_common();
}

void UTL_cmdline::init_win(const char* line) {
  const char* p = line;
  for (;;) {
    while (*p && isspace(static_cast<unsigned char>(*p))) ++p;
    if (!*p) break;
    const char* w = p;
    while (*p && !isspace(static_cast<unsigned char>(*p)) && *p != '=') ++p;
    std::string key(w, p);
    std::string value;
    if (*p == '=') {
      const char* v = ++p;
      while (*p && !isspace(static_cast<unsigned char>(*p))) ++p;
      value.assign(v, p);
    }
    if (!key.empty()) store(key, value);
  }
  init_common();
}

void UTL_cmdline::init_common() {
  if (has_option("--cmnds")) {
    std::string v = get_option("--cmnds");
    if (v == "all") {
      for (int i = 0; i < cmnd.count(); ++i)
        printf("%-50s %s\n", cmnd.path(i).c_str(), cmnd.description(i).c_str());
    } else {
      std::vector<std::string> names;
      cmnd.get_cmds_in_path(v, names);
      std::sort(names.begin(), names.end());
      for (const std::string& n : names) printf("%s\n", n.c_str());
    }
    fflush(stdout);
    xer.flush();
    exit(0);
  }
  if (has_option("--version")) {
    xer.flush();
    exit(0);
  }
  if (has_option("-h") || has_option("--help")) {
    printf("%s\n", UTL_usage_text);
    fflush(stdout);
    xer.flush();
    exit(0);
  }
}

int UTL_cmdline::has_option(const char* key) const { return table_.count(key) ? 1 : 0; }

std::string UTL_cmdline::get_option(const char* key) const {
  auto it = table_.find(key);
  return it == table_.end() ? std::string() : it->second;
}

const char* const UTL_usage_text =
    "Usage: Flyvane [options...]\n"
    "\n"
    "Every option takes the form --flag or --flag=value. Options that are not\n"
    "understood are ignored. The OpenGL options below apply to all of the Flyvane\n"
    "applications; the frame-rate test applies to the simulator only.\n"
    "\n"
    "--help\n"
    "-h\n"
    "    Print this message and quit.\n"
    "\n"
    "--no_sound\n"
    "    Run without initialising sound. Use this when the sound hardware or its\n"
    "    driver keeps the program from starting.\n"
    "\n"
    "--missing_strings\n"
    "    Write to the log file every string that has no translation in the current\n"
    "    language. This helps translators find the texts they still have to do.\n"
    "\n"
    "--lang=<lang code>\n"
    "    Run in the given language if no language preference has been saved yet.\n"
    "    This bypasses the detection of the system language; once a language is\n"
    "    saved in the preferences, the saved one is used.\n"
    "\n"
    "OPTIONS TO DISABLE HARDWARE ACCELERATION\n"
    "\n"
    "These options turn off features of your graphics card and its driver. Use\n"
    "them to work around driver problems such as crashes, missing pictures or\n"
    "drawing errors. Each one may cost some frame rate or image quality, so only\n"
    "use the ones that cure a problem you actually see.\n"
    "\n"
    "--no_vbos\n"
    "    Do not use vertex buffer objects (GL_ARB_vertex_buffer_object); geometry\n"
    "    is sent to the card from main memory instead.\n"
    "\n"
    "--no_fbos\n"
    "    Do not use framebuffer objects; drawing into textures goes through the\n"
    "    window's back buffer instead.\n"
    "\n"
    "--no_pbos\n"
    "    Do not use pixel buffer objects (GL_ARB_pixel_buffer_object), which move\n"
    "    pixel data between main memory and the card.\n"
    "\n"
    "--no_sprites\n"
    "    Do not use point sprites (GL_ARB_point_sprite), the textured points that\n"
    "    the card draws by itself.\n"
    "\n"
    "--no_pixel_counters\n"
    "    Do not use occlusion queries (GL_ARB_occlusion_query), the counters of\n"
    "    visible pixels.\n"
    "\n"
    "--no_aniso_filtering\n"
    "    Do not use anisotropic filtering (GL_EXT_texture_filter_anisotropic).\n"
    "    Textures seen at a shallow angle look blurrier without it.\n"
    "\n"
    "--no_hw_mipmap\n"
    "    Build the smaller versions of textures (mipmaps) on the processor instead\n"
    "    of letting the card build them with GL_SGIS_generate_mipmap.\n"
    "\n"
    "--no_fshaders\n"
    "    Do not use fragment shaders, the card's per-pixel programs.\n"
    "\n"
    "--no_vshaders\n"
    "    Do not use vertex shaders, the card's per-vertex programs.\n"
    "\n"
    "--no_glsl\n"
    "    Do not use GLSL, the OpenGL shading language. This also turns off the\n"
    "    shaders written in it.\n"
    "\n"
    "--no_threaded_ogl\n"
    "    Do not use OpenGL from several threads, even where the driver offers it.\n"
    "\n"
    "OPTIONS TO ENABLE INCOMPATIBLE HARDWARE ACCELERATION\n"
    "\n"
    "These options turn on features that are normally avoided on some cards and\n"
    "drivers because they are known to be slow or broken there. Newer drivers may\n"
    "have fixed those problems. Use them at your own risk: if the program crashes\n"
    "or draws wrongly with one of them, leave it out.\n"
    "\n"
    "--use_vbos\n"
    "    Force vertex buffer objects on drivers where they are normally avoided.\n"
    "\n"
    "--use_sprites\n"
    "    Force point sprites on drivers where they are normally avoided.\n"
    "\n"
    "--use_fshaders\n"
    "    Force fragment shaders on cards where they are normally avoided.\n"
    "\n"
    "--use_vshaders\n"
    "    Force vertex shaders on cards where they are normally avoided.\n"
    "\n"
    "--use_glsl\n"
    "    Force GLSL on cards where it is normally avoided because of known driver\n"
    "    problems.\n"
    "\n"
    "--force_run\n"
    "    Run even on hardware below the minimum requirements, for example a card\n"
    "    with fewer than two texture units. Expect missing pictures or crashes.\n"
    "\n"
    "FRAMERATE TEST\n"
    "\n"
    "The frame-rate test measures how fast the simulator draws under fixed\n"
    "conditions. No alert is ever shown during the test: messages go to the log\n"
    "file instead, so a test can run unattended.\n"
    "\n"
    "--fps_test=n\n"
    "    Run the simulator's frame-rate test. n is a three-digit test number: the\n"
    "    first digit picks the camera angle, the second the complexity of the\n"
    "    scenery and the third the weather. The test runs for 90 seconds, then\n"
    "    the program writes three frame rates to the log file and quits.\n"
    "\n"
    "--require_fps=n\n"
    "    Use after --fps_test for a pass-fail test: one 30-second test runs with\n"
    "    the flight model paused, and the program exits with status 0 when the\n"
    "    measured frame rate is above n, else with status 1. Scripts can use this\n"
    "    to check that a machine is fast enough.";
