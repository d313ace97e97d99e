// What the editors and the custom form store read and write: the current form, the stored
// forms, the melody style, the note-length database and the names of the loaded files, the
// shared input text of the one-line prompt, the number of melodies a composition chooses from,
// the working folder and the person.  The program assembles it from the state it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "melody/melody_style_db.h"
#include "song/composition_db.h"
#include "song/form.h"
#include "song/platform.h"
#include "song/tables.h"

namespace vema {

struct CustomFormTable;

inline constexpr size_t kInputTextBytes = 255;  // CP932 bytes of the shared input text

struct EditorContext {
  Platform& platform;
  const std::string& dir;
  SongForm& form;
  CustomFormTable& customForms;
  MelodyStyleDb& style;
  CompositionDb& compositionDb;
  CurrentDbFiles& dbFiles;
  std::string& inputText;
  int32_t& bestOf;  // melodies composed per composition (the best-scoring is kept)

  // The path of a file of the working folder.
  std::string PathOf(const std::string& name) const { return ResolvePath(dir, name); }
};

}  // namespace vema
