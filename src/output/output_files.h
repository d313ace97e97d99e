// The text of the output files of a composition (they are written by WriteFileAtomically).
#pragma once

#include <string>
#include <string_view>

namespace vema {

// The text as it goes into a text file: every line feed becomes CR LF and the UTF-8 text becomes
// CP932 (a character without a CP932 form becomes "?").
std::string ToCp932TextFile(std::string_view utf8);

}  // namespace vema
