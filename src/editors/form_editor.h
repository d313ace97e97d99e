// The rules of the form editor: the window in which the user sets up the current form
// (periods, copies of periods, the sources, keys and chords of every bar).  Every change is
// written into the current form at once.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "editors/control_state.h"
#include "editors/editor_context.h"

namespace vema {

struct SongForm;

// Control ids of the form editor's window.
namespace form_ids {
inline constexpr int kPeriodCountFirst = 1006;  // radio buttons "1".."12": 1006..1017
inline constexpr int kPeriodTabs = 1294;
inline constexpr int kPeriodLabel = 1292;
inline constexpr int kCopyPeriod = 1295;
inline constexpr int kNewPeriod = 1296;
inline constexpr int kCopySourceLabel = 1339;
inline constexpr int kCopySource = 1337;
inline constexpr int kMelodyFirst = 1305;      // 1305..1312
inline constexpr int kMotifFirst = 1313;       // 1313..1320
inline constexpr int kNoteLengthFirst = 1321;  // 1321..1328
inline constexpr int kChordFirst = 1179;       // 1179..1186
inline constexpr int kKeyFirst = 1329;         // 1329..1336
inline constexpr int kSaveData = 1275;
inline constexpr int kLoadData = 1276;
inline constexpr int kClose = 1;
}  // namespace form_ids

// A source value as the editor treats it: -1 or an earlier bar; anything else (only a damaged
// store brings it in) counts as -1.
int EffectiveSource(int bar, int value);

class FormEditor {
 public:
  static constexpr int kColumns = 8;

  explicit FormEditor(const EditorContext& context);

  // Opening the window: checks the period-count button, builds the tabs, shows period 1.
  void Initialise();

  // What the person does.
  void SelectPeriodCount(int count);           // radio button "1".."12"
  void SelectTab(int tab);                     // a period tab
  void PressCopyPeriod();                      // "楽式のコピー"
  void PressNewPeriod();                       // "楽式の新規作成"
  void SelectCopySource(int position);         // copy-source list
  void OnMelodyChanged(int column, int position);
  void OnMotifChanged(int column, int position);
  void OnNoteLengthChanged(int column, int position);
  void OnKeyChanged(int column, int position);
  void OnChordChanged(int column, const std::string& text);  // UTF-8 text of the edit field
  // After the custom form dialog closed in save mode / load mode.
  void AfterCustomFormSave();
  void AfterCustomFormLoad();

  // The operations of the window.
  void RebuildPeriodTabs();
  void ShowPeriod();
  // bar: 1..8 for a source list, std::nullopt for a key list.
  void FillBarCombo(ListState& combo, std::optional<int> bar, bool enable, int value);
  // enable: std::nullopt leaves the enabled state as it is.
  void SetChordEdit(TextState& edit, std::optional<bool> enable, const std::string& text);
  void CopyPeriod(int period, int source);
  void ResetPeriod(int period);

  // State.
  int currentPeriod = 0;
  int refreshing = 0;  // 1 while the editor writes into its own controls

  std::array<ButtonState, 12> periodCount{};  // "1".."12"
  std::vector<std::string> tabs;
  int currentTab = 0;
  TextState periodLabel;  // "楽節 %2d"
  ButtonState copyPeriod;  // "楽式のコピー"
  ButtonState newPeriod;   // "楽式の新規作成"
  TextState copySourceLabel{"→　コピー元の楽節", true};
  ListState copySource;
  std::array<ListState, kColumns> melody{};
  std::array<ListState, kColumns> motif{};
  std::array<ListState, kColumns> noteLength{};
  std::array<ListState, kColumns> key{};
  std::array<TextState, kColumns> chord{};

 private:
  SongForm& form();
  // Checks the period-count button of the form's number of periods.
  void CheckPeriodCount();
  int Flat(int column) const { return currentPeriod * kColumns + column; }
  bool ValidColumn(int column) const { return column >= 0 && column < kColumns; }
  // The chord text of a bar as shown (UTF-8).
  std::string ChordText(int bar);
  // Makes every bar that repeats the melody of an earlier bar carry that bar's key and chord.
  void PropagateKeys();
  void PropagateChords();
  // Shows the key and chord of the columns of the current period, except one chord edit.
  void RefreshKeys();
  void RefreshChords(int exceptColumn);
  // The five controls of a column, from the form.
  void FillColumn(int column, bool allDisabled);
  // The period source as the editor treats it: -1 (new) or an earlier period.
  int EffectivePeriodSource(int period);

  EditorContext context_;
};

}  // namespace vema
