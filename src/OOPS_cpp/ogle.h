// The text editing engine: a caret, a selection and word-wrapped lines over
// UTF-8 text that the host owns. The engine has no text, font or drawing of
// its own; it measures, draws and edits through the host's callbacks.
//
// Positions are byte offsets into the host's text. Coordinates grow upward;
// a rectangle is four floats: left, bottom, right, top.
#pragma once

#include <vector>

struct OGLE_Rec;

// The host's table, in this order.
struct OGLE_Callbacks {
  // The rectangle in which text is visible.
  void (*GetVisibleBounds)(OGLE_Rec* rec, float rect[4]);
  // The whole laid-out text at the current scroll: its width is the wrapping
  // width, its top the top of line 0.
  void (*GetLogicalBounds)(OGLE_Rec* rec, float rect[4]);
  // Lines × line height, after each layout.
  void (*SetLogicalHeight)(OGLE_Rec* rec, float height);
  // offset = visible left − logical left, visible bottom − logical bottom.
  void (*ScrollTo)(OGLE_Rec* rec, float offset[2]);
  void (*GetText)(OGLE_Rec* rec, const char** begin, const char** end);
  // Replaces the bytes [start, end) by [begin, end_of_new); may move the text.
  void (*ReplaceText)(OGLE_Rec* rec, int start, int end, const char* begin,
                      const char* end_of_new);
  float (*GetLineHeight)(OGLE_Rec* rec);
  float (*MeasureString)(OGLE_Rec* rec, const char* begin, const char* end);
  // How many bytes from begin (FitStringFwd) or before end (FitStringRev)
  // fit in width.
  int (*FitStringFwd)(OGLE_Rec* rec, const char* begin, const char* end, float width);
  int (*FitStringRev)(OGLE_Rec* rec, const char* begin, const char* end, float width);
  // Draws with the left end at x on the line whose bottom is at y.
  void (*DrawString)(OGLE_Rec* rec, const char* begin, const char* end, float x, float y);
  // A selection rectangle; one of zero width is the caret.
  void (*DrawSelection)(OGLE_Rec* rec, float rect[4]);
  // The end of the word that starts at begin.
  const char* (*WordBreak)(OGLE_Rec* rec, const char* begin, const char* end);
  // The start of the character after the one that holds p.
  const char* (*MBCS_Next)(OGLE_Rec* rec, const char* p);
  // The next and the previous character start (−1 before offset 0).
  int (*MBCS_NextPos)(OGLE_Rec* rec, int offset);
  int (*MBCS_PrevPos)(OGLE_Rec* rec, int offset);
};

struct OGLE_Rec {
  OGLE_Callbacks cb;
  void* ref;
  std::vector<int> line_starts;  // first byte of each line; [0] is 0; empty before layout
  int sel_start;
  int sel_end;  // == sel_start for a caret
  int active_end;  // 1: sel_end moves, 0: sel_start moves
  float desired_x;  // the column vertical moves keep; −1 none
};

OGLE_Rec* OGLE_Create(const OGLE_Callbacks* table, void* ref);
void OGLE_Destroy(OGLE_Rec* rec);  // null is ignored
void* OGLE_GetRef(OGLE_Rec* rec);
void OGLE_GetSelection(OGLE_Rec* rec, int* start, int* end);  // either may be null
void OGLE_SetSelection(OGLE_Rec* rec, int start, int end);
void OGLE_Draw(OGLE_Rec* rec, int draw_caret);
void OGLE_Click(OGLE_Rec* rec, float x, float y, int extend);
void OGLE_Drag(OGLE_Rec* rec, float x, float y);
// One single-byte key: 8 Backspace, 28 to 31 left, right, up, down; any other
// byte replaces the selection.
void OGLE_Key(OGLE_Rec* rec, char ch, int extend);
// One character of 1 to 4 UTF-8 bytes.
void OGLE_Key_MBCS(OGLE_Rec* rec, int byte_count, const char* bytes, int extend);
// Lays the text out again; the host calls it after it changed the text or the
// width behind the engine's back.
void OGLE_Repaginate(OGLE_Rec* rec);
// Scrolls so that the moving end of the selection is in view.
void OGLE_RevealSelection(OGLE_Rec* rec);
void OGLE_ReplaceText(OGLE_Rec* rec, int start, int end, const char* begin,
                      const char* end_of_new);

// The engine for hosts that prefer virtual functions: the object is the
// record's reference.
class OGLE {
 public:
  OGLE();
  virtual ~OGLE();
  OGLE(const OGLE&) = delete;
  OGLE& operator=(const OGLE&) = delete;

  virtual void GetVisibleBounds(float rect[4]) = 0;
  virtual void GetLogicalBounds(float rect[4]) = 0;
  virtual void SetLogicalHeight(float height) = 0;
  virtual void ScrollTo(float offset[2]) = 0;
  virtual void GetText(const char** begin, const char** end) = 0;
  virtual void ReplaceText(int start, int end, const char* begin, const char* end_of_new) = 0;
  virtual float GetLineHeight() = 0;
  virtual float MeasureString(const char* begin, const char* end) = 0;
  virtual int FitStringFwd(const char* begin, const char* end, float width) = 0;
  virtual int FitStringRev(const char* begin, const char* end, float width) = 0;
  virtual void DrawString(const char* begin, const char* end, float x, float y) = 0;
  virtual void DrawSelection(float rect[4]) = 0;
  virtual const char* WordBreak(const char* begin, const char* end) = 0;
  virtual const char* MBCS_Next(const char* p) = 0;
  virtual int MBCS_NextPos(int offset) = 0;
  virtual int MBCS_PrevPos(int offset) = 0;

  void GetSelection(int* start, int* end) { OGLE_GetSelection(rec, start, end); }
  void SetSelection(int start, int end) { OGLE_SetSelection(rec, start, end); }
  void Draw(int draw_caret) { OGLE_Draw(rec, draw_caret); }
  void RevealSelection() { OGLE_RevealSelection(rec); }
  void Drag(float x, float y) { OGLE_Drag(rec, x, y); }
  void Click(float x, float y, int extend) { OGLE_Click(rec, x, y, extend); }
  void Key(char ch, int extend) { OGLE_Key(rec, ch, extend); }
  void Key_MBCS(int n, const char* bytes, int extend) { OGLE_Key_MBCS(rec, n, bytes, extend); }
  void Repaginate() { OGLE_Repaginate(rec); }
  void DoReplaceText(int start, int end, const char* begin, const char* end_of_new) {
    OGLE_ReplaceText(rec, start, end, begin, end_of_new);
  }

 protected:
  OGLE_Rec* rec;

 private:
  static void GetVisibleBoundsCB(OGLE_Rec* r, float rect[4]);
  static void GetLogicalBoundsCB(OGLE_Rec* r, float rect[4]);
  static void SetLogicalHeightCB(OGLE_Rec* r, float height);
  static void ScrollToCB(OGLE_Rec* r, float offset[2]);
  static void GetTextCB(OGLE_Rec* r, const char** begin, const char** end);
  static void ReplaceTextCB(OGLE_Rec* r, int start, int end, const char* begin,
                            const char* end_of_new);
  static float GetLineHeightCB(OGLE_Rec* r);
  static float MeasureStringCB(OGLE_Rec* r, const char* begin, const char* end);
  static int FitStringFwdCB(OGLE_Rec* r, const char* begin, const char* end, float width);
  static int FitStringRevCB(OGLE_Rec* r, const char* begin, const char* end, float width);
  static void DrawStringCB(OGLE_Rec* r, const char* begin, const char* end, float x, float y);
  static void DrawSelectionCB(OGLE_Rec* r, float rect[4]);
  static const char* WordBreakCB(OGLE_Rec* r, const char* begin, const char* end);
  static const char* MBCS_NextCB(OGLE_Rec* r, const char* p);
  static int MBCS_NextPosCB(OGLE_Rec* r, int offset);
  static int MBCS_PrevPosCB(OGLE_Rec* r, int offset);
  static const OGLE_Callbacks table;
};
