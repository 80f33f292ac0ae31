#include "OOPS_cpp/ogle_field.h"

#include <algorithm>
#include <cstdint>

int OGLE_x = 0;
int OGLE_y = 0;
int OGLE_entry_dx = 0;
float OGLE_dx = 0;
float OGLE_dy = 0;
std::string* OGLE_input = nullptr;
int OGLE_edit = 0;

namespace {

bool is_cont(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A field has one line: its text must never wrap onto a second, invisible
// one, however long it grows.
const float k_unbounded_width = 1.0e9f;
const float k_line_height = 11.0f;

}  // namespace

const char* OGLE_utf8_next(const char* begin, const char* end, const char* p) {
  const auto b = reinterpret_cast<uintptr_t>(begin), e = reinterpret_cast<uintptr_t>(end);
  const auto q = reinterpret_cast<uintptr_t>(p);
  if (q < b) return begin;
  if (q >= e) return end;
  while (p > begin && is_cont(*p)) --p;
  ++p;
  while (p < end && is_cont(*p)) ++p;
  return p;
}

int OGLE_utf8_next_pos(const char* begin, int len, int offset) {
  if (offset >= len) return offset + 1;
  if (offset < 0) return 0;
  return static_cast<int>(OGLE_utf8_next(begin, begin + len, begin + offset) - begin);
}

int OGLE_utf8_prev_pos(const char* begin, int len, int offset) {
  if (offset <= 0) return -1;
  int o = std::min(offset, len);
  while (o > 0 && o < len && is_cont(begin[o])) --o;  // the start of the character at offset
  if (o == 0) return 0;  // never before the text
  --o;
  while (o > 0 && is_cont(begin[o])) --o;
  return o;
}

const char* OGLE_utf8_word_break(const char* begin, const char* end) {
  while (begin < end && is_blank(*begin)) ++begin;
  while (begin < end && !is_blank(*begin)) ++begin;
  return begin;
}

int OGLE_key_bytes(int code, char out[4]) {
  if (code < 32) {
    if (code != 8 && (code < 28 || code > 31)) return 0;
  } else if (code == 127 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
    return 0;
  }
  auto byte = [](int v) { return static_cast<char>(static_cast<unsigned char>(v)); };
  if (code < 0x80) {
    out[0] = byte(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = byte(0xC0 | (code >> 6));
    out[1] = byte(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = byte(0xE0 | (code >> 12));
    out[1] = byte(0x80 | ((code >> 6) & 0x3F));
    out[2] = byte(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (code >> 18));
  out[1] = byte(0x80 | ((code >> 12) & 0x3F));
  out[2] = byte(0x80 | ((code >> 6) & 0x3F));
  out[3] = byte(0x80 | (code & 0x3F));
  return 4;
}

void OGLE_cut_to(std::string* text, int max_len) {
  if (max_len < 0) max_len = 0;
  if (text->size() <= static_cast<size_t>(max_len)) return;
  size_t n = static_cast<size_t>(max_len);
  while (n > 0 && is_cont((*text)[n])) --n;  // byte n starts the first character cut off
  text->resize(n);
}

void OGLE_GetVisibleBounds(OGLE_Rec*, float rect[4]) {
  rect[0] = static_cast<float>(OGLE_x);
  rect[1] = static_cast<float>(OGLE_y) - 2;
  rect[2] = static_cast<float>(OGLE_x + OGLE_entry_dx);
  rect[3] = static_cast<float>(OGLE_y) - 2 + k_line_height;
}

void OGLE_GetLogicalBounds(OGLE_Rec* rec, float rect[4]) {
  OGLE_GetVisibleBounds(rec, rect);
  rect[0] -= OGLE_dx;
  rect[1] -= OGLE_dy;
  rect[2] += k_unbounded_width - OGLE_dx;
  rect[3] -= OGLE_dy;
}

void OGLE_SetLogicalHeight(OGLE_Rec*, float) {}

void OGLE_ScrollTo(OGLE_Rec*, float offset[2]) {
  OGLE_dx = offset[0];
  OGLE_dy = offset[1];
}

void OGLE_GetText(OGLE_Rec*, const char** begin, const char** end) {
  static const char empty = 0;
  if (!OGLE_input) {
    *begin = *end = &empty;
    return;
  }
  *begin = OGLE_input->data();
  *end = OGLE_input->data() + OGLE_input->size();
}

void OGLE_ReplaceTextFunc(OGLE_Rec*, int start, int end, const char* begin,
                          const char* end_of_new) {
  if (!OGLE_input) return;
  OGLE_edit = 1;
  const int len = static_cast<int>(OGLE_input->size());
  start = std::clamp(start, 0, len);
  end = std::clamp(end, start, len);
  const size_t n = begin && end_of_new > begin ? static_cast<size_t>(end_of_new - begin) : 0;
  if (n)
    OGLE_input->replace(static_cast<size_t>(start), static_cast<size_t>(end - start), begin, n);
  else
    OGLE_input->erase(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

float OGLE_GetLineHeight(OGLE_Rec*) { return k_line_height; }

const char* OGLE_WordBreak(OGLE_Rec*, const char* begin, const char* end) {
  return OGLE_utf8_word_break(begin, end);
}

const char* OGLE_MBCS_Next(OGLE_Rec* rec, const char* p) {
  const char *b, *e;
  OGLE_GetText(rec, &b, &e);
  return OGLE_utf8_next(b, e, p);
}

int OGLE_MBCS_NextPos(OGLE_Rec*, int offset) {
  if (!OGLE_input) return offset + 1;
  return OGLE_utf8_next_pos(OGLE_input->data(), static_cast<int>(OGLE_input->size()), offset);
}

int OGLE_MBCS_PrevPos(OGLE_Rec*, int offset) {
  if (!OGLE_input) return offset - 1;
  return OGLE_utf8_prev_pos(OGLE_input->data(), static_cast<int>(OGLE_input->size()), offset);
}
