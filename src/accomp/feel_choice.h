// The feel dialog without its drawing: the four choices, the march preset at every showing and
// what "適用" and closing store.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vema {

inline constexpr std::array<const char*, 4> kFeelLabels = {"マーチ風", "スタンダード風",
                                                           "ブルース風", "ロック風"};

class FeelChoice {
 public:
  // The dialog was shown: "マーチ風" is checked, whatever was chosen before.
  void OnShown() { index_ = 0; }
  void Select(int index) {
    if (index >= 0 && index < static_cast<int>(kFeelLabels.size())) index_ = index;
  }
  int index() const { return index_; }  // -1 until the dialog was shown
  // "適用": the checked feel (march when nothing valid is checked).
  int Confirm() const { return index_ < 0 ? 0 : index_; }

 private:
  int index_ = -1;
};

// Stores the dialog's answer: a confirmed feel replaces the stored one, a closed dialog
// (nullopt) leaves it.
inline void StoreFeelAnswer(int8_t& feel, std::optional<int> answer) {
  if (answer && *answer >= 0 && *answer < static_cast<int>(kFeelLabels.size())) {
    feel = static_cast<int8_t>(*answer);
  }
}

}  // namespace vema
