// How many melodies the window program composes per COMP to keep the best-scoring one: 16 until
// the user changes it in the composition style window; kept across runs in wx's config store.
#pragma once

#include <algorithm>

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

}  // namespace vema::gui
