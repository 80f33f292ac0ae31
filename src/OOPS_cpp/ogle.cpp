#include "OOPS_cpp/ogle.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The text as the host has it now. Fetched afresh after every replace: the
// host may move its bytes.
struct text_t {
  const char* b;
  int len;
};

const char k_none = 0;  // the bytes of an empty replacement

text_t text_of(OGLE_Rec* r) {
  const char* b = nullptr;
  const char* e = nullptr;
  r->cb.GetText(r, &b, &e);
  if (!b || !e || e < b) return {&k_none, 0};
  return {b, static_cast<int>(e - b)};
}

// The six ASCII blanks only: bytes of 0x80 and up belong to characters.
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool is_break(char c) { return c == '\r' || c == '\n'; }

int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Offset of a pointer the host handed back, bounded to the text.
int offset_in(const text_t& t, const char* q) {
  const auto b = reinterpret_cast<uintptr_t>(t.b);
  const auto p = reinterpret_cast<uintptr_t>(q);
  if (!q || p < b) return -1;
  if (p - b > static_cast<uintptr_t>(t.len)) return t.len;
  return static_cast<int>(p - b);
}

// The start of the character after the one at p; always moves on, never past
// the end.
int next_char(OGLE_Rec* r, const text_t& t, int p) {
  if (p >= t.len) return t.len;
  const int q = offset_in(t, r->cb.MBCS_Next(r, t.b + p));
  return q <= p ? p + 1 : q;
}

int word_end(OGLE_Rec* r, const text_t& t, int p) {
  const int q = offset_in(t, r->cb.WordBreak(r, t.b + p, t.b + t.len));
  return q <= p ? next_char(r, t, p) : q;
}

float measure(OGLE_Rec* r, const text_t& t, int s, int e) {
  return e > s ? r->cb.MeasureString(r, t.b + s, t.b + e) : 0.0f;
}

int line_count(OGLE_Rec* r) { return static_cast<int>(r->line_starts.size()); }

// The bytes of line i, bounded to the text even when the layout is stale.
void line_range(OGLE_Rec* r, const text_t& t, int i, int* s, int* e) {
  const auto& ls = r->line_starts;
  *s = clampi(ls[i], 0, t.len);
  *e = i + 1 < line_count(r) ? clampi(ls[i + 1], *s, t.len) : t.len;
}

// The part of a line a point can land on: not its closing CR or LF, so that a
// click right of a line's end stays on that line.
int line_body_end(const text_t& t, int s, int e) {
  return e > s && is_break(t.b[e - 1]) ? e - 1 : e;
}

// The last line whose start is <= p; −1 before any layout.
int line_of(OGLE_Rec* r, int p) {
  const auto& ls = r->line_starts;
  if (ls.empty()) return -1;
  const auto it = std::upper_bound(ls.begin(), ls.end(), p);
  return it == ls.begin() ? 0 : static_cast<int>(it - ls.begin()) - 1;
}

// Every line lookup needs a layout; an empty table has no line 0.
void ensure_layout(OGLE_Rec* r) {
  if (r->line_starts.empty()) OGLE_Repaginate(r);
}

void normalise(OGLE_Rec* r, int len) {
  if (r->sel_end < r->sel_start) {
    std::swap(r->sel_start, r->sel_end);
    r->active_end = 1 - r->active_end;
  }
  r->sel_start = clampi(r->sel_start, 0, len);
  r->sel_end = clampi(r->sel_end, 0, len);
}
void normalise(OGLE_Rec* r) { normalise(r, text_of(r).len); }

int& moving_end(OGLE_Rec* r) { return r->active_end ? r->sel_end : r->sel_start; }

// The position under a point.
int hit_test(OGLE_Rec* r, float x, float y) {
  ensure_layout(r);
  float L[4];
  r->cb.GetLogicalBounds(r, L);
  const float h = r->cb.GetLineHeight(r);
  const text_t t = text_of(r);
  x = std::max(L[0], std::min(x, L[2]));
  const double line = std::floor((static_cast<double>(L[3]) - y) / h);
  if (!(line >= 0)) return 0;
  if (line >= line_count(r)) return t.len;
  int s, e;
  line_range(r, t, static_cast<int>(line), &s, &e);
  e = line_body_end(t, s, e);
  return s + clampi(r->cb.FitStringFwd(r, t.b + s, t.b + e, x - L[0]), 0, e - s);
}

// The position delta lines from pos, at the remembered column.
int vertical_move(OGLE_Rec* r, int pos, int delta) {
  ensure_layout(r);
  const text_t t = text_of(r);
  pos = clampi(pos, 0, t.len);
  const int line = line_of(r, pos);
  int s, e;
  line_range(r, t, line, &s, &e);
  if (r->desired_x == -1.0f) r->desired_x = measure(r, t, s, std::max(s, pos));
  const int target = line + delta;
  if (target < 0) return 0;
  if (target >= line_count(r)) return t.len;
  line_range(r, t, target, &s, &e);
  e = line_body_end(t, s, e);
  return s + clampi(r->cb.FitStringFwd(r, t.b + s, t.b + e, r->desired_x), 0, e - s);
}

// Replaces the selection by n bytes, caret after them.
void replace_selection(OGLE_Rec* r, const char* bytes, int n) {
  normalise(r);
  const int s = r->sel_start;
  r->cb.ReplaceText(r, s, r->sel_end, bytes, bytes + n);
  r->sel_start = r->sel_end = s + n;
  r->active_end = 1;
  OGLE_Repaginate(r);
}

// Where a position goes when [start, end) becomes n bytes.
int map_through_replace(int p, int start, int end, int n) {
  if (p >= end) return p + n - (end - start);
  if (p > start) return start + n;  // inside: after the new bytes, never inside a character
  return p;
}

}  // namespace

OGLE_Rec* OGLE_Create(const OGLE_Callbacks* table, void* ref) {
  auto* r = new OGLE_Rec;
  r->cb = *table;
  r->ref = ref;
  r->sel_start = r->sel_end = 0;
  r->active_end = 1;
  r->desired_x = -1.0f;
  return r;
}

void OGLE_Destroy(OGLE_Rec* rec) { delete rec; }

void* OGLE_GetRef(OGLE_Rec* rec) { return rec->ref; }

void OGLE_GetSelection(OGLE_Rec* rec, int* start, int* end) {
  if (start) *start = rec->sel_start;
  if (end) *end = rec->sel_end;
}

void OGLE_SetSelection(OGLE_Rec* rec, int start, int end) {
  rec->sel_start = start;
  rec->sel_end = end;
  normalise(rec);
}

void OGLE_Repaginate(OGLE_Rec* r) {
  float L[4];
  r->cb.GetLogicalBounds(r, L);
  const float w = L[2] - L[0];
  const text_t t = text_of(r);
  auto& ls = r->line_starts;
  if (ls.empty())
    ls.push_back(0);
  else
    ls[0] = 0;

  size_t line = 0;
  int start = 0;
  for (;;) {
    int p = start, end;
    float width = 0;
    for (;;) {
      int q = p;
      while (q < t.len && is_blank(t.b[q]) && !is_break(t.b[q])) q = next_char(r, t, q);
      if (q > p) {
        width += measure(r, t, p, q);
        p = q;
      }
      if (p >= t.len) {
        end = t.len;
        break;
      }
      if (is_break(t.b[p])) {
        end = p + 1;
        break;
      }
      const int we = word_end(r, t, p);
      const float ww = measure(r, t, p, we);
      if (width + ww > w) {
        // A word wider than the whole line gives it one character, not one
        // byte: a line start inside a character would split it.
        end = p == start ? next_char(r, t, start) : p;
        break;
      }
      width += ww;
      p = we;
      if (p >= t.len) {
        end = t.len;
        break;
      }
    }
    if (end >= t.len) {
      // An empty last line after a final break survives from an earlier
      // layout; a fresh one never makes it.
      size_t keep = line + 1;
      if (ls.size() > line + 1 && ls[line + 1] == t.len && t.len > start) keep = line + 2;
      ls.resize(keep);
      break;
    }
    ++line;
    if (ls.size() > line)
      ls[line] = end;
    else
      ls.push_back(end);
    start = end;
  }
  r->cb.SetLogicalHeight(r, static_cast<float>(ls.size()) * r->cb.GetLineHeight(r));
}

void OGLE_Click(OGLE_Rec* rec, float x, float y, int extend) {
  rec->desired_x = -1.0f;
  const int p = hit_test(rec, x, y);
  normalise(rec);
  if (!extend) {
    rec->sel_start = rec->sel_end = p;
    rec->active_end = 1;
  } else if (p < rec->sel_start) {
    rec->sel_start = p;
    rec->active_end = 0;
  } else {
    rec->sel_end = p;
    rec->active_end = 1;
  }
  normalise(rec);
  OGLE_RevealSelection(rec);
}

void OGLE_Drag(OGLE_Rec* rec, float x, float y) {
  rec->desired_x = -1.0f;
  const int p = hit_test(rec, x, y);
  moving_end(rec) = p;
  normalise(rec);
  OGLE_RevealSelection(rec);
}

void OGLE_Key(OGLE_Rec* r, char ch, int extend) {
  const unsigned char c = static_cast<unsigned char>(ch);
  if (c != 30 && c != 31) r->desired_x = -1.0f;
  const text_t t = text_of(r);
  normalise(r, t.len);
  const bool has_sel = r->sel_start < r->sel_end;
  switch (c) {
    case 8:
      if (has_sel) {
        replace_selection(r, &k_none, 0);
      } else if (r->sel_start > 0) {
        const int caret = r->sel_start;
        const int p = clampi(r->cb.MBCS_PrevPos(r, caret), 0, caret);
        if (p < caret) {
          r->cb.ReplaceText(r, p, caret, &k_none, &k_none);
          r->sel_start = r->sel_end = p;
          OGLE_Repaginate(r);
        }
      }
      r->active_end = 1;
      break;
    case 28:
      if (extend) {
        int& m = moving_end(r);
        m = clampi(r->cb.MBCS_PrevPos(r, m), 0, m);
      } else if (has_sel) {
        r->sel_end = r->sel_start;
      } else {
        r->sel_start = r->sel_end = clampi(r->cb.MBCS_PrevPos(r, r->sel_start), 0, r->sel_start);
      }
      break;
    case 29:
      if (extend) {
        int& m = moving_end(r);
        m = clampi(r->cb.MBCS_NextPos(r, m), m, t.len);
      } else if (has_sel) {
        r->sel_start = r->sel_end;
      } else {
        r->sel_start = r->sel_end = clampi(r->cb.MBCS_NextPos(r, r->sel_end), r->sel_end, t.len);
      }
      break;
    case 30:
    case 31: {
      const int delta = c == 30 ? -1 : 1;
      if (extend) {
        int& m = moving_end(r);
        m = vertical_move(r, m, delta);
      } else if (has_sel) {
        if (c == 30)
          r->sel_end = r->sel_start;
        else
          r->sel_start = r->sel_end;
      } else {
        r->sel_start = r->sel_end = vertical_move(r, r->sel_start, delta);
      }
      break;
    }
    default:
      replace_selection(r, &ch, 1);
      break;
  }
  normalise(r);
  OGLE_RevealSelection(r);
}

void OGLE_Key_MBCS(OGLE_Rec* rec, int byte_count, const char* bytes, int extend) {
  if (byte_count < 1 || !bytes) return;
  if (byte_count == 1) return OGLE_Key(rec, bytes[0], extend);
  rec->desired_x = -1.0f;
  replace_selection(rec, bytes, byte_count);
  normalise(rec);
  OGLE_RevealSelection(rec);
}

void OGLE_RevealSelection(OGLE_Rec* r) {
  ensure_layout(r);
  const text_t t = text_of(r);
  normalise(r, t.len);
  float L[4], V[4];
  r->cb.GetLogicalBounds(r, L);
  r->cb.GetVisibleBounds(r, V);
  const float h = r->cb.GetLineHeight(r);
  const int p = moving_end(r);
  const int k = line_of(r, p);
  int s, e;
  line_range(r, t, k, &s, &e);
  const float x = L[0] + measure(r, t, s, std::max(s, p));
  // The moving end's whole line comes into view, whichever way it left it.
  const float top = L[3] - static_cast<float>(k) * h, bottom = top - h;
  const float sx0 = V[0] - L[0], sy0 = V[1] - L[1];
  float sx = sx0, sy = sy0;
  if (x < V[0])
    sx = x - L[0];
  else if (x > V[2])
    sx = x - L[0] - (V[2] - V[0]);
  if (bottom < V[1]) sy = bottom - L[1];
  if (top > V[3]) sy = top - L[1] - (V[3] - V[1]);
  if (sx != sx0 || sy != sy0) {
    float offset[2] = {sx, sy};
    r->cb.ScrollTo(r, offset);
  }
}

void OGLE_Draw(OGLE_Rec* r, int draw_caret) {
  ensure_layout(r);
  float L[4], V[4];
  r->cb.GetVisibleBounds(r, V);
  r->cb.GetLogicalBounds(r, L);
  const float h = r->cb.GetLineHeight(r);
  const text_t t = text_of(r);
  const int n = line_count(r);
  const double f = std::floor((static_cast<double>(L[3]) - V[3]) / h);
  const double c = std::ceil((static_cast<double>(L[3]) - V[1]) / h);
  const int first = f > 0 ? (f < n ? static_cast<int>(f) : n) : 0;
  const int last = c < n ? (c > 0 ? static_cast<int>(c) : 0) : n;
  // Drawing changes nothing: a selection the host outdated is bounded here.
  const int ss = clampi(r->sel_start, 0, t.len), se = clampi(r->sel_end, ss, t.len);
  auto line_top = [&](int i) { return L[3] - static_cast<float>(i) * h; };

  if (ss < se) {
    for (int i = first; i < last; ++i) {
      int s, e;
      line_range(r, t, i, &s, &e);
      if (s >= se) break;
      if (e <= ss) continue;
      const float x0 = ss >= s ? L[0] + measure(r, t, s, ss) : L[0];
      const float x1 = se < e || i == n - 1 ? L[0] + measure(r, t, s, se) : L[2];
      float rect[4] = {x0, line_top(i + 1), x1, line_top(i)};
      r->cb.DrawSelection(r, rect);
    }
  }
  for (int i = first; i < last; ++i) {
    int s, e;
    line_range(r, t, i, &s, &e);
    r->cb.DrawString(r, t.b + s, t.b + e, L[0], line_top(i + 1));
  }
  if (draw_caret && ss == se) {
    for (int i = first; i < last; ++i) {
      int s, e;
      line_range(r, t, i, &s, &e);
      if ((s <= ss && ss < e) || (i == n - 1 && ss == e)) {
        const float x = L[0] + measure(r, t, s, ss);
        float rect[4] = {x, line_top(i + 1), x, line_top(i)};
        r->cb.DrawSelection(r, rect);
        break;
      }
    }
  }
}

void OGLE_ReplaceText(OGLE_Rec* r, int start, int end, const char* begin,
                      const char* end_of_new) {
  const text_t t = text_of(r);
  start = clampi(start, 0, t.len);
  end = clampi(end, start, t.len);
  const int n = begin && end_of_new > begin ? static_cast<int>(end_of_new - begin) : 0;
  normalise(r, t.len);
  r->sel_start = map_through_replace(r->sel_start, start, end, n);
  r->sel_end = map_through_replace(r->sel_end, start, end, n);
  if (n == 0) begin = end_of_new = &k_none;
  r->cb.ReplaceText(r, start, end, begin, end_of_new);
  OGLE_Repaginate(r);
  normalise(r);
}

// The class form: each callback finds its object through the reference.

namespace {
OGLE* self(OGLE_Rec* r) { return static_cast<OGLE*>(OGLE_GetRef(r)); }
}  // namespace

const OGLE_Callbacks OGLE::table = {
    &OGLE::GetVisibleBoundsCB, &OGLE::GetLogicalBoundsCB, &OGLE::SetLogicalHeightCB,
    &OGLE::ScrollToCB,         &OGLE::GetTextCB,          &OGLE::ReplaceTextCB,
    &OGLE::GetLineHeightCB,    &OGLE::MeasureStringCB,    &OGLE::FitStringFwdCB,
    &OGLE::FitStringRevCB,     &OGLE::DrawStringCB,       &OGLE::DrawSelectionCB,
    &OGLE::WordBreakCB,        &OGLE::MBCS_NextCB,        &OGLE::MBCS_NextPosCB,
    &OGLE::MBCS_PrevPosCB};

OGLE::OGLE() : rec(OGLE_Create(&table, this)) {}
OGLE::~OGLE() { OGLE_Destroy(rec); }

void OGLE::GetVisibleBoundsCB(OGLE_Rec* r, float rect[4]) { self(r)->GetVisibleBounds(rect); }
void OGLE::GetLogicalBoundsCB(OGLE_Rec* r, float rect[4]) { self(r)->GetLogicalBounds(rect); }
void OGLE::SetLogicalHeightCB(OGLE_Rec* r, float height) { self(r)->SetLogicalHeight(height); }
void OGLE::ScrollToCB(OGLE_Rec* r, float offset[2]) { self(r)->ScrollTo(offset); }
void OGLE::GetTextCB(OGLE_Rec* r, const char** begin, const char** end) {
  self(r)->GetText(begin, end);
}
void OGLE::ReplaceTextCB(OGLE_Rec* r, int start, int end, const char* begin,
                         const char* end_of_new) {
  self(r)->ReplaceText(start, end, begin, end_of_new);
}
float OGLE::GetLineHeightCB(OGLE_Rec* r) { return self(r)->GetLineHeight(); }
float OGLE::MeasureStringCB(OGLE_Rec* r, const char* begin, const char* end) {
  return self(r)->MeasureString(begin, end);
}
int OGLE::FitStringFwdCB(OGLE_Rec* r, const char* begin, const char* end, float width) {
  return self(r)->FitStringFwd(begin, end, width);
}
int OGLE::FitStringRevCB(OGLE_Rec* r, const char* begin, const char* end, float width) {
  return self(r)->FitStringRev(begin, end, width);
}
void OGLE::DrawStringCB(OGLE_Rec* r, const char* begin, const char* end, float x, float y) {
  self(r)->DrawString(begin, end, x, y);
}
void OGLE::DrawSelectionCB(OGLE_Rec* r, float rect[4]) { self(r)->DrawSelection(rect); }
const char* OGLE::WordBreakCB(OGLE_Rec* r, const char* begin, const char* end) {
  return self(r)->WordBreak(begin, end);
}
const char* OGLE::MBCS_NextCB(OGLE_Rec* r, const char* p) { return self(r)->MBCS_Next(p); }
int OGLE::MBCS_NextPosCB(OGLE_Rec* r, int offset) { return self(r)->MBCS_NextPos(offset); }
int OGLE::MBCS_PrevPosCB(OGLE_Rec* r, int offset) { return self(r)->MBCS_PrevPos(offset); }
