#include "app/playback.h"

#include "app/session.h"

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

}  // namespace vema
