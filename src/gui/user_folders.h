// The folders of an installed window program by the desktop's conventions: its settings in
// $XDG_CONFIG_HOME/vema/vema.conf (by default ~/.config/vema/vema.conf) and the Japanese words
// for a song folder it could not set up (app/song_folder.h makes that folder).
#pragma once

#include <string>

#include "app/song_folder.h"

namespace vema::gui {

// The settings file under the config folder, by name.
inline constexpr const char* kSettingsFolder = "vema";
inline constexpr const char* kSettingsFile = "vema.conf";

// Makes the settings file wx's config store (wxConfigBase::Get()); call it before anything reads
// a setting.  The folder is made when missing, and the settings an earlier version kept in
// ~/.vema are taken over once.  When the folder cannot be made, settings last for this run only
// and the returned message says so (empty when all is well).
std::string UseDesktopSettingsFile();

// The message box text about a song folder that could not be set up.
std::string SongFolderMessage(const SongFolderSetup& setup);

}  // namespace vema::gui
