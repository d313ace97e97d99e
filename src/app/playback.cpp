#include "app/playback.h"

#include "app/session.h"
#include "app/song_player.h"

namespace vema {

void PlayCommand(Session& session) {
  if (session.playing == 1) StopCommand(session);
  session.platform().SendPlayerCommand(kPlayerOpen);
  session.platform().SendPlayerCommand(kPlayerPlay);
  session.playing = 1;
}

void StopCommand(Session& session) {
  if (session.playing != 1) return;
  session.platform().SendPlayerCommand(kPlayerStop);
  session.platform().SendPlayerCommand(kPlayerSeekStart);
  session.platform().SendPlayerCommand(kPlayerClose);
  session.playing = 0;
}

void PlayFromCommand(Session& session, SongPlayer* player, int64_t tick) {
  // A song that has played to its end counts as stopped.
  if (session.playing == 1 && player != nullptr && player->PlayingTick() >= 0) {
    player->Seek(tick);
    return;
  }
  if (session.playing == 1) StopCommand(session);
  session.platform().SendPlayerCommand(kPlayerOpen);
  if (player != nullptr) player->Seek(tick);
  session.platform().SendPlayerCommand(kPlayerPlay);
  session.playing = 1;
}

}  // namespace vema
