// The rules of the melody style editor: a working copy of the melody style, shown one length
// class and source rule at a time, handed back on 適用 or SAVE and dropped on ｷｬﾝｾﾙ.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "editors/control_state.h"
#include "editors/editor_context.h"
#include "melody/melody_style_db.h"

namespace vema {

namespace style_edit_ids {
inline constexpr int kTabs = 1144;
inline constexpr int kSourceRule = 1040;
inline constexpr int kScroll = 1161;
inline constexpr int kOnBeatFirst = 1016;     // 1016..1026
// Off-beat fields 1028..1032 and 1034..1039 (there is no 1033).
inline constexpr std::array<int, kRuleCount> kOffBeat = {1028, 1029, 1030, 1031, 1032, 1034,
                                                         1035, 1036, 1037, 1038, 1039};
inline constexpr int kOnCaptionFirst = 1119;  // 1119..1129
inline constexpr int kOffCaptionFirst = 1130; // 1130..1140
inline constexpr int kSettingFirst = 1041;    // 1041..1043
inline constexpr int kApply = 1;
inline constexpr int kCancel = 2;
inline constexpr int kSave = 4;
}  // namespace style_edit_ids

// Messages of 適用 for a field that is not a whole number or a run limit outside 0..11.
inline constexpr const char* kNotANumberMessage = "整数を入力してください。";
inline constexpr const char* kRunLimitRangeMessage = "0 から 11 までの整数を入力してください。";

// A field's text read as a signed decimal number; text that is not a whole number that fits 32
// bits (see IsWholeNumber) counts as 0.
int32_t FieldValue(const std::string& text);
// Whether a field's text is a whole number (blanks around it allowed) that fits 32 bits.
bool IsWholeNumber(const std::string& text);

enum class ScrollStep { kLineLeft, kLineRight, kPageLeft, kPageRight, kThumbTrack, kOther };

// Which field a message is about, so that the window can focus it.
struct StyleField {
  enum class Column { kOnBeat, kOffBeat, kSetting } column;
  int index;  // next rule 0..10, or setting 0..2
  bool operator==(const StyleField&) const = default;
};

class StyleEditor {
 public:
  static constexpr int kSettingsShown = 3;

  explicit StyleEditor(const EditorContext& context);

  // What the person does.
  void SelectTab(int tab);
  void Scroll(ScrollStep step);
  void EditOnBeat(int next, const std::string& text);
  void EditOffBeat(int next, const std::string& text);
  void EditSetting(int setting, const std::string& text);
  // 適用: applies the working copy, then checks the fields.  Returns the first field that fails
  // (its message shown, the window stays open) or std::nullopt (the window closes).
  std::optional<StyleField> PressApply();
  // SAVE: asks for a file and writes the working copy there; applied only when written.
  // Returns whether it was written.
  bool PressSave();

  void ShowRule(int lengthClass, int rule);
  void ApplyStyle();

  // Sums of the 11 percentages of the on-beat and off-beat columns shown, and their captions
  // ("合計 %d％", marked when not 100).
  int64_t OnBeatSum() const;
  int64_t OffBeatSum() const;
  static std::string SumText(int64_t sum);
  static bool SumMarked(int64_t sum) { return sum != 100; }

  MelodyStyleDb working;
  int currentClass = 0;
  int sourceRule = 0;

  std::vector<std::string> tabs;
  TextState sourceRuleField;
  std::array<TextState, kRuleCount> onBeat{};
  std::array<TextState, kRuleCount> offBeat{};
  std::array<TextState, kRuleCount> onCaption{};
  std::array<TextState, kRuleCount> offCaption{};
  std::array<TextState, kSettingsShown> setting{};

 private:
  int64_t Sum(bool onBeatColumn) const;
  EditorContext context_;
};

}  // namespace vema
