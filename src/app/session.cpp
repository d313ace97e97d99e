#include "app/session.h"

namespace vema {

Session::Session(Platform& platform, SessionOptions options)
    : dir(std::move(options.dir)), random(options.seed), platform_(&platform) {
  random.SetPlatform(&platform);
}

void StartUp(Session& session) {
  session.title.clear();
  session.statusText = kBlankStatus;
  session.midiImage.count = kNoMidiImage;
  CompositionDbLoader("default.mld").Load(session.compositionDb, session.platform(), session.dir);
  session.dbFiles[0] = "default.mld";
  session.style.Load("default.ton", session.platform(), session.dir);
  session.dbFiles[1] = "default.ton";
  ReadCustomFormFile(session);
}

}  // namespace vema
