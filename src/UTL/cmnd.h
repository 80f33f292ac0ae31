// The command registry, remote commands, named statistics and the profiler
// entry points.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

class cmnd_class {
 public:
  cmnd_class();

  int add_cmd(const std::string& path, const std::string& description);
  int get_cmnd_by_name(const std::string& path) const;
  void alias_cmd(const std::string& name, int id);
  void press_one(int id);
  void release_one(int id);
  void press_always(int id);
  void single_press(int id);
  void get_cmds_in_path(const std::string& prefix, std::vector<std::string>& out) const;
  void get_cmnds_by_filter(const std::string& filter, std::vector<std::string>& out) const;
  int tab_complete_cmnd(std::string& text) const;

  int count() const { return static_cast<int>(paths.size()); }
  const std::string& path(int id) const { return paths[static_cast<size_t>(id)]; }
  const std::string& description(int id) const { return descriptions[static_cast<size_t>(id)]; }
  int press_count(int id) const { return press_counts[static_cast<size_t>(id)]; }

  std::vector<std::string> kind_names;
  std::vector<std::string> paths;
  std::vector<std::string> descriptions;
  std::vector<int> types;
  std::vector<int> press_counts;
  std::map<std::string, int> aliases;
};

extern cmnd_class cmnd;
extern float cmnd_duration;  // seconds the current command has been held
int get_plane_focus();
void set_plane_focus(int focus);

class UTL_remote_cmd {
 public:
  using fn_t = void (*)();
  UTL_remote_cmd(const char* name, fn_t fn);
  ~UTL_remote_cmd() {}
  static void invoke(void* data, int id);
  static void init_remote_cmds();
  void publish() {}

  UTL_remote_cmd* next;
  fn_t fn;
  const char* name;
  int id;

  static UTL_remote_cmd* cmd_list;
  static int free_id;
  static int inited;
};

enum UTL_stat_type { stat_memory = 0, stat_frame = 2, stat_tuning = 4 };

class UTL_stat {
 public:
  UTL_stat(float* target, const char* name, UTL_stat_type type);
  UTL_stat(const char* name, UTL_stat_type type, float initial);
  ~UTL_stat() {}
  static void init_stats();
  static void reset_stats(UTL_stat_type type);
  void publish();

  float value;
  UTL_stat_type type;
  UTL_stat* next;
  float* target;
  const char* name;

  // The registered statistics of one kind (for a statistics display).
  static const std::set<UTL_stat*>& registered(UTL_stat_type type);
  static UTL_stat* waiting_list();

 private:
  void enroll();
};

inline void UTL_profiler_init() {}
inline void UTL_profiler_start(const char*) {}
inline void UTL_profiler_stop() {}
