// The play and stop commands: "out.mid" handed to the MIDI file player under the alias "tada";
// and what the main window shows and says about playback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/song_player.h"

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

// What the main window shows while it runs, looked at now and then: whether a song sounds (it
// has been played and has not yet got to its end), and what the player has to tell, worded for
// the window ("" for nothing).
struct PlaybackView {
  bool sounding = false;
  std::string message;
  bool error = false;  // the message tells that playback broke off (else it went on)
};
PlaybackView LookAtPlayback(const Session& session, SongPlayer* player);

// A player's notice in the words of the window.
std::string NoticeText(const PlayerNotice& notice);

// The output choice of the instrument window: the built-in synthesizer, then the MIDI outputs of
// the system.  A chosen output that is not there (any more) stays in the list, marked, so that
// the choice never changes by itself.
inline constexpr const char* kBuiltInSynthesizer = "内蔵シンセサイザー";
struct OutputList {
  std::vector<std::string> entries;  // what the list shows
  std::vector<std::string> ports;    // what each entry chooses ("" for the synthesizer)
  int selected = 0;                  // the entry of the chosen output
};
OutputList MakeOutputList(const std::vector<std::string>& ports, const std::string& chosen);

}  // namespace vema
