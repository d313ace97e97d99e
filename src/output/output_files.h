// The output files of a composition: how they are written and the text of the text files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "output/writer_context.h"

namespace vema {

// Writes a file of the output folder: into the context's set, or at once when there is none
// ("File could not created! " with a stop icon when that fails).  False when it failed.
bool WriteOutputFile(const WriterContext& context, const std::string& name,
                     std::span<const uint8_t> bytes);
bool WriteOutputFile(const WriterContext& context, const std::string& name, std::string_view bytes);

// The text as it goes into a text file: every line feed becomes CR LF and the UTF-8 text becomes
// CP932 (a character without a CP932 form becomes "?").
std::string ToCp932TextFile(std::string_view utf8);

}  // namespace vema
