#include "app/session.h"

namespace vema {

Session::Session(Platform& platform, SessionOptions options)
    : dir(std::move(options.dir)), random(options.seed), platform_(&platform) {
  random.SetPlatform(&platform);
}

MelodyContext Session::Melody() {
  return {*platform_, form, compositionDb, style,    barNotes, patternPairs,
          noteTrack,  log,  chordTones,    keyScale, chain,    random};
}

WriterContext Session::Writers(Platform& platform) {
  return {platform, dir, form, noteTrack, instrumentPrograms, chordTones, log, midiImage};
}

EditorContext Session::Editors() {
  return {*platform_, dir, form, customForms, style, compositionDb, dbFiles, inputText, bestOf};
}

void StartUp(Session& session) {
  session.title.clear();
  session.statusText = kBlankStatus;
  session.midiImage.count = kNoMidiImage;
  CompositionDbLoader("default.mld").Load(session.compositionDb, session.platform(), session.dir);
  session.dbFiles[0] = "default.mld";
  session.style.Load("default.ton", session.platform(), session.dir);
  session.dbFiles[1] = "default.ton";
  ReadCustomFormFile(session.Editors());
}

}  // namespace vema
