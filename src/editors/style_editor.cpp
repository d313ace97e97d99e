#include "editors/style_editor.h"

#include <cstdio>
#include <limits>


namespace vema {

namespace {

size_t U(int i) { return static_cast<size_t>(i); }

// Reads an optional sign and digits from text[pos..]; advances pos past them.
std::optional<int64_t> ReadNumber(const std::string& text, size_t& pos) {
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const size_t start = pos;
  int64_t value = 0;
  constexpr int64_t kCap = int64_t{1} << 40;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (value < kCap) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return negative ? -value : value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Number(int32_t value) { return std::to_string(value); }

// The value of a whole number with blanks around it (kept in 41 bits), or nullopt.
std::optional<int64_t> WholeNumber(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  const std::optional<int64_t> value = ReadNumber(text, pos);
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos != text.size()) return std::nullopt;
  return value;
}

}  // namespace

int32_t FieldValue(const std::string& text) {
  // "12abc" is no number: it counts as 0, like any text that is not a number.
  return IsWholeNumber(text) ? static_cast<int32_t>(*WholeNumber(text)) : 0;
}

bool IsWholeNumber(const std::string& text) {
  const std::optional<int64_t> value = WholeNumber(text);
  return value && *value >= std::numeric_limits<int32_t>::min() &&
         *value <= std::numeric_limits<int32_t>::max();
}

StyleEditor::StyleEditor(const EditorContext& context) : working(context.style), context_(context) {
  for (std::string_view name : kLengthClassNames) tabs.emplace_back(name);
  // The fields show class 0, source rule 0 and the settings; the row captions name rule 0 from
  // the start (blank captions left the rows without their source rule until the first step).
  sourceRuleField.text = "0";
  ShowRule(0, 0);
}

void StyleEditor::SelectTab(int tab) {
  if (tab < 0 || tab >= kLengthClasses) return;
  currentClass = tab;
  ShowRule(currentClass, sourceRule);
}

void StyleEditor::Scroll(ScrollStep step) {
  int rule = sourceRule;
  if (step == ScrollStep::kLineLeft || step == ScrollStep::kPageLeft) {
    if (rule > 0) --rule;
  } else if (step == ScrollStep::kLineRight || step == ScrollStep::kPageRight) {
    if (rule < kRuleCount - 1) ++rule;
  }
  if (rule == sourceRule) return;
  sourceRule = rule;
  sourceRuleField.text = Number(sourceRule);
  ShowRule(currentClass, sourceRule);
}

void StyleEditor::ShowRule(int lengthClass, int rule) {
  char caption[16];
  std::snprintf(caption, sizeof caption, "%2d", rule);
  for (int n = 0; n < kRuleCount; ++n) {
    onCaption[U(n)].text = caption;
    offCaption[U(n)].text = caption;
    onBeat[U(n)].text = Number(working.onBeat(lengthClass, rule, n));
    offBeat[U(n)].text = Number(working.offBeat(lengthClass, rule, n));
  }
  for (int k = 0; k < kSettingsShown; ++k) setting[U(k)].text = Number(working.settings[U(k)]);
}

void StyleEditor::EditOnBeat(int next, const std::string& text) {
  if (next < 0 || next >= kRuleCount) return;
  onBeat[U(next)].text = text;
  working.onBeat(currentClass, sourceRule, next) = FieldValue(text);
}

void StyleEditor::EditOffBeat(int next, const std::string& text) {
  if (next < 0 || next >= kRuleCount) return;
  offBeat[U(next)].text = text;
  working.offBeat(currentClass, sourceRule, next) = FieldValue(text);
}

void StyleEditor::EditSetting(int index, const std::string& text) {
  if (index < 0 || index >= kSettingsShown) return;
  setting[U(index)].text = text;
  working.settings[U(index)] = FieldValue(text);
}

void StyleEditor::ApplyStyle() { context_.style = working; }

std::optional<StyleField> StyleEditor::PressApply() {
  ApplyStyle();
  using Column = StyleField::Column;
  for (int n = 0; n < kRuleCount; ++n) {
    if (!IsWholeNumber(onBeat[U(n)].text)) {
      context_.platform.ShowMessage(kNotANumberMessage, MessageIcon::kStop);
      return StyleField{Column::kOnBeat, n};
    }
  }
  for (int n = 0; n < kRuleCount; ++n) {
    if (!IsWholeNumber(offBeat[U(n)].text)) {
      context_.platform.ShowMessage(kNotANumberMessage, MessageIcon::kStop);
      return StyleField{Column::kOffBeat, n};
    }
  }
  for (int k = 0; k < kSettingsShown; ++k) {
    if (!IsWholeNumber(setting[U(k)].text)) {
      context_.platform.ShowMessage(kNotANumberMessage, MessageIcon::kStop);
      return StyleField{Column::kSetting, k};
    }
  }
  const int32_t runLimit = FieldValue(setting[2].text);
  if (runLimit < 0 || runLimit > 11) {
    context_.platform.ShowMessage(kRunLimitRangeMessage, MessageIcon::kStop);
    return StyleField{Column::kSetting, 2};
  }
  return std::nullopt;
}

bool StyleEditor::PressSave() {
  FileDialogRequest request;
  request.save = true;
  request.defaultExtension = "ton";
  request.initialName = "style01.ton";
  request.filter = "TONE Files (*.ton)|*.ton|";
  const std::optional<std::string> path = context_.platform.ChooseFile(request);
  if (!path || path->empty()) return false;
  // Written first: when the file cannot be written nothing is applied.
  if (!working.Save(*path, context_.platform, context_.dir)) return false;
  ApplyStyle();
  return true;
}

int64_t StyleEditor::Sum(bool onBeatColumn) const {
  const auto& row = working.table[U(currentClass + (onBeatColumn ? 0 : kLengthClasses))]
                                 [U(sourceRule)];
  int64_t sum = 0;
  for (int n = 0; n < kRuleCount; ++n) sum += row[U(n)];
  return sum;
}

int64_t StyleEditor::OnBeatSum() const { return Sum(true); }
int64_t StyleEditor::OffBeatSum() const { return Sum(false); }

std::string StyleEditor::SumText(int64_t sum) {
  return "合計 " + std::to_string(sum) + "％" + (SumMarked(sum) ? " ≠100" : "");
}

}  // namespace vema
