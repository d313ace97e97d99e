#include "app/compose_command.h"

#include <string>

#include "accomp/accompaniment.h"
#include "app/playback.h"
#include "app/session.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "output/midi_writer.h"
#include "output/mml_writer.h"

namespace vema {
namespace {

void SetStatus(Session& session, std::string_view status) {
  session.statusText = std::string(status);
  session.platform().ShowStatus(session.statusText);
}

}  // namespace

bool IsMelodyDbKind(int kind) { return kind == 0 || kind == 3 || kind == 5; }

void ComposeCommand(Session& session) {
  if (session.playing == 1) StopCommand(session);

  SetStatus(session, kStatusNoteLengths);
  NoteLengthGenerator(session.Melody()).Run();

  SetStatus(session, kStatusPitches);
  if (!IsMelodyDbKind(session.compositionDb.kind)) {
    session.platform().ShowMessage(kWrongDbKindMessage, MessageIcon::kStop);
    return;
  }
  // A failed pitch phase leaves no melody behind, not the previous song's.
  if (PitchGenerator(session.Melody()).Run() == 0) session.noteTrack.ClearVoice(0);

  SetStatus(session, kStatusAccompaniment);
  ChooseAccompanimentFeel(session.platform(), session.accompanimentFeel);

  SetStatus(session, kStatusMidi);
  MidiWriter(session.Writers()).Write(session.accompanimentFeel);

  SetStatus(session, kStatusMml);
  WriteMmlFile(session.Writers());

  session.playing = 0;
  SetStatus(session, kBlankStatus);
}

}  // namespace vema
