#include "app/playback.h"

#include <algorithm>

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

PlaybackView LookAtPlayback(const Session& session, SongPlayer* player) {
  PlaybackView view;
  if (player == nullptr) return view;
  view.sounding = session.playing == 1 && player->PlayingTick() >= 0;
  const PlayerNotice notice = player->TakeNotice();
  view.message = NoticeText(notice);
  view.error = notice.kind == PlayerNotice::Kind::kPortLost;
  return view;
}

std::string NoticeText(const PlayerNotice& notice) {
  switch (notice.kind) {
    case PlayerNotice::Kind::kPortMissing:
      return "MIDI出力「" + notice.port + "」が見つかりません。内蔵シンセサイザーで演奏します。";
    case PlayerNotice::Kind::kPortLost:
      return "MIDI出力「" + notice.port + "」が使えなくなったため、演奏を止めました。";
    case PlayerNotice::Kind::kNone:
      break;
  }
  return "";
}

OutputList MakeOutputList(const std::vector<std::string>& ports, const std::string& chosen) {
  OutputList list;
  list.entries.push_back(kBuiltInSynthesizer);
  list.ports.push_back("");
  for (const std::string& port : ports) {
    if (port.empty()) continue;
    if (port == chosen) list.selected = static_cast<int>(list.entries.size());
    list.entries.push_back(port);
    list.ports.push_back(port);
  }
  if (!chosen.empty() && std::find(ports.begin(), ports.end(), chosen) == ports.end()) {
    list.selected = static_cast<int>(list.entries.size());
    list.entries.push_back(chosen + "（見つかりません）");
    list.ports.push_back(chosen);
  }
  return list;
}

}  // namespace vema
