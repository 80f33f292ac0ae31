// Resource names ("RESOURCE:" + a file of the application's resources) and
// conversions between UTF-8 and UTF-16.
#pragma once

#include <cstdint>
#include <string>

// 1 and the prefix removed when path begins with "RESOURCE:"; else 0 and path
// unchanged.
int UTL_path_is_resource(std::string& path);
// Full path of the named file in the resources folder, "" when it has none.
std::string UTL_resource_get_file(const std::string& name);
// The resources folder is "Resources/" beside the executable; tests point it
// elsewhere (a folder path ending in "/"; "" restores the default).
void UTL_set_resource_folder(const std::string& folder);
std::string UTL_resource_folder();

// Malformed input never reads past the text: a broken or out-of-range
// sequence and a lone surrogate become U+FFFD.
void string_utf_8_to_16(const std::string& utf8, std::u16string& out);
void string_utf_16_to_8(const std::u16string& utf16, std::string& out);
// Appends the UTF-8 form of one code point (at most U+10FFFF).
void UTL_append_utf8(uint32_t code, std::string& out);
