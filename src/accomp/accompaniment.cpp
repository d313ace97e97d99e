#include "accomp/accompaniment.h"

#include <array>
#include <cstdlib>

#include "accomp/feel_choice.h"
#include "song/smf_bytes.h"

namespace vema {
namespace {

constexpr int32_t kEnd = -999;

constexpr int32_t kMarchChords[] = {-24, 24, -24, 24, -24, 24, -24, 24};
constexpr int32_t kStandardChords[] = {-24, 48, 24, -24, 24, -24, 24};
constexpr int32_t kBluesChords[] = {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr int32_t kRockChords[] = {72, 120};

constexpr int32_t kMarchBass[] = {48, 0, 48, 48, 0, 48};
constexpr int32_t kStandardBass[] = {96, 48, 0, 48};
constexpr int32_t kBluesBass[] = {80, 0, 16, 48, 0, 48};
constexpr int32_t kRockBass[] = {24, 24, 24, 24, 24, 24, 24, 24};

constexpr uint8_t kMarchDrums[] = {
    0x00, 0x99, 0x24, 0x40, 0x00, 0x31, 0x1E, 0x18, 0x18, 0x40, 0x18, 0x24, 0x40,
    0x00, 0x31, 0x1E, 0x18, 0x18, 0x40, 0x18, 0x24, 0x40, 0x00, 0x31, 0x1E, 0x18,
    0x18, 0x40, 0x18, 0x24, 0x40, 0x00, 0x31, 0x1E, 0x18, 0x18, 0x40};
constexpr uint8_t kStandardDrums[] = {
    0x00, 0x99, 0x24, 0x40, 0x00, 0x2A, 0x40, 0x00, 0x4B, 0x40, 0x00, 0x46, 0x40, 0x18,
    0x2A, 0x40, 0x00, 0x46, 0x40, 0x0C, 0x2A, 0x40, 0x0C, 0x46, 0x60, 0x00, 0x2A, 0x40,
    0x18, 0x2A, 0x40, 0x00, 0x4B, 0x40, 0x00, 0x46, 0x40, 0x18, 0x24, 0x40, 0x00, 0x2A,
    0x40, 0x00, 0x46, 0x40, 0x18, 0x2A, 0x40, 0x00, 0x46, 0x40, 0x18, 0x24, 0x40, 0x00,
    0x2A, 0x40, 0x00, 0x4B, 0x40, 0x00, 0x46, 0x60, 0x18, 0x2A, 0x40, 0x00, 0x46, 0x40};
constexpr uint8_t kBluesDrums[] = {
    0x00, 0x99, 0x24, 0x40, 0x00, 0x3B, 0x40, 0x00, 0x45, 0x40, 0x10, 0x45, 0x40, 0x08,
    0x45, 0x40, 0x08, 0x45, 0x40, 0x10, 0x3B, 0x40, 0x00, 0x45, 0x40, 0x10, 0x45, 0x40,
    0x10, 0x24, 0x40, 0x00, 0x3B, 0x40, 0x00, 0x45, 0x40, 0x10, 0x24, 0x40, 0x00, 0x3B,
    0x40, 0x00, 0x45, 0x40, 0x10, 0x45, 0x40, 0x08, 0x45, 0x40, 0x08, 0x45, 0x40, 0x10,
    0x3B, 0x40, 0x00, 0x45, 0x40, 0x10, 0x45, 0x40, 0x10, 0x3B, 0x40, 0x00, 0x45, 0x40};
constexpr uint8_t kRockDrums[] = {
    0x00, 0x99, 0x24, 0x40, 0x00, 0x2A, 0x40, 0x18, 0x2A, 0x40, 0x18, 0x24, 0x40, 0x00, 0x18,
    0x40, 0x00, 0x2A, 0x40, 0x18, 0x2A, 0x40, 0x18, 0x24, 0x40, 0x00, 0x2A, 0x40, 0x18, 0x2A,
    0x40, 0x18, 0x24, 0x40, 0x00, 0x18, 0x40, 0x00, 0x2A, 0x40, 0x18, 0x2A, 0x40};

constexpr std::array<std::span<const int32_t>, kFeelCount> kChordRhythms = {
    kMarchChords, kStandardChords, kBluesChords, kRockChords};
constexpr std::array<std::span<const int32_t>, kFeelCount> kBassRhythms = {
    kMarchBass, kStandardBass, kBluesBass, kRockBass};
constexpr std::array<std::span<const uint8_t>, kFeelCount> kDrumBars = {
    kMarchDrums, kStandardDrums, kBluesDrums, kRockDrums};
constexpr std::array<int, kFeelCount> kDrumClosingDeltas = {24, 24, 16, 24};

// The silence just before position j of a pattern, 0 when there is none.
int32_t SilenceBefore(std::span<const int32_t> pattern, size_t j) {
  return j > 0 && pattern[j - 1] < 0 ? std::abs(pattern[j - 1]) : 0;
}

// The keys of one voicing row up to its end mark.
std::vector<int32_t> RowKeys(const std::vector<int32_t>& row) {
  std::vector<int32_t> keys;
  for (int32_t key : row) {
    if (key == kEnd) break;
    keys.push_back(key);
  }
  return keys;
}

void AppendEnd(std::vector<uint8_t>& data) {
  data.insert(data.end(), {0x00, 0xFF, 0x2F, 0x00});
}

}  // namespace

int ValidFeel(int feel) { return feel >= 0 && feel < kFeelCount ? feel : kMarch; }

std::span<const int32_t> ChordRhythm(int feel) { return kChordRhythms[ValidFeel(feel)]; }
std::span<const int32_t> BassRhythm(int feel) { return kBassRhythms[ValidFeel(feel)]; }
std::span<const uint8_t> DrumBar(int feel) { return kDrumBars[ValidFeel(feel)]; }
int DrumClosingDelta(int feel) { return kDrumClosingDeltas[ValidFeel(feel)]; }

void ChooseAccompanimentFeel(Platform& platform, int8_t& feel) {
  StoreFeelAnswer(feel, platform.ChooseFeel());
}

std::vector<uint8_t> BuildChordTrackChunk(const VoicingRows& voicings, int feel,
                                          int32_t program) {
  const std::span<const int32_t> rhythm = ChordRhythm(feel);
  std::vector<uint8_t> data = {0x00, 0xC1, DataByte(program)};
  for (const std::vector<int32_t>& row : voicings) {
    if (row.empty() || row.front() == kEnd) break;
    const std::vector<int32_t> keys = RowKeys(row);
    for (size_t j = 0; j < rhythm.size(); ++j) {
      const int32_t v = rhythm[j];
      if (v <= 0) continue;
      for (size_t k = 0; k < keys.size(); ++k) {
        if (k == 0) {
          AppendDeltaTime(data, SilenceBefore(rhythm, j));
          data.push_back(0x91);
        } else {
          data.push_back(0x00);
        }
        data.push_back(static_cast<uint8_t>(KeyIntoMidiRange(keys[k])));
        data.push_back(0x40);
      }
      for (size_t k = 0; k < keys.size(); ++k) {
        if (k == 0) {
          AppendDeltaTime(data, v);
          data.push_back(0x81);
        } else {
          data.push_back(0x00);
        }
        data.push_back(static_cast<uint8_t>(KeyIntoMidiRange(keys[k])));
        data.push_back(0x50);
      }
    }
  }
  AppendEnd(data);
  return MakeTrackChunk(data);
}

std::vector<uint8_t> BuildBassTrackChunk(std::span<const int32_t> bassNotes, int feel,
                                         int32_t program) {
  const std::span<const int32_t> rhythm = BassRhythm(feel);
  std::vector<uint8_t> data = {0x00, 0xC2, DataByte(program)};
  for (size_t b = 0; b < bassNotes.size() && bassNotes[b] != kEnd; ++b) {
    const int64_t root = bassNotes[b];
    const int64_t next = b + 1 < bassNotes.size() ? bassNotes[b + 1] : kEnd;
    int64_t fifth = root - 5;
    if (next != kEnd && std::llabs(root + 7 - next) <= std::llabs(root - 5 - next)) {
      fifth = root + 7;
    }
    for (size_t j = 0; j < rhythm.size(); ++j) {
      const int32_t v = rhythm[j];
      if (v <= 0) continue;
      const int64_t key = j > 0 && rhythm[j - 1] == 0 ? fifth : root;
      const auto keyByte = static_cast<uint8_t>(KeyIntoMidiRange(key));
      AppendDeltaTime(data, SilenceBefore(rhythm, j));
      data.insert(data.end(), {0x92, keyByte, 0x40});
      AppendDeltaTime(data, v);
      data.insert(data.end(), {0x82, keyByte, 0x40});
    }
  }
  AppendEnd(data);
  return MakeTrackChunk(data);
}

std::vector<uint8_t> BuildDrumTrackChunk(int feel, int bars) {
  const std::span<const uint8_t> bar = DrumBar(feel);
  std::vector<uint8_t> data = {0x00, 0xB9, 0x07, 0x64};
  data.reserve(data.size() + static_cast<size_t>(bars > 0 ? bars : 0) * bar.size() + 4);
  for (int b = 0; b < bars; ++b) {
    const size_t start = data.size();
    data.insert(data.end(), bar.begin(), bar.end());
    if (b > 0) data[start] = static_cast<uint8_t>(DrumClosingDelta(feel));
  }
  AppendEnd(data);
  return MakeTrackChunk(data);
}

}  // namespace vema
