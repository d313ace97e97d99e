// How many melodies the window program composes per COMP to keep the best-scoring one: 16 until
// the user changes it in the composition style window; and the melody octave: auto until the
// user changes it in the instrument window.  Both kept across runs in wx's config store.
#pragma once

#include <algorithm>
#include <cstdint>

#include <wx/config.h>

#include "critic/melody_choice.h"

namespace vema::gui {

inline constexpr int kWindowBestOf = 16;
inline constexpr const char* kBestOfConfigKey = "/Compose/BestOf";

inline int LoadBestOf() {
  long count = kWindowBestOf;
  wxConfigBase::Get()->Read(kBestOfConfigKey, &count, kWindowBestOf);
  return static_cast<int>(std::clamp<long>(count, kMinBestOf, kMaxBestOf));
}

inline void StoreBestOf(int count) {
  wxConfigBase* config = wxConfigBase::Get();
  config->Write(kBestOfConfigKey, static_cast<long>(count));
  config->Flush();
}

inline constexpr const char* kMelodyOctaveConfigKey = "/Compose/MelodyOctave";

// The stored melody octave setting: -1..2 or kAutoMelodyOctave (stored as "auto"); auto when
// none or something else is stored.
inline int32_t LoadMelodyOctave() {
  wxString text;
  if (!wxConfigBase::Get()->Read(kMelodyOctaveConfigKey, &text)) return kAutoMelodyOctave;
  long value = 0;
  if (text.ToLong(&value) && value >= kMinMelodyOctave && value <= kMaxMelodyOctave) {
    return static_cast<int32_t>(value);
  }
  return kAutoMelodyOctave;
}

inline void StoreMelodyOctave(int32_t setting) {
  wxConfigBase* config = wxConfigBase::Get();
  config->Write(kMelodyOctaveConfigKey, setting == kAutoMelodyOctave
                                            ? wxString("auto")
                                            : wxString::Format("%d", static_cast<int>(setting)));
  config->Flush();
}

}  // namespace vema::gui
