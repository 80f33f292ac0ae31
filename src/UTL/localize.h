// Localisation: the language table, the default language, translation files,
// plural choice and numbered placeholders ("%1:file%").
//
// Callers translate the English text first and fill its placeholders after,
// so a translator may move the placeholders.
#pragma once

#include <string>
#include <vector>

struct lang_info {
  const char* button;    // "|" + the language's own name (UTF-8)
  const char* folder;    // its folder among the interface resources
  const char* resource;  // "RESOURCE:" translation file, null for English
  const char* alt_path;  // null for English
  const char* code;      // two-letter code matched by --lang and the user's list
  int numeric_id;
  int plural_mode;  // 0: n <= 1 singular; 1: n == 1 singular; 2: Slavic
};

enum { lang_count = 6 };
extern const lang_info kLangInfo[lang_count];

void UTL_lang_get_languages(std::vector<int>& out);
std::string UTL_lang_get_folder(int lang);
std::string UTL_lang_get_button(int lang);

// The language number from --lang, else from the user's preferred languages,
// else -1 (the shell then lets the user choose).
int UTL_get_default_language();

// Replaces the tables with the translation file of lang (1..5).
void UTL_translate_load(int lang);
// The same from a given file name (a "RESOURCE:" name or an app-relative
// path), with lang's plural rule.
void UTL_translate_load_path(int lang, const std::string& path);
// Back to English.
void UTL_translate_clear();

// table 0 holds the STRING entries, table 1 the GENITIVE ones.
std::string UTL_translate_string(const std::string& text, int table = 0);
std::string UTL_translate_plural(int n, const std::string& singular, const std::string& plural);

std::string UTL_string_sub_x(const std::string& text, int count, const std::string* const* values);
std::string UTL_string_sub(const std::string& text, const std::string& v1);
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2);
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3);
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3, const std::string& v4);
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3, const std::string& v4, const std::string& v5);
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3, const std::string& v4, const std::string& v5,
                           const std::string& v6);

// Appends the number of every placeholder of text, in order.
void UTL_string_check(const std::string& text, std::vector<int>& numbers);

// Backslash-r and backslash-n of a translation file become CR and LF.
void str_unescape(std::string& s);

// Spaces (not tabs) at the start and at the end of s.
int UTL_count_leading(const std::string& s);
int UTL_count_trailing(const std::string& s);
