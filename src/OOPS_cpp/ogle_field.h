// The text field's side of the editing engine: the globals that bind the one
// shared editor record to the focused field, the callbacks that need no
// drawing, and the UTF-8 steps they rest on. The measuring and drawing
// callbacks and the table itself live with the field's drawing.
#pragma once

#include <string>

#include "OOPS_cpp/ogle.h"

// The focused field, set by it every frame.
extern int OGLE_x;  // left edge of its text
extern int OGLE_y;
extern int OGLE_entry_dx;  // its width
extern float OGLE_dx;  // scroll offsets, set by the engine
extern float OGLE_dy;
extern std::string* OGLE_input;  // the string being edited; null before any field had focus
extern int OGLE_edit;  // the engine replaced text; the field clears it each call

// The callbacks, in table order, but for MeasureString, FitStringFwd,
// FitStringRev, DrawString and DrawSelection.
void OGLE_GetVisibleBounds(OGLE_Rec* rec, float rect[4]);
void OGLE_GetLogicalBounds(OGLE_Rec* rec, float rect[4]);
void OGLE_SetLogicalHeight(OGLE_Rec* rec, float height);
void OGLE_ScrollTo(OGLE_Rec* rec, float offset[2]);
void OGLE_GetText(OGLE_Rec* rec, const char** begin, const char** end);
void OGLE_ReplaceTextFunc(OGLE_Rec* rec, int start, int end, const char* begin,
                          const char* end_of_new);
float OGLE_GetLineHeight(OGLE_Rec* rec);
const char* OGLE_WordBreak(OGLE_Rec* rec, const char* begin, const char* end);
const char* OGLE_MBCS_Next(OGLE_Rec* rec, const char* p);
int OGLE_MBCS_NextPos(OGLE_Rec* rec, int offset);
int OGLE_MBCS_PrevPos(OGLE_Rec* rec, int offset);

// UTF-8 steps over the text [begin, begin + len); none reads outside it.
// The start of the character after the one holding p (p inside the text).
const char* OGLE_utf8_next(const char* begin, const char* end, const char* p);
// The next character start; an offset at or past the end gives offset + 1.
int OGLE_utf8_next_pos(const char* begin, int len, int offset);
// The previous character start; −1 at offset 0.
int OGLE_utf8_prev_pos(const char* begin, int len, int offset);
// From begin, past blanks, then past the word: the six ASCII blanks only.
const char* OGLE_utf8_word_break(const char* begin, const char* end);

// The bytes a typed character code gives the engine, 0 for a code that must
// not reach it: control codes other than 8 (Backspace) and 28 to 31 (the
// arrows), 127, surrogates and codes beyond U+10FFFF.
int OGLE_key_bytes(int code, char out[4]);
// Cuts *text to at most max_len bytes without splitting a character.
void OGLE_cut_to(std::string* text, int max_len);

// The measuring and drawing callbacks (font 0, colour slots 48 and 8) and the
// table of all 16 that every text field's editor record is made with.
float OGLE_MeasureString(OGLE_Rec* rec, const char* begin, const char* end);
int OGLE_FitStringFwd(OGLE_Rec* rec, const char* begin, const char* end, float width);
int OGLE_FitStringRev(OGLE_Rec* rec, const char* begin, const char* end, float width);
void OGLE_DrawString(OGLE_Rec* rec, const char* begin, const char* end, float x, float y);
void OGLE_DrawSelection(OGLE_Rec* rec, float rect[4]);
extern const OGLE_Callbacks OGLE_cbs;
