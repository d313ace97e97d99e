// Japanese line breaks in the help viewer (see help_line_breaks.cpp).
#pragma once

namespace vema::gui {

// Call before the help viewer shows its first page.
void UseJapaneseLineBreaksInHelp();

}  // namespace vema::gui
