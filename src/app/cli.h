// The console front end, callable from tests.
#pragma once

#include <iosfwd>

#include "app/song_player.h"

namespace vema {

// Exit status: 0 when no stop-icon message was shown, 1 when one was, 2 for a usage error.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);
// The same with a MIDI file player for the play command (without one, play reports an error).
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err,
           const SongPlayerFactory& players);

}  // namespace vema
