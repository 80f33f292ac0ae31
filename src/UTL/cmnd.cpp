#include "UTL/cmnd.h"

#include <cctype>
#include <sstream>

#include "GenH/shell.h"
#include "UTL/xtim.h"

namespace {
struct default_command {
  const char* kind;
  const char* path;
  const char* description;
  int type;
  int key;
  int flags;
};
const default_command default_commands[] = {
    {"cmnd_nothing", "sim/none/none", "Do nothing at all!", 3, 0, 0},
    {"cmnd_quit", "sim/operation/quit", "Quit the simulation.", 2, 0, 0},
};

int plane_focus = 0;

std::string lower(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return r;
}

bool starts_with(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace

cmnd_class cmnd;
float cmnd_duration = 0.0f;

int get_plane_focus() { return plane_focus; }
void set_plane_focus(int focus) { plane_focus = focus; }

cmnd_class::cmnd_class() {
  for (const default_command& d : default_commands) {
    kind_names.push_back(d.kind);
    paths.push_back(d.path);
    descriptions.push_back(d.description);
    types.push_back(d.type);
    press_counts.push_back(0);
  }
}

int cmnd_class::add_cmd(const std::string& path, const std::string& description) {
  int id = count();
  kind_names.push_back("DYNAMIC");
  paths.push_back(path);
  descriptions.push_back(description);
  types.push_back(2);
  press_counts.push_back(0);
  return id;
}

int cmnd_class::get_cmnd_by_name(const std::string& path) const {
  auto a = aliases.find(path);
  if (a != aliases.end()) return a->second;
  for (int i = 0; i < count(); ++i)
    if (paths[static_cast<size_t>(i)] == path) return i;
  return 0;
}

void cmnd_class::alias_cmd(const std::string& name, int id) { aliases[name] = id; }

void cmnd_class::press_one(int id) {
  if (id < 0 || id >= count()) return;
  ++press_counts[static_cast<size_t>(id)];
  if (id == 1) app_done = 1;
}

void cmnd_class::release_one(int id) {
  cmnd_duration = 0.0f;
  if (id < 0 || id >= count()) return;
  int& c = press_counts[static_cast<size_t>(id)];
  if (c > 0) --c;
}

void cmnd_class::press_always(int) { cmnd_duration += xtim.frame_period; }

void cmnd_class::single_press(int id) {
  press_one(id);
  release_one(id);
}

void cmnd_class::get_cmds_in_path(const std::string& prefix, std::vector<std::string>& out) const {
  out.clear();
  for (const std::string& p : paths) {
    if (p.size() <= prefix.size() || !starts_with(p, prefix)) continue;
    std::string rest = p.substr(prefix.size());
    size_t slash = rest.find('/');
    std::string piece = (slash == std::string::npos) ? rest : rest.substr(0, slash + 1);
    bool seen = false;
    for (const std::string& o : out) seen = seen || (o == piece);
    if (!seen) out.push_back(piece);
  }
}

void cmnd_class::get_cmnds_by_filter(const std::string& filter,
                                     std::vector<std::string>& out) const {
  out.clear();
  std::vector<std::string> words;
  std::istringstream in(filter);
  for (std::string w; in >> w;) words.push_back(lower(w));
  for (const std::string& p : paths) {
    const std::string lp = lower(p);
    bool all = true;
    for (const std::string& w : words) all = all && lp.find(w) != std::string::npos;
    if (all) out.push_back(p);
  }
}

int cmnd_class::tab_complete_cmnd(std::string& text) const {
  int first = -1;
  for (int i = 0; i < count() && first < 0; ++i)
    if (starts_with(paths[static_cast<size_t>(i)], text)) first = i;
  if (first < 0) return 0;
  std::string cand = paths[static_cast<size_t>(first)];
  for (int i = first + 1; i < count(); ++i) {
    const std::string& p = paths[static_cast<size_t>(i)];
    if (!starts_with(p, text)) continue;
    size_t n = 0;
    while (n < cand.size() && n < p.size() && cand[n] == p[n]) ++n;
    cand.resize(n);
  }
  text = cand;
  return 1;
}

// Remote commands.
UTL_remote_cmd* UTL_remote_cmd::cmd_list = nullptr;
int UTL_remote_cmd::free_id = 1;
int UTL_remote_cmd::inited = 0;

UTL_remote_cmd::UTL_remote_cmd(const char* n, fn_t f) : next(cmd_list), fn(f), name(n), id(free_id++) {
  cmd_list = this;
}

void UTL_remote_cmd::invoke(void*, int cmd_id) {
  for (UTL_remote_cmd* c = cmd_list; c; c = c->next) {
    if (c->id == cmd_id) {
      if (c->fn) c->fn();
      return;
    }
  }
}

void UTL_remote_cmd::init_remote_cmds() {
  inited = 1;
  for (UTL_remote_cmd* c = cmd_list; c; c = c->next) c->publish();
}

// Named statistics. The registry is a function-local static because
// statistics of other units may be built before this unit's globals.
namespace {
std::map<UTL_stat_type, std::set<UTL_stat*>>& all_stats() {
  static std::map<UTL_stat_type, std::set<UTL_stat*>> m;
  return m;
}
UTL_stat* waiting = nullptr;
int stat_initialized = 0;
}  // namespace

UTL_stat::UTL_stat(float* t, const char* n, UTL_stat_type k)
    : value(0.0f), type(k), next(nullptr), target(t), name(n) {
  enroll();
}

UTL_stat::UTL_stat(const char* n, UTL_stat_type k, float initial)
    : value(initial), type(k), next(nullptr), target(&value), name(n) {
  enroll();
}

void UTL_stat::enroll() {
  if (stat_initialized) {
    publish();
  } else {
    next = waiting;
    waiting = this;
  }
}

void UTL_stat::publish() { all_stats()[type].insert(this); }

void UTL_stat::init_stats() {
  while (waiting) {
    UTL_stat* s = waiting;
    waiting = s->next;
    s->next = nullptr;
    s->publish();
  }
  stat_initialized = 1;
}

void UTL_stat::reset_stats(UTL_stat_type k) {
  for (UTL_stat* s : all_stats()[k])
    if (s->target) *s->target = 0.0f;
}

const std::set<UTL_stat*>& UTL_stat::registered(UTL_stat_type k) { return all_stats()[k]; }
UTL_stat* UTL_stat::waiting_list() { return waiting; }
