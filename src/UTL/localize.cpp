#include "UTL/localize.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>
#include <string_view>
#include <unordered_map>

#include "Linux/lin_locale.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/cmdline.h"
#include "UTL/xer.h"

const lang_info kLangInfo[lang_count] = {
    {"|English", "English/", nullptr, nullptr, "en", 9, 1},
    {"|Français", "French/", "RESOURCE:French.txt", "Resources/text/French.txt", "fr", 12, 0},
    {"|Deutsch", "German/", "RESOURCE:German.txt", "Resources/text/German.txt", "de", 7, 1},
    {"|Русский", "Russian/", "RESOURCE:Russian.txt", "Resources/text/Russian.txt", "ru", 32, 2},
    {"|Italiano", "Italian/", "RESOURCE:Italian.txt", "Resources/text/Italian.txt", "it", 16, 1},
    {"|Español", "Spanish/", "RESOURCE:Spanish.txt", "Resources/text/Spanish.txt", "es", 10, 1},
};

namespace {
std::unordered_map<std::string, std::string> dictionary[2];
std::set<std::string> logged;
int has_translation = 0;
int log_missing = 0;
int plural_mode = 1;

const int k_translation_versions[] = {900, 0};

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_eol(char c) { return c == '\r' || c == '\n' || c == 0; }

// The keyword followed by a blank at p.
bool starts_keyword(const char* p, const char* end, const char* word, size_t len) {
  return static_cast<size_t>(end - p) > len && std::string_view(p, len) == word && is_blank(p[len]);
}

void replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
}

// The number atoi would read after a "%", without atoi's overflow.
long placeholder_number(const std::string& s, size_t pos) {
  errno = 0;
  long n = strtol(s.c_str() + pos, nullptr, 10);
  if (errno == ERANGE) n = (n < 0) ? LONG_MIN : LONG_MAX;
  return n;
}

// The next "%N:...%" from pos on: *open and *close get its two "%"; false when
// none is left.
bool find_placeholder(const std::string& s, size_t pos, size_t* open, size_t* close) {
  for (;;) {
    *open = s.find('%', pos);
    if (*open == std::string::npos) return false;
    pos = *open + 1;
    const size_t colon = s.find(':', pos);
    if (colon == std::string::npos) continue;
    *close = s.find('%', colon + 1);
    if (*close != std::string::npos) return true;
  }
}
}  // namespace

void UTL_lang_get_languages(std::vector<int>& out) {
  static const std::vector<int> all = [] {
    std::vector<int> v;
    for (int i = 0; i < lang_count; ++i) v.push_back(i);
    return v;
  }();
  out = all;
}

std::string UTL_lang_get_folder(int lang) { return kLangInfo[lang].folder; }
std::string UTL_lang_get_button(int lang) { return kLangInfo[lang].button; }

int UTL_get_default_language() {
  std::vector<int> langs;
  UTL_lang_get_languages(langs);
  if (cmdline.has_option("--lang")) {
    const std::string want = cmdline.get_option("--lang");
    for (int l : langs)
      if (want == kLangInfo[l].code) return l;
  }
  for (const std::string& entry : LIN_preferred_languages())
    for (int l : langs)
      if (entry == kLangInfo[l].code) return l;
  return -1;
}

void UTL_translate_clear() {
  dictionary[0].clear();
  dictionary[1].clear();
  logged.clear();
  has_translation = 0;
  log_missing = 0;
  plural_mode = 1;
}

void UTL_translate_load(int lang) {
  if (lang < 1 || lang >= lang_count) return;
  UTL_translate_load_path(lang, kLangInfo[lang].resource);
}

void UTL_translate_load_path(int lang, const std::string& path) {
  UTL_translate_clear();
  plural_mode = kLangInfo[lang].plural_mode;

  xmap_class f(path);
  if (!f.map_base) return;
  if (f.check_file(xmap_text, k_translation_versions, "TRANSLATION", nullptr) != 900) return;

  const char* p = f.cursor;
  const char* const end = f.map_end;
  while (p < end) {
    while (p < end && is_blank(*p)) ++p;
    int table = -1;
    if (starts_keyword(p, end, "STRING", 6)) {
      table = 0;
      p += 7;
    } else if (starts_keyword(p, end, "GENITIVE", 8)) {
      table = 1;
      p += 9;
    }
    const char* start = p;
    while (p < end && !is_eol(*p)) ++p;
    if (table >= 0) {
      const std::string entry(start, static_cast<size_t>(p - start));
      const size_t sep = entry.find("====");
      if (sep != std::string::npos && sep + 5 < entry.size()) {
        std::string english = entry.substr(0, sep);
        std::string translation = entry.substr(sep + 4);
        str_unescape(english);
        str_unescape(translation);
        dictionary[table].emplace(std::move(english), std::move(translation));
      }
    }
    while (p < end && (is_eol(*p) || is_blank(*p))) ++p;
  }

  if (plural_mode == 2)
    for (const auto& [english, translation] : dictionary[1])
      if (!dictionary[0].count(english))
        xer << "WARNING: language file line " << english << "====" << translation
            << " is provided in genitive but not plural case.\n\n";

  has_translation = 1;
  log_missing = cmdline.has_option("--missing_strings");
}

std::string UTL_translate_string(const std::string& text, int table) {
  if (!has_translation || table < 0 || table > 1) return text;
  auto hit = dictionary[table].find(text);
  if (hit != dictionary[table].end()) return hit->second;
  if (log_missing && logged.insert(text).second) {
    std::string e = text;
    replace_all(e, "\r", "\\r");
    replace_all(e, "\n", "\\n");
    xer << "STRING " << e << "====" << e << "\n";
  }
  return text;
}

std::string UTL_translate_plural(int n, const std::string& singular, const std::string& plural) {
  switch (plural_mode) {
    case 0:
      return UTL_translate_string(n <= 1 ? singular : plural, 0);
    case 2: {
      if (n == 1) return UTL_translate_string(singular, 0);
      const int last = n % 10, last2 = n % 100;
      if (last >= 2 && last <= 4 && !(last2 >= 10 && last2 <= 20) && has_translation &&
          dictionary[1].count(plural))
        return UTL_translate_string(plural, 1);
      return UTL_translate_string(plural, 0);
    }
    default:
      return UTL_translate_string(n == 1 ? singular : plural, 0);
  }
}

std::string UTL_string_sub_x(const std::string& text, int count, const std::string* const* values) {
  std::string r = text;
  size_t open, close;
  for (size_t pos = 0; find_placeholder(r, pos, &open, &close);) {
    pos = open + 1;
    const long n = placeholder_number(r, open + 1);
    if (n >= 1 && n <= count) {
      const std::string& v = *values[n - 1];
      r.replace(open, close - open + 1, v);
      pos = open + v.size();  // what was inserted is not scanned again
    }
  }
  return r;
}

std::string UTL_string_sub(const std::string& text, const std::string& v1) {
  const std::string* v[] = {&v1};
  return UTL_string_sub_x(text, 1, v);
}
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2) {
  const std::string* v[] = {&v1, &v2};
  return UTL_string_sub_x(text, 2, v);
}
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3) {
  const std::string* v[] = {&v1, &v2, &v3};
  return UTL_string_sub_x(text, 3, v);
}
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3, const std::string& v4) {
  const std::string* v[] = {&v1, &v2, &v3, &v4};
  return UTL_string_sub_x(text, 4, v);
}
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3, const std::string& v4, const std::string& v5) {
  const std::string* v[] = {&v1, &v2, &v3, &v4, &v5};
  return UTL_string_sub_x(text, 5, v);
}
std::string UTL_string_sub(const std::string& text, const std::string& v1, const std::string& v2,
                           const std::string& v3, const std::string& v4, const std::string& v5,
                           const std::string& v6) {
  const std::string* v[] = {&v1, &v2, &v3, &v4, &v5, &v6};
  return UTL_string_sub_x(text, 6, v);
}

void UTL_string_check(const std::string& text, std::vector<int>& numbers) {
  size_t open, close;
  for (size_t pos = 0; find_placeholder(text, pos, &open, &close);) {
    pos = open + 1;
    const long n = placeholder_number(text, open + 1);
    if (n > 0) {
      numbers.push_back(n > INT_MAX ? INT_MAX : static_cast<int>(n));
      pos = close + 1;
    }
  }
}

void str_unescape(std::string& s) {
  replace_all(s, "\\r", "\r");
  replace_all(s, "\\n", "\n");
}

int UTL_count_leading(const std::string& s) {
  const size_t n = s.find_first_not_of(' ');
  return static_cast<int>(n == std::string::npos ? s.size() : n);
}

int UTL_count_trailing(const std::string& s) {
  const size_t n = s.find_last_not_of(' ');
  return static_cast<int>(n == std::string::npos ? s.size() : s.size() - 1 - n);
}
