// Where PLAY sounds: the MIDI output chosen in the instrument window ("" for the built-in
// synthesizer); kept across runs in wx's config store.
#pragma once

#include <string>

#include <wx/config.h>

namespace vema::gui {

inline constexpr const char* kOutputConfigKey = "/Playback/Output";

inline std::string LoadOutputChoice() {
  wxString port;
  wxConfigBase::Get()->Read(kOutputConfigKey, &port, wxString());
  return std::string(port.utf8_str());
}

inline void StoreOutputChoice(const std::string& port) {
  wxConfigBase* config = wxConfigBase::Get();
  config->Write(kOutputConfigKey, wxString::FromUTF8(port.c_str()));
  config->Flush();
}

}  // namespace vema::gui
