// The console front end, callable from tests.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/song_player.h"
#include "song/platform.h"

namespace vema {

// Exit status: 0 when no stop-icon message was shown, 1 when one was, 2 for a usage error.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);
// The same with a MIDI file player for the play command (without one, play reports an error).
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const SongPlayerFactory& players);

// The folder a command works in when no --dir is given; it tells its problems and news through
// the platform and gives nullopt when there is no folder to work in (the command then fails).
using DefaultFolder = std::function<std::optional<std::string>(Platform& platform)>;
// The same with the folder used without --dir (without one: the current folder).
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const SongPlayerFactory& players, const DefaultFolder& defaultFolder);

}  // namespace vema
