// The state of the controls of an editor window, kept by the editor's rules so that they can
// be driven and inspected without a display; a window only mirrors them.
#pragma once

#include <string>
#include <vector>

namespace vema {

// A drop-down list or a list box: its entries, the selected position (-1 = none), enabled.
struct ListState {
  std::vector<std::string> items;
  int selection = -1;
  bool enabled = true;

  // The selected entry, or "" when nothing is selected.
  std::string SelectedText() const {
    return selection >= 0 && selection < static_cast<int>(items.size())
               ? items[static_cast<size_t>(selection)]
               : std::string();
  }
};

// An edit field or a static text.
struct TextState {
  std::string text;
  bool enabled = true;
};

// A button, radio button or check box.
struct ButtonState {
  bool enabled = true;
  bool checked = false;
};

}  // namespace vema
