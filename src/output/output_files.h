// Writing the output files of a composition.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vema {

// True when the file can be opened for writing (an existing file is neither emptied nor changed;
// a missing one is created empty).
bool CanCreateFile(const std::string& path);

// Replaces the file by the bytes through a temporary file beside it; false (the old file left
// whole) when the bytes could not be written.
bool ReplaceFile(const std::string& path, std::span<const uint8_t> bytes);
bool ReplaceFile(const std::string& path, std::string_view bytes);

// The text as it goes into a text file: every line feed becomes CR LF and the UTF-8 text becomes
// CP932 (a character without a CP932 form becomes "?").
std::string ToCp932TextFile(std::string_view utf8);

}  // namespace vema
