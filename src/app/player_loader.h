// The MIDI file player of the programs, loaded from its module (libvema_fluid.so, beside the
// program in the build folder, in the private library folder when installed) only when a song is first played or rendered, so that nothing else ever loads an
// audio library.
#pragma once

#include <memory>
#include <string>

#include "app/song_player.h"

namespace vema {

inline constexpr const char* kPlayerModuleName = "libvema_fluid.so";

// The module of the running program (app/install_layout.h says where).
std::string DefaultPlayerModulePath();

// A player for the files of a working directory, sounding through the named fluidsynth audio
// driver ("" for the system's).  When the module cannot be loaded, the player fails Prepare,
// WaitUntilEnd and RenderWav with a reason that says so.
std::unique_ptr<SongPlayer> LoadSongPlayer(const std::string& dir,
                                           const std::string& audioDriver = "",
                                           const std::string& modulePath = DefaultPlayerModulePath());

}  // namespace vema
