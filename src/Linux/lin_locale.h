// The user's preferred interface languages, most wanted first.
#pragma once

#include <string>
#include <vector>

// From LANGUAGE (a ":" list), then the locale in force (LC_ALL, else
// LC_MESSAGES, else LANG). Locale names lose their territory, codeset and
// modifier ("pt_BR.UTF-8@x" gives "pt"); "C" and "POSIX" name no language.
std::vector<std::string> LIN_preferred_languages();
// The language part of one POSIX locale name ("" for C and POSIX).
std::string LIN_locale_language(const std::string& name);
