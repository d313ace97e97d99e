// The help book's Japanese text for a viewer that breaks lines at blanks only.
#pragma once

#include <string>
#include <string_view>

namespace vema {

// The mark of a place where a line may break (the viewer gives it no width).
inline constexpr std::string_view kLineBreakMark = "<wbr>";

// A help page (UTF-8 HTML) with kLineBreakMark between two Japanese characters of its body
// text wherever Japanese allows a line to break: not before closing brackets, punctuation,
// small kana or the long-vowel mark, and not after opening brackets.  Tags, the head and
// everything outside Japanese runs (numbers, Latin words, entities) are left as they are.
std::string MarkJapaneseLineBreaks(std::string_view html);

}  // namespace vema
