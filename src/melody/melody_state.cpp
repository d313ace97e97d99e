#include "melody/melody_state.h"

#include <cstdlib>

#include "melody/chord.h"

namespace vema {

namespace {

// Tonics (pitch classes) of the 30 keys in KeyList order.
constexpr std::array<int, kKeyCount> kTonics = {0, 7, 2,  9, 4, 11, 6, 1, 5, 10, 3, 8, 1, 6, 11,
                                                9, 4, 11, 6, 1, 8,  3, 10, 2, 7, 0, 5, 10, 3, 8};
constexpr std::array<int, 7> kMajorSteps = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<int, 7> kMinorSteps = {0, 2, 3, 5, 7, 8, 10};

constexpr std::array<std::string_view, 12> kIntervalNames = {"P1", "m2", "M2", "m3", "M3", "P4",
                                                             "d4", "P5", "m6", "M6", "m7", "M7"};

}  // namespace

KeyScale ScaleOfKey(int key) {
  if (key < 0 || key >= kKeyCount) key = 0;
  const auto& steps = key < 15 ? kMajorSteps : kMinorSteps;
  const int tonic = kTonics[static_cast<size_t>(key)];
  KeyScale scale{};
  for (size_t d = 0; d < 7; ++d) scale[d] = static_cast<int8_t>((tonic + steps[d]) % 12 + 1);
  return scale;
}

int EarlierBar(int32_t source, int bar) { return source >= 0 && source < bar ? source : -1; }

void PrepareScale(const MelodyContext& context, int bar) {
  context.keyScale = ScaleOfKey(context.form.keyIndex[static_cast<size_t>(bar)]);
}

int FindScaleDegree(const MelodyContext& context, int bar, int pitch) {
  PrepareScale(context, bar);
  for (int d = 0; d < 7; ++d) {
    if (context.keyScale[static_cast<size_t>(d)] == pitch) return d;
  }
  return -1;
}

int FindChordPitch(const ChordToneTable& tones, int pitch) {
  for (size_t i = 0; i < tones.size() && tones[i] != -1; ++i) {
    if (tones[i] == pitch - 1) return static_cast<int>(i);
  }
  return -1;
}

int8_t Interval(const MelodyContext& context, int newPitch, int oldPitch, int newOctave,
                int oldOctave) {
  const int8_t x = static_cast<int8_t>(12 * (newOctave - oldOctave) + newPitch - oldPitch);
  GenerationLog& log = context.log;
  const std::string_view newName = PitchName(newPitch);
  const std::string_view oldName = PitchName(oldPitch);
  log.Appendf("新tone=%.*s[oct:%2d] 旧tone=%.*s[oct:%2d]：\n", static_cast<int>(newName.size()),
              newName.data(), newOctave, static_cast<int>(oldName.size()), oldName.data(),
              oldOctave);
  const int size = std::abs(static_cast<int>(x));
  const std::string_view name = kIntervalNames[static_cast<size_t>(size % 12)];
  log.Appendf(x < 0 ? "音程差[-%d+%.*s](%2d)" : "音程差[%d+%.*s](%2d)", 8 * (size / 12),
              static_cast<int>(name.size()), name.data(), static_cast<int>(x));
  return x;
}

int LogBarChord(const MelodyContext& context, int bar) {
  context.log.Appendf("\n%d:\n", bar);
  if (ParseChord(context.chordTones, context.platform, context.form.Chord(bar)) != 0) return -1;
  for (int8_t tone : context.chordTones) {
    if (tone == -1) break;
    const std::string_view name = PitchName(tone + 1);
    context.log.Appendf("%.*s,", static_cast<int>(name.size()), name.data());
  }
  context.log.Append("\n");
  return 0;
}

std::string_view EduName(int edu) {
  switch (edu) {
    case 0: return "Equal";
    case 1: return "Down";
    case 2: return "Up";
    default: return "?";
  }
}

}  // namespace vema
