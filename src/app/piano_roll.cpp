#include "app/piano_roll.h"

#include <algorithm>

#include "song/form.h"

namespace vema {
namespace {

constexpr int kMinimumSpan = 24;  // keys shown at least (two octaves)
constexpr int kKeyMargin = 2;     // keys above the highest and below the lowest note
constexpr int kLabelPadding = 3;
constexpr int kMinBarNumberWidth = 28;  // room for a bar number before they are thinned out

bool IsBlack(int key) {
  switch (((key % 12) + 12) % 12) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
      return true;
    default:
      return false;
  }
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::string KeyName(int key) {
  static constexpr const char* kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                             "F#", "G",  "G#", "A",  "A#", "B"};
  return kNames[key % 12] + std::to_string(key / 12 - 1);
}

void PianoRollLayout::SetSong(std::optional<SongScore> score) {
  score_ = std::move(score);
  int low = 128, high = -1;
  if (score_) {
    const MidiNotes& n = score_->notes;
    for (const auto* list : {&n.melody, &n.bass, &n.chords}) {
      for (const ScoreNote& note : *list) {
        low = std::min(low, note.key);
        high = std::max(high, note.key);
      }
    }
  }
  if (high < 0) {
    low = 48;
    high = 84;
  }
  low = std::max(0, low - kKeyMargin);
  high = std::min(127, high + kKeyMargin);
  while (high - low + 1 < kMinimumSpan) {
    if (high < 127) ++high;
    if (high - low + 1 < kMinimumSpan && low > 0) --low;
  }
  low_ = low;
  high_ = high;
}

bool PianoRollLayout::ZoomIn() {
  if (zoom_ + 1 >= static_cast<int>(kZoomLevels.size())) return false;
  ++zoom_;
  return true;
}

bool PianoRollLayout::ZoomOut() {
  if (zoom_ == 0) return false;
  --zoom_;
  return true;
}

int PianoRollLayout::Width() const {
  const int bars = score_ ? score_->bars : 0;
  return kKeyboardWidth + bars * BarWidth() + kRightMargin;
}

int PianoRollLayout::Height() const { return DrumStrip().y + kDrumHeight + kDrumGap; }

int PianoRollLayout::XOfTick(int64_t tick) const {
  return kKeyboardWidth + static_cast<int>(tick * PixelsPerQuarter() / kTicksPerQuarter);
}

int64_t PianoRollLayout::TickAtX(int x) const {
  return std::max<int64_t>(
      0, static_cast<int64_t>(x - kKeyboardWidth) * kTicksPerQuarter / PixelsPerQuarter());
}

int PianoRollLayout::YOfKey(int key) const { return kHeaderHeight + (high_ - key) * kKeyHeight; }

std::vector<int> PianoRollLayout::BarLines() const {
  std::vector<int> lines;
  if (!score_) return lines;
  for (int b = 0; b <= score_->bars; ++b) lines.push_back(XOfTick(b * kTicksPerBar));
  return lines;
}

std::vector<int> PianoRollLayout::BeatLines() const {
  std::vector<int> lines;
  if (!score_) return lines;
  for (int b = 0; b < score_->bars; ++b) {
    for (int beat = 1; beat < 4; ++beat) {
      lines.push_back(XOfTick(b * kTicksPerBar + beat * kTicksPerQuarter));
    }
  }
  return lines;
}

std::vector<RollNote> PianoRollLayout::Notes() const {
  std::vector<RollNote> notes;
  if (!score_) return notes;
  const MidiNotes& n = score_->notes;
  const std::pair<const std::vector<ScoreNote>*, RollPart> parts[] = {
      {&n.chords, RollPart::kChords}, {&n.bass, RollPart::kBass}, {&n.melody, RollPart::kMelody}};
  for (const auto& [list, part] : parts) {
    for (const ScoreNote& note : *list) {
      if (note.key < low_ || note.key > high_) continue;
      const int x = XOfTick(note.start);
      // One pixel of air after every note, so that repeated notes stay apart.
      const int width = std::max(1, XOfTick(note.start + note.length) - x - 1);
      notes.push_back({{x, YOfKey(note.key), width, kKeyHeight}, part, note.key});
    }
  }
  return notes;
}

RollRect PianoRollLayout::DrumStrip() const {
  const int top = YOfKey(low_) + kKeyHeight + kDrumGap;
  return {kKeyboardWidth, top, Width() - kKeyboardWidth - kRightMargin, kDrumHeight};
}

std::vector<RollRect> PianoRollLayout::DrumHits() const {
  std::vector<RollRect> hits;
  if (!score_) return hits;
  const RollRect strip = DrumStrip();
  for (const ScoreNote& hit : score_->notes.drums) {
    // Bass drums take the whole strip, the rest of the kit half of it.
    const bool kick = hit.key == 35 || hit.key == 36;
    const int height = kick ? strip.height : strip.height / 2;
    hits.push_back({XOfTick(hit.start), strip.y + strip.height - height, 2, height});
  }
  return hits;
}

std::vector<RollLabel> PianoRollLayout::BarNumbers() const {
  std::vector<RollLabel> labels;
  if (!score_) return labels;
  int step = 1;
  while (step * BarWidth() < kMinBarNumberWidth) step *= 2;
  for (int b = 0; b < score_->bars; b += step) {
    labels.push_back({{XOfTick(b * kTicksPerBar) + kLabelPadding, 1,
                       step * BarWidth() - kLabelPadding, kRowHeight - 1},
                      std::to_string(b + 1),
                      b});
  }
  return labels;
}

std::vector<RollLabel> PianoRollLayout::ChordLabels() const {
  std::vector<RollLabel> labels;
  if (!score_) return labels;
  for (int b = 0; b < score_->bars; ++b) {
    const std::string& chord = score_->ChordOf(b);
    if (chord.empty()) continue;
    labels.push_back({{XOfTick(b * kTicksPerBar) + kLabelPadding, kRowHeight + 1,
                       BarWidth() - kLabelPadding, kRowHeight - 1},
                      chord,
                      b});
  }
  return labels;
}

std::vector<RollLabel> PianoRollLayout::KeyMarks() const {
  std::vector<RollLabel> labels;
  if (!score_) return labels;
  for (int b = 0; b < score_->bars; ++b) {
    if (b > 0 && !score_->KeyChangesAt(b)) continue;
    const int key = score_->KeyOf(b);
    const std::string text =
        "調 " + (key >= 0 && key < kKeyCount ? Trimmed(KeyList[static_cast<size_t>(key)]) : "?");
    // A mark runs until the next change.
    int next = b + 1;
    while (next < score_->bars && !score_->KeyChangesAt(next)) ++next;
    labels.push_back({{XOfTick(b * kTicksPerBar) + kLabelPadding, 2 * kRowHeight + 1,
                       (next - b) * BarWidth() - kLabelPadding, kRowHeight - 1},
                      text,
                      b});
  }
  return labels;
}

std::vector<RollKey> PianoRollLayout::Keyboard() const {
  std::vector<RollKey> keys;
  for (int key = high_; key >= low_; --key) {
    keys.push_back({key, {0, YOfKey(key), kKeyboardWidth, kKeyHeight}, IsBlack(key), KeyName(key)});
  }
  return keys;
}

std::optional<int> PianoRollLayout::CursorX(int64_t tick) const {
  if (!score_ || tick < 0 || tick > score_->EndTick()) return std::nullopt;
  return XOfTick(tick);
}

int PianoRollLayout::FollowCursor(int64_t tick, int viewLeft, int viewWidth) const {
  const std::optional<int> x = CursorX(tick);
  if (!x) return viewLeft;
  // The bars visible right of the keyboard, which stays at the view's left edge.
  const int visibleLeft = viewLeft + kKeyboardWidth;
  const int visibleRight = viewLeft + viewWidth;
  if (*x >= visibleLeft && *x < visibleRight - kRightMargin) return viewLeft;
  const int wanted = *x - kKeyboardWidth - (viewWidth - kKeyboardWidth) / 4;
  return std::clamp(wanted, 0, std::max(0, Width() - viewWidth));
}

int PianoRollLayout::KeepTickAt(int64_t tick, int viewX) const {
  return std::max(0, XOfTick(tick) - viewX);
}

}  // namespace vema
