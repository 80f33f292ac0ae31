// The program's global objects, constructed before main in this order.
#include <cstring>

#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "OGL/colr.h"
#include "OGL/ren.h"
#include "OGL/xcam.h"
#include "OOPS_cpp/http.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

std::atomic<int> app_done{0};
int g_case_sensitive = 0;
int ogl_inited = 0;
int return_hit = 0;
float lookup_sin[361];
float lookup_cos[361];
float randrat[10000];

std::string stl_global;
std::string app_path;
std::string dvd_path;
std::ofstream ouf;
log_stream_class xer;
std::ofstream cyc;
std::ofstream dat;
stls_class stls;
std::vector<menu_struct> menu;

mnw_class::mnw_class() {
  memset(static_cast<void*>(this), 0, sizeof(*this));
  keylist_up = 1;
  window_type = -1;
  scale = scale2 = 1.0f;
}

mnw_class mnw;
ren_class ren;
stg_struct stg;  // zero-filled

// A plug-in record; nothing in this program fills it.
struct plg_class {
  int fields[64];
};
plg_class plg{};

xcam_class xcam;
xtim_class xtim;
http_class http;
colr_class colr;
