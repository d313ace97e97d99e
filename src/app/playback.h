// The play and stop commands: "out.mid" handed to the MIDI file player under the alias "tada".
#pragma once

namespace vema {

struct Session;

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

}  // namespace vema
