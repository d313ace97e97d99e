// The play and stop commands: "out.mid" handed to the MIDI file player under the alias "tada".
#pragma once

#include <cstdint>

namespace vema {

struct Session;
class SongPlayer;

inline constexpr const char* kPlayerOpen = "open out.mid type sequencer alias tada";
inline constexpr const char* kPlayerPlay = "play tada";
inline constexpr const char* kPlayerStop = "stop tada";
inline constexpr const char* kPlayerSeekStart = "seek tada to start";
inline constexpr const char* kPlayerClose = "close tada";

// Stops a playing song first, then opens and plays "out.mid"; the song counts as playing even
// when the player could not open it.
void PlayCommand(Session& session);

// When a song plays: stop, rewind and close the player.  Nothing otherwise.
void StopCommand(Session& session);

// Playing from a tick (a click on the piano roll's ruler): while a song plays, its position
// moves there; otherwise (also after it has played to its end) "out.mid" is opened and played
// from there, as PLAY does.  Without a player the song plays from its beginning.
void PlayFromCommand(Session& session, SongPlayer* player, int64_t tick);

}  // namespace vema
