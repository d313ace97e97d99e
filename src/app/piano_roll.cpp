#include "app/piano_roll.h"

#include <algorithm>

#include "output/music_names.h"
#include "song/form.h"

namespace vema {
namespace {

constexpr int kMinimumSpan = 24;  // keys shown at least (two octaves)
constexpr int kKeyMargin = 2;     // keys above the highest and below the lowest note
constexpr int kLabelPadding = 4;
constexpr int kMinBarNumberWidth = 28;  // room for a bar number before they are thinned out
constexpr int kLabelAllKeysFrom = 14;   // row height from which every white key is named
constexpr int kDrumHitWidth = 3;
constexpr int kClickVelocity = 100;
constexpr int kShortestSoundMs = 150;
constexpr int kLongestSoundMs = 2000;
constexpr int kKeySoundMs = 600;
constexpr int kDrumSoundMs = 400;

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

size_t Index(RollPart part) { return static_cast<size_t>(part); }

}  // namespace

const char* PartName(RollPart part) {
  switch (part) {
    case RollPart::kMelody: return "旋律";
    case RollPart::kBass: return "ベース";
    case RollPart::kChords: return "コード";
    case RollPart::kDrums: return "ドラム";
  }
  return "";
}

int PartChannel(RollPart part) {
  switch (part) {
    case RollPart::kMelody: return 0;
    case RollPart::kChords: return 1;
    case RollPart::kBass: return 2;
    case RollPart::kDrums: return 9;
  }
  return 0;
}

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
  scrollX_ = scrollY_ = 0;
  UpdateKeyHeight();
  Rescale(kKeyboardWidth);
}

void PianoRollLayout::SetViewSize(int width, int height) {
  if (width == viewWidth_ && height == viewHeight_) return;
  viewWidth_ = std::max(0, width);
  viewHeight_ = std::max(0, height);
  UpdateKeyHeight();
  Rescale(kKeyboardWidth);
}

void PianoRollLayout::UpdateKeyHeight() {
  const int keys = high_ - low_ + 1;
  const int room = viewHeight_ - kHeaderHeight - 2 * kDrumGap - kDrumHeight;
  keyHeight_ = std::clamp(room / keys, kMinKeyHeight, kMaxKeyHeight);
  scrollY_ = std::clamp(scrollY_, 0, MaxScrollY());
}

PianoRollLayout::Scale PianoRollLayout::LevelScale(int level) const {
  return {kZoomLevels[static_cast<size_t>(level)], kTicksPerQuarter};
}

std::optional<PianoRollLayout::Scale> PianoRollLayout::FitScale() const {
  const int room = viewWidth_ - kKeyboardWidth - kRightMargin;
  if (!score_ || score_->bars <= 0 || room <= 0) return std::nullopt;
  return Scale{room, static_cast<int64_t>(score_->bars) * kTicksPerBar};
}

void PianoRollLayout::Rescale(int anchorViewX) {
  // The tick under the anchor (a view x among the bars) stays there.
  anchorViewX = std::max(anchorViewX, kKeyboardWidth);
  const int64_t tick = TickAtX(anchorViewX + scrollX_);
  const std::optional<Scale> fit = FitScale();
  scale_ = LevelScale(level_);
  if (fit && (fitWhole_ || Below(scale_, *fit))) scale_ = *fit;
  scrollX_ = std::clamp(XOfTick(tick) - anchorViewX, 0, MaxScrollX());
}

bool PianoRollLayout::WholeSongInView() const {
  const std::optional<Scale> fit = FitScale();
  if (!fit) return level_ == 0;
  return !Below(*fit, scale_);
}

bool PianoRollLayout::CanZoomIn() const {
  return Below(scale_, LevelScale(static_cast<int>(kZoomLevels.size()) - 1));
}

bool PianoRollLayout::ZoomIn(int anchorViewX) {
  for (int level = 0; level < static_cast<int>(kZoomLevels.size()); ++level) {
    if (Below(scale_, LevelScale(level))) {
      level_ = level;
      fitWhole_ = false;
      Rescale(anchorViewX);
      return true;
    }
  }
  return false;
}

bool PianoRollLayout::ZoomOut(int anchorViewX) {
  if (WholeSongInView()) return false;
  const std::optional<Scale> fit = FitScale();
  for (int level = static_cast<int>(kZoomLevels.size()) - 1; level >= 0; --level) {
    const Scale s = LevelScale(level);
    if (!Below(s, scale_)) continue;
    if (fit && !Below(*fit, s)) break;  // the next step shows the whole song
    level_ = level;
    fitWhole_ = false;
    Rescale(anchorViewX);
    return true;
  }
  if (!fit) return false;
  fitWhole_ = true;
  Rescale(anchorViewX);
  return true;
}

bool PianoRollLayout::ZoomToFit() {
  if (WholeSongInView()) return false;
  fitWhole_ = true;
  Rescale(kKeyboardWidth);
  return true;
}

double PianoRollLayout::PixelsPerQuarter() const {
  return static_cast<double>(scale_.pixels) * kTicksPerQuarter / static_cast<double>(scale_.ticks);
}

int PianoRollLayout::BarWidth() const { return XOfTick(kTicksPerBar) - kKeyboardWidth; }

void PianoRollLayout::ShowPart(RollPart part, bool shown) { shown_[Index(part)] = shown; }

void PianoRollLayout::ScrollTo(int x, int y) {
  scrollX_ = std::clamp(x, 0, MaxScrollX());
  scrollY_ = std::clamp(y, 0, MaxScrollY());
}

int PianoRollLayout::MaxScrollX() const { return std::max(0, Width() - viewWidth_); }
int PianoRollLayout::MaxScrollY() const { return std::max(0, Height() - viewHeight_); }

int PianoRollLayout::Width() const {
  const int bars = score_ ? score_->bars : 0;
  return XOfTick(static_cast<int64_t>(bars) * kTicksPerBar) + kRightMargin;
}

int PianoRollLayout::Height() const { return DrumStrip().y + kDrumHeight + kDrumGap; }

int PianoRollLayout::XOfTick(int64_t tick) const {
  return kKeyboardWidth + static_cast<int>(tick * scale_.pixels / scale_.ticks);
}

int64_t PianoRollLayout::TickAtX(int x) const {
  return std::max<int64_t>(0, static_cast<int64_t>(x - kKeyboardWidth) * scale_.ticks /
                                  scale_.pixels);
}

int PianoRollLayout::YOfKey(int key) const {
  return kHeaderHeight + (high_ - key) * keyHeight_;
}

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
    if (!PartShown(part)) continue;
    for (const ScoreNote& note : *list) {
      if (note.key < low_ || note.key > high_) continue;
      const int x = XOfTick(note.start);
      // One pixel of air after every note, so that repeated notes stay apart.
      const int width = std::max(1, XOfTick(note.start + note.length) - x - 1);
      notes.push_back(
          {{x, YOfKey(note.key), width, keyHeight_}, part, note.key, note.start, note.length});
    }
  }
  return notes;
}

RollRect PianoRollLayout::DrumStrip() const {
  const int top = YOfKey(low_) + keyHeight_ + kDrumGap;
  return {kKeyboardWidth, top, Width() - kKeyboardWidth - kRightMargin, kDrumHeight};
}

std::vector<RollNote> PianoRollLayout::DrumHits() const {
  std::vector<RollNote> hits;
  if (!score_ || !PartShown(RollPart::kDrums)) return hits;
  const RollRect strip = DrumStrip();
  for (const ScoreNote& hit : score_->notes.drums) {
    // Bass drums take the whole strip, the rest of the kit half of it.
    const bool kick = hit.key == 35 || hit.key == 36;
    const int height = kick ? strip.height : strip.height / 2;
    hits.push_back({{XOfTick(hit.start), strip.y + strip.height - height, kDrumHitWidth, height},
                    RollPart::kDrums,
                    hit.key,
                    hit.start,
                    0});
  }
  return hits;
}

std::vector<RollLabel> PianoRollLayout::BarNumbers() const {
  std::vector<RollLabel> labels;
  if (!score_) return labels;
  int step = 1;
  while (XOfTick(static_cast<int64_t>(step) * kTicksPerBar) - kKeyboardWidth < kMinBarNumberWidth &&
         step < score_->bars) {
    step *= 2;
  }
  for (int b = 0; b < score_->bars; b += step) {
    const int x = XOfTick(static_cast<int64_t>(b) * kTicksPerBar);
    const int end = XOfTick(static_cast<int64_t>(std::min(b + step, score_->bars)) * kTicksPerBar);
    labels.push_back({{x + kLabelPadding, 0, end - x - kLabelPadding, kRowHeight},
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
    const int x = XOfTick(static_cast<int64_t>(b) * kTicksPerBar);
    const int end = XOfTick(static_cast<int64_t>(b + 1) * kTicksPerBar);
    labels.push_back({{x + kLabelPadding, kRowHeight, end - x - kLabelPadding, kRowHeight},
                      ChordSymbolText(chord),
                      b});
  }
  return labels;
}

std::vector<RollLabel> PianoRollLayout::KeyMarks() const {
  std::vector<RollLabel> labels;
  if (!score_) return labels;
  for (int b = 0; b < score_->bars; ++b) {
    if (b > 0 && !score_->KeyChangesAt(b)) continue;
    // A mark runs until the next change.
    int next = b + 1;
    while (next < score_->bars && !score_->KeyChangesAt(next)) ++next;
    const int x = XOfTick(static_cast<int64_t>(b) * kTicksPerBar);
    const int end = XOfTick(static_cast<int64_t>(next) * kTicksPerBar);
    labels.push_back({{x + kLabelPadding, 2 * kRowHeight, end - x - kLabelPadding, kRowHeight},
                      KeyNameText(score_->KeyOf(b)),
                      b});
  }
  return labels;
}

std::vector<RollKey> PianoRollLayout::Keyboard() const {
  std::vector<RollKey> keys;
  for (int key = high_; key >= low_; --key) {
    const bool black = IsBlack(key);
    const bool labelled = !black && (key % 12 == 0 || keyHeight_ >= kLabelAllKeysFrom);
    keys.push_back(
        {key, {0, YOfKey(key), kKeyboardWidth, keyHeight_}, black, KeyName(key), labelled});
  }
  return keys;
}

std::optional<RollNote> PianoRollLayout::NoteAt(int x, int y) const {
  const std::vector<RollNote> notes = Notes();
  // The last drawn is in front.
  for (auto it = notes.rbegin(); it != notes.rend(); ++it) {
    if (it->rect.Contains(x, y)) return *it;
  }
  if (!DrumStrip().Contains(x, y)) return std::nullopt;
  // A hit is thin: the one nearest to the point within a few pixels.
  std::optional<RollNote> nearest;
  int best = 4;
  for (const RollNote& hit : DrumHits()) {
    if (y < hit.rect.y) continue;
    const int distance = std::abs(hit.rect.x + hit.rect.width / 2 - x);
    if (distance <= best) {
      best = distance;
      nearest = hit;
    }
  }
  return nearest;
}

std::optional<int> PianoRollLayout::KeyAtY(int y) const {
  if (y < kHeaderHeight) return std::nullopt;
  const int row = (y - kHeaderHeight) / keyHeight_;
  const int key = high_ - row;
  if (key < low_) return std::nullopt;
  return key;
}

int PianoRollLayout::BarAtX(int x) const {
  if (!score_ || score_->bars <= 0) return -1;
  return std::clamp(static_cast<int>(TickAtX(x) / kTicksPerBar), 0, score_->bars - 1);
}

int64_t PianoRollLayout::SeekTickAtX(int x) const {
  if (!score_ || score_->bars <= 0) return 0;
  const int64_t tick = std::min<int64_t>(TickAtX(x), score_->EndTick() - 1);
  return tick - tick % kTicksPerQuarter;
}

RollArea PianoRollLayout::AreaAt(int viewX, int viewY) const {
  if (viewX < 0 || viewY < 0 || viewX >= viewWidth_ || viewY >= viewHeight_) {
    return RollArea::kNone;
  }
  if (viewY < kHeaderHeight) return viewX < kKeyboardWidth ? RollArea::kCorner : RollArea::kRuler;
  return viewX < kKeyboardWidth ? RollArea::kKeyboard : RollArea::kNotes;
}

RollClick PianoRollLayout::ClickAt(int viewX, int viewY) const {
  RollClick click;
  if (!score_) return click;
  const int x = CanvasX(viewX), y = CanvasY(viewY);
  const std::array<int, 3>& programs = score_->notes.programs;
  const auto sound = [&](RollPart part, int key, int milliseconds) {
    click.kind = RollClick::Kind::kSound;
    click.part = part;
    click.channel = PartChannel(part);
    // Programs are kept as melody, bass, chords; the drums have none.
    switch (part) {
      case RollPart::kMelody: click.program = programs[0]; break;
      case RollPart::kBass: click.program = programs[1]; break;
      case RollPart::kChords: click.program = programs[2]; break;
      case RollPart::kDrums: click.program = 0; break;
    }
    click.key = key;
    click.velocity = kClickVelocity;
    click.milliseconds = milliseconds;
  };
  switch (AreaAt(viewX, viewY)) {
    case RollArea::kRuler:
      if (x < XOfTick(score_->EndTick())) {
        click.kind = RollClick::Kind::kSeek;
        click.tick = SeekTickAtX(x);
      }
      break;
    case RollArea::kKeyboard:
      // The keyboard plays the melody's instrument.
      if (const std::optional<int> key = KeyAtY(y)) sound(RollPart::kMelody, *key, kKeySoundMs);
      break;
    case RollArea::kNotes:
      if (const std::optional<RollNote> note = NoteAt(x, y)) {
        // As long as the note, within limits.
        const int64_t ms = static_cast<int64_t>(note->length) *
                           score_->notes.microsecondsPerQuarter / kTicksPerQuarter / 1000;
        sound(note->part, note->key,
              note->part == RollPart::kDrums
                  ? kDrumSoundMs
                  : static_cast<int>(std::clamp<int64_t>(ms, kShortestSoundMs, kLongestSoundMs)));
      }
      break;
    case RollArea::kNone:
    case RollArea::kCorner:
      break;
  }
  return click;
}

std::optional<int> PianoRollLayout::CursorX(int64_t tick) const {
  if (!score_ || tick < 0 || tick > score_->EndTick()) return std::nullopt;
  return XOfTick(tick);
}

bool PianoRollLayout::FollowCursor(int64_t tick) {
  const std::optional<int> x = CursorX(tick);
  if (!x) return false;
  // The bars visible right of the keyboard, which stays at the view's left edge.
  const int visibleLeft = scrollX_ + kKeyboardWidth;
  const int visibleRight = scrollX_ + viewWidth_;
  if (*x >= visibleLeft && *x < visibleRight - kRightMargin) return false;
  const int wanted = *x - kKeyboardWidth - (viewWidth_ - kKeyboardWidth) / 4;
  const int left = std::clamp(wanted, 0, MaxScrollX());
  if (left == scrollX_) return false;
  scrollX_ = left;
  return true;
}

}  // namespace vema
