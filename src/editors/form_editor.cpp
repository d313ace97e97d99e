#include "editors/form_editor.h"

#include <cstdio>

#include "song/form.h"
#include "song/text.h"

namespace vema {

namespace {

std::string Format2(const char* format, int a) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, a);
  return buffer;
}

std::string BarEntry(int period, int bar) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%2d-%2d", period, bar);
  return buffer;
}

size_t U(int i) { return static_cast<size_t>(i); }

}  // namespace

int EffectiveSource(int bar, int value) { return value >= 0 && value < bar ? value : -1; }

FormEditor::FormEditor(const EditorContext& context) : context_(context) {}

SongForm& FormEditor::form() { return context_.form; }

std::string FormEditor::ChordText(int bar) { return Cp932ToUtf8(form().Chord(bar)); }

int FormEditor::EffectivePeriodSource(int period) {
  const int value = form().periodSource[U(period)];
  return value >= 0 && value < period ? value : -1;
}

void FormEditor::CheckPeriodCount() {
  int count = 0;
  for (ButtonState& button : periodCount) button.checked = ++count == form().PeriodCount();
}

void FormEditor::Initialise() {
  CheckPeriodCount();
  RebuildPeriodTabs();
  ShowPeriod();
}

void FormEditor::SelectPeriodCount(int count) {
  if (refreshing || count < 1 || count > kMaxPeriods) return;
  form().lastPeriod = count - 1;
  CheckPeriodCount();
  RebuildPeriodTabs();
  ShowPeriod();
}

void FormEditor::SelectTab(int tab) {
  if (refreshing || tab < 0 || tab >= static_cast<int>(tabs.size())) return;
  currentTab = tab;
  currentPeriod = tab;
  periodLabel.text = Format2("楽節 %2d", currentPeriod + 1);
  ShowPeriod();
}

void FormEditor::PressCopyPeriod() {
  if (refreshing || currentPeriod == 0) return;
  form().periodSource[U(currentPeriod)] = 0;
  ShowPeriod();
}

void FormEditor::PressNewPeriod() {
  if (refreshing) return;
  form().periodSource[U(currentPeriod)] = -1;
  ShowPeriod();
}

void FormEditor::SelectCopySource(int position) {
  if (refreshing || !copySource.enabled || position < 0 || position >= currentPeriod) return;
  CopyPeriod(currentPeriod, position);
  ShowPeriod();
}

void FormEditor::AfterCustomFormSave() { ShowPeriod(); }

void FormEditor::AfterCustomFormLoad() {
  RebuildPeriodTabs();
  CheckPeriodCount();
  ShowPeriod();
}

void FormEditor::RebuildPeriodTabs() {
  tabs.clear();
  for (int p = 0; p < form().PeriodCount(); ++p) tabs.push_back(Format2("楽式%02d", p + 1));
  currentTab = 0;
  currentPeriod = currentTab;
  periodLabel.text = Format2("楽節 %2d", currentPeriod + 1);
  refreshing = 1;
  for (int p = form().PeriodCount(); p < kMaxPeriods; ++p) ResetPeriod(p);
  refreshing = 0;
}

void FormEditor::ShowPeriod() {
  refreshing = 1;
  copyPeriod.enabled = currentPeriod > 0;
  const int source = EffectivePeriodSource(currentPeriod);
  // The copy-source list names the earlier periods; a new period selects none of them.
  copySource.items.clear();
  for (int p = 1; p <= currentPeriod; ++p) copySource.items.push_back(Format2("%2d", p));
  copySource.selection = source;
  copySource.enabled = source >= 0;
  copySourceLabel.enabled = source >= 0;
  newPeriod.checked = source < 0;
  copyPeriod.checked = source >= 0;
  if (source >= 0) CopyPeriod(currentPeriod, source);
  for (int c = 0; c < kColumns; ++c) FillColumn(c, source >= 0);
  refreshing = 0;
}

void FormEditor::FillColumn(int column, bool allDisabled) {
  const int i = Flat(column);
  const SongForm& f = form();
  const bool newMelody = EffectiveSource(i, f.melodySource[U(i)]) < 0;
  const bool newMotif = EffectiveSource(i, f.motifSource[U(i)]) < 0;
  FillBarCombo(melody[U(column)], column + 1, !allDisabled, f.melodySource[U(i)]);
  FillBarCombo(motif[U(column)], column + 1, !allDisabled && newMelody, f.motifSource[U(i)]);
  FillBarCombo(noteLength[U(column)], column + 1, !allDisabled && newMotif,
               f.noteLengthSource[U(i)]);
  FillBarCombo(key[U(column)], std::nullopt, !allDisabled && newMelody, f.keyIndex[U(i)]);
  SetChordEdit(chord[U(column)], !allDisabled && newMelody, ChordText(i));
}

void FormEditor::FillBarCombo(ListState& combo, std::optional<int> bar, bool enable, int value) {
  combo.enabled = enable;
  if (!bar) {
    if (combo.items.size() != KeyList.size()) {
      combo.items.assign(KeyList.begin(), KeyList.end());
    }
    combo.selection = value >= 0 && value < kKeyCount ? value : -1;
    return;
  }
  combo.items.clear();
  combo.items.push_back(" 新規");
  for (int q = 1; q <= currentPeriod; ++q) {
    for (int c = 1; c <= kColumns; ++c) combo.items.push_back(BarEntry(q, c));
  }
  for (int c = 1; c < *bar; ++c) combo.items.push_back(BarEntry(currentPeriod + 1, c));
  // Position k >= 1 is the bar with flat index k - 1; a value that names no earlier bar is
  // shown as new.
  const int flat = currentPeriod * kColumns + *bar - 1;
  combo.selection = EffectiveSource(flat, value) + 1;
}

void FormEditor::SetChordEdit(TextState& edit, std::optional<bool> enable,
                              const std::string& text) {
  if (enable) edit.enabled = *enable;
  edit.text = text;
}

void FormEditor::CopyPeriod(int period, int source) {
  if (period <= 0 || period >= kMaxPeriods || source < 0 || source >= period) return;
  SongForm& f = form();
  f.periodSource[U(period)] = source;
  for (int b = 0; b < kColumns; ++b) {
    const size_t to = U(period * kColumns + b);
    const size_t from = U(source * kColumns + b);
    f.melodySource[to] = f.motifSource[to] = f.noteLengthSource[to] = static_cast<int32_t>(from);
    f.keyIndex[to] = f.keyIndex[from];
    f.chordSymbol[to] = f.chordSymbol[from];
  }
}

void FormEditor::ResetPeriod(int period) {
  if (period < 0 || period >= kMaxPeriods) return;
  SongForm& f = form();
  f.periodSource[U(period)] = -1;
  for (int b = 0; b < kColumns; ++b) {
    const size_t i = U(period * kColumns + b);
    f.melodySource[i] = f.motifSource[i] = f.noteLengthSource[i] = -1;
    f.keyIndex[i] = f.keyIndex[U(b)];
    f.chordSymbol[i] = f.chordSymbol[0];
  }
}

void FormEditor::PropagateKeys() {
  SongForm& f = form();
  for (int j = 0; j < f.BarCount(); ++j) {
    const int m = EffectiveSource(j, f.melodySource[U(j)]);
    if (m >= 0) f.keyIndex[U(j)] = f.keyIndex[U(m)];
  }
}

void FormEditor::PropagateChords() {
  SongForm& f = form();
  // Ascending order carries chains of repeats through: a source always comes earlier.
  for (int j = 0; j < f.BarCount(); ++j) {
    const int m = EffectiveSource(j, f.melodySource[U(j)]);
    if (m >= 0) f.chordSymbol[U(j)] = f.chordSymbol[U(m)];
  }
}

void FormEditor::RefreshKeys() {
  for (int c = 0; c < kColumns; ++c) {
    FillBarCombo(key[U(c)], std::nullopt, key[U(c)].enabled, form().keyIndex[U(Flat(c))]);
  }
}

void FormEditor::RefreshChords(int exceptColumn) {
  for (int c = 0; c < kColumns; ++c) {
    if (c != exceptColumn) SetChordEdit(chord[U(c)], std::nullopt, ChordText(Flat(c)));
  }
}

void FormEditor::OnMelodyChanged(int column, int position) {
  if (refreshing || !ValidColumn(column)) return;
  const int i = Flat(column);
  if (position < 0 || position > i) return;
  SongForm& f = form();
  const int source = position - 1;
  f.melodySource[U(i)] = f.motifSource[U(i)] = f.noteLengthSource[U(i)] = source;
  const size_t from = position > 0 ? U(source) : 0;
  f.keyIndex[U(i)] = f.keyIndex[from];
  f.chordSymbol[U(i)] = f.chordSymbol[from];
  // Bars that repeat this bar follow it (and bars that repeat those).
  PropagateKeys();
  PropagateChords();
  refreshing = 1;
  const bool isNew = source < 0;
  FillBarCombo(melody[U(column)], column + 1, true, f.melodySource[U(i)]);
  FillBarCombo(motif[U(column)], column + 1, isNew, f.motifSource[U(i)]);
  FillBarCombo(noteLength[U(column)], column + 1, isNew, f.noteLengthSource[U(i)]);
  FillBarCombo(key[U(column)], std::nullopt, isNew, f.keyIndex[U(i)]);
  SetChordEdit(chord[U(column)], isNew, ChordText(i));
  RefreshKeys();
  RefreshChords(column);
  refreshing = 0;
}

void FormEditor::OnMotifChanged(int column, int position) {
  if (refreshing || !ValidColumn(column)) return;
  const int i = Flat(column);
  if (position < 0 || position > i) return;
  SongForm& f = form();
  f.motifSource[U(i)] = f.noteLengthSource[U(i)] = position - 1;
  refreshing = 1;
  FillBarCombo(motif[U(column)], column + 1, true, f.motifSource[U(i)]);
  FillBarCombo(noteLength[U(column)], column + 1, f.motifSource[U(i)] < 0,
               f.noteLengthSource[U(i)]);
  refreshing = 0;
}

void FormEditor::OnNoteLengthChanged(int column, int position) {
  if (refreshing || !ValidColumn(column)) return;
  const int i = Flat(column);
  if (position < 0 || position > i) return;
  form().noteLengthSource[U(i)] = position - 1;
  noteLength[U(column)].selection = position;
}

void FormEditor::OnKeyChanged(int column, int position) {
  if (refreshing || !ValidColumn(column) || position < 0 || position >= kKeyCount) return;
  form().keyIndex[U(Flat(column))] = position;
  PropagateKeys();
  refreshing = 1;
  RefreshKeys();
  refreshing = 0;
}

void FormEditor::OnChordChanged(int column, const std::string& text) {
  if (refreshing || !ValidColumn(column)) return;
  // The field holds what is stored: 9 CP932 bytes, never half a double-byte character.
  chord[U(column)].text = CutUtf8ToCp932Bytes(text, kChordBytes - 1);
  form().SetChord(Flat(column), Utf8ToCp932(chord[U(column)].text));
  PropagateChords();
  refreshing = 1;
  RefreshChords(column);
  refreshing = 0;
}

}  // namespace vema
