// Conversions between the UTF-8 text kept in memory and the CP932 bytes of files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vema {

// UTF-8 to CP932.  A character without a CP932 form becomes "?"; the result is cut at
// max_bytes without splitting a double-byte character.
std::string Utf8ToCp932(std::string_view utf8, size_t max_bytes = std::string::npos);

// CP932 to UTF-8.  A byte that starts no valid CP932 character becomes "?".
std::string Cp932ToUtf8(std::string_view cp932);

// The longest prefix of a UTF-8 text whose CP932 form has at most max_bytes bytes.
std::string CutUtf8ToCp932Bytes(std::string_view utf8, size_t max_bytes);

// The first line of a text (up to the first CR or LF).
std::string_view FirstLine(std::string_view text);

}  // namespace vema
