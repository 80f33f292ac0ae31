// The widget toolkit: the focus ring, frames and labels, buttons and check
// boxes, the text field, sliders and number fields, lists, the file chooser,
// the clipboard and the small widgets. Every widget is a free function called
// once per frame: it draws, hit-tests this frame's mouse (from mnw) and
// reports a click or change through its result.
#pragma once

#include <string>

// ---- focus ring

struct focus_info_t {
  int id;
  int* chars;
  int* vkeys;
  int* modifiers;
  int* ids;
  int* count;
  int queue_capacity;
  int accept;
};

void BTN_begin_focus_ring();
int BTN_register_focus(int id, int* chars, int* vkeys, int* modifiers, int* ids, int* count,
                       int capacity, int accept, int take);
int BTN_dispatch_to_focus(int ch, int vkey, int modifiers);
// Takes the keyboard focus from every widget; the clock calls it on every new
// mouse press.
void BTN_unfocus_any();
void BTN_window_has_focus();
int BTN_no_focus_yet();
void BTN_focus_any();
// The focused widget's id (0 none) and whether a window claimed the keys.
int BTN_focus_id();
int BTN_window_focus();
// The key class of a key, one bit of the accept masks.
int BTN_key_class(int ch, int vkey);

// ---- frames, panels and labels

void BTN_frame1(int kind, float cx, float cy, float width, int colour);
void BTN_frame2(int kind, float x, float y, float width, float height, std::string title,
                float alpha);
void BTN_util_element(float cx, float cy, float tex_x, float tex_y, float half_w, float half_h,
                      int colour);
void BTN_expand_label(const std::string& label, std::string* main, std::string* second,
                      std::string* help);
void BTN_util_draw_label(float x, float y, int align, const std::string& text, int highlight);
void BTN_fillwin(int with_title, int panel_kind);
void BTN_subwin(float reserve, int kind, float x, float y, float width, float height,
                std::string title, float* next_x, float* next_y);
int BTN_zap_boxes(int hot);

// ---- buttons and check boxes

int BTN_action(float x, float y, float width, int pressed, int style, std::string label,
               std::string hint);
int BTN_bool(float x, float y, int* value, std::string label, int radio);
int BTN_xbol(float x, float y, bool* value, std::string label);
int BTN_xchr(float x, float y, char* value, std::string label);
int BTN_xbyt(float x, float y, unsigned char* value, std::string label);
int BTN_is_int(float x, float y, int* selection, int my_value, std::string label);
int BTN_type_from_vector(int index, void* list);
std::string BTN_name_from_vector(int index, void* list);

// ---- text field

int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label,
                    float width, int auto_focus);
int BTN_enterstring(float x, float y, char* text, int max_len, std::string label, float width,
                    int flags);

// ---- sliders and number fields

int BTN_vert_slider(int slot, float x, float y_bottom, float y_top, int min, int max, int* value);
int BTN_horz_slider(float x, float y, float width, int fill_colour, float min, float max,
                    float* value, int active, std::string label, std::string caption);
int BTN_flt_range(float x, float y, float* value, int digits, int decimals, float min, float max,
                  std::string label);
int BTN_flt(float x, float y, float* value, int digits, int decimals, int allow_negative,
            std::string label);
int BTN_int(float x, float y, int* value, int digits, int allow_negative, std::string label);
int BTN_int_range(float x, float y, int* value, int digits, float min, float max,
                  std::string label);
int BTN_dob_range(float x, float y, double* value, int digits, int decimals, float min,
                  float max, std::string label);
int BTN_fltij(float i, float j, float* value, int digits, int decimals, int allow_negative,
              std::string label);
int BTN_flt_rangeij(float i, float j, float* value, int digits, int decimals, float min,
                    float max, std::string label);
void BTN_display_number(float x, float y, float value, int digits, int decimals,
                        std::string label);
// The hot digit of the number fields.
int& BTN_number_hot_digit();

// ---- lists and character grids

int BTN_textlist(float x, float y, int* selection, std::string entries, std::string label);
int BTN_list_and_search(int slider_slot, float x, float y, float width, float height,
                        int* centre_row, int* selected_row, int first, int last,
                        std::string* search_text, const std::string& search_label,
                        std::string (*row_text)(int row, void* ref), void* text_ref,
                        std::string (*row_text2)(int row, void* ref), void* text2_ref,
                        int (*row_icon)(int row, void* ref), void* icon_ref);
void BTN_chars(float x, float y, char* cells, int count, std::string label);
// The default size of a scrolling list and the file chooser.
extern float io_dx, io_dy;
int BTN_tab(int column, int row, int* current, int my_value, std::string label);

// ---- file chooser

int BTN_opensave(int open_save, int file_type, std::string* path);
void stand_io_dialog(int open_save, int file_type, std::string selection);
int BTN_select_path_stl(float x, float y, int open_save, int file_type, std::string* path,
                        int max_len, std::string label, float width, int flags);
int BTN_select_path_chr(float x, float y, int open_save, int file_type, char* path,
                        int path_size, std::string label, float width, int flags);
int BTN_select_file_chr(float x, float y, int open_save, int file_type, char* name,
                        std::string* folder_path, int max_len, std::string label, float width);

// ---- clipboard and small widgets

int BTN_is_text_on_clipboard();
void BTN_text_to_clipboard(const std::string& text);
int BTN_text_from_clipboard(std::string& text);
void BTN_frame0(int kind, float cx, float cy, float height);
void plot_dir(float x, float y, float* heading, int style);
int enter_lat_lon(float* x, float* y, float* longitude, float* latitude);

// ---- the modal loops' way into the shell
//
// The chooser and the prompt windows open their logical window and run the
// shell's frames themselves. Until the shell's window and frame loop are
// wired in, both are null and a modal loop answers as if its window was
// closed at once (the chooser cancels, a prompt answers 3).
struct BTN_modal_hooks_t {
  void (*startwind)(int type, int unused);  // opens a logical window
  void (*event_proc)();                     // runs one frame of the shell
};
extern BTN_modal_hooks_t BTN_modal;

// Per-frame key flags of the shell, cleared at each frame start.
extern int escape_hit, delete_hit;
