#include "UTL/resource.h"

#include <sys/stat.h>

#include <cstdint>
#include <mutex>

#include "Linux/lin_sys.h"

namespace {

const char k_prefix[] = "RESOURCE:";
const size_t k_prefix_len = sizeof(k_prefix) - 1;

std::mutex folder_mtx;
std::string folder_override;

std::string default_folder() {
  static const std::string folder = [] {
    std::string exe = LIN_exe_path();
    size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1) + "Resources/";
  }();
  return folder;
}

// A resource name stays inside the resources folder.
bool name_is_contained(const std::string& name) {
  if (name.empty() || name[0] == '/') return false;
  size_t i = 0;
  while (i <= name.size()) {
    size_t j = name.find('/', i);
    if (j == std::string::npos) j = name.size();
    if (name.compare(i, j - i, "..") == 0 && j - i == 2) return false;
    i = j + 1;
  }
  return true;
}

const char16_t k_replacement = 0xFFFD;

bool is_continuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

}  // namespace

void UTL_append_utf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code <= 0xFFFF) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

int UTL_path_is_resource(std::string& path) {
  if (path.size() < k_prefix_len || path.compare(0, k_prefix_len, k_prefix) != 0) return 0;
  path.erase(0, k_prefix_len);
  return 1;
}

void UTL_set_resource_folder(const std::string& folder) {
  std::lock_guard<std::mutex> g(folder_mtx);
  folder_override = folder;
}

std::string UTL_resource_folder() {
  {
    std::lock_guard<std::mutex> g(folder_mtx);
    if (!folder_override.empty()) return folder_override;
  }
  return default_folder();
}

std::string UTL_resource_get_file(const std::string& name) {
  if (!name_is_contained(name)) return "";
  const std::string folder = UTL_resource_folder();
  if (folder.empty()) return "";
  const std::string path = folder + name;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "";
  return path;
}

void string_utf_8_to_16(const std::string& utf8, std::u16string& out) {
  out.clear();
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    uint32_t code;
    int more;
    if (lead < 0x80) {
      code = lead;
      more = 0;
    } else if (lead >= 0xC0 && lead <= 0xDF) {
      code = lead & 0x1F;
      more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      code = lead & 0x0F;
      more = 2;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
      code = lead & 0x07;
      more = 3;
    } else {
      code = k_replacement;  // a stray continuation byte or 0xF8..0xFF
      more = -1;
    }
    ++i;
    int got = 0;
    for (; more > 0 && got < more && i < n &&
           is_continuation(static_cast<unsigned char>(utf8[i]));
         ++got, ++i)
      code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    if (more > 0 && got < more) code = k_replacement;  // cut short
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = k_replacement;
    // On to the next byte that starts a character.
    while (i < n && is_continuation(static_cast<unsigned char>(utf8[i]))) ++i;
    if (code < 0x10000) {
      out += static_cast<char16_t>(code);
    } else {
      out += static_cast<char16_t>(0xD800 | ((code >> 10) - 64));
      out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
    }
  }
}

void string_utf_16_to_8(const std::u16string& utf16, std::string& out) {
  out.clear();
  const size_t n = utf16.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t code = utf16[i];
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 1 < n && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
        code = 0x10000 + (((code & 0x3FF) << 10) | (utf16[i + 1] & 0x3FFu));
        ++i;
      } else {
        code = k_replacement;
      }
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      code = k_replacement;
    }
    UTL_append_utf8(code, out);
  }
}
