// Global objects of the shell, constructed before main.
#include <cstring>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "Installer-f/stg.h"
#include "OGL/colr.h"
#include "OGL/ren.h"
#include "OOPS_cpp/http.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

std::atomic<int> app_done{0};
std::string app_path;
int g_case_sensitive = 0;
int ogl_inited = 0;
int return_hit = 0;
float lookup_sin[361];
float lookup_cos[361];
float randrat[10000];

std::ofstream ouf;
log_stream_class xer;

mnw_class::mnw_class() {
  memset(static_cast<void*>(this), 0, sizeof(*this));
  keylist_up = 1;
  window_type = -1;
  scale = scale2 = 1.0f;
}

mnw_class mnw;
stg_struct stg;  // zero-filled

xtim_class xtim;
http_class http;
colr_class colr;
ren_class ren;
