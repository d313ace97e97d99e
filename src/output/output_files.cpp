#include "output/output_files.h"

#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "song/binary_io.h"
#include "song/text.h"

namespace vema {

bool CanCreateFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

bool ReplaceFile(const std::string& path, std::span<const uint8_t> bytes) {
  // No in-place fallback: a write cut short there would leave neither the old file nor the new.
  return WriteFileAtomically(path, bytes);
}

bool ReplaceFile(const std::string& path, std::string_view bytes) {
  return ReplaceFile(path, std::span<const uint8_t>(
                               reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string ToCp932TextFile(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 16);
  // The few distinct non-ASCII runs of a trace are converted once each.
  std::unordered_map<std::string_view, std::string> converted;
  size_t i = 0;
  while (i < utf8.size()) {
    const char c = utf8[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      if (c == '\n') out += '\r';
      out += c;
      ++i;
      continue;
    }
    size_t end = i;
    while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) >= 0x80) ++end;
    const std::string_view run = utf8.substr(i, end - i);
    auto it = converted.find(run);
    if (it == converted.end()) it = converted.emplace(run, Utf8ToCp932(run)).first;
    out += it->second;
    i = end;
  }
  return out;
}

}  // namespace vema
