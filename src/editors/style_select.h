// The rules of the composition style window: which note-length database (.mld) and melody
// style (.ton) the composer uses, chosen through file dialogs.
#pragma once

#include <array>
#include <string>

#include "editors/control_state.h"
#include "editors/editor_context.h"

namespace vema {

inline constexpr int kDbKinds = 5;

namespace style_select_ids {
inline constexpr int kChooseFirst = 1006;  // buttons 1006..1010, kinds 0..4
inline constexpr int kNameFirst = 1011;    // name fields 1011..1015
inline constexpr int kEditStyle = 1118;    // "編集" beside the .ton row
inline constexpr int kEditHiddenFirst = 1119;  // 1119..1121, hidden
inline constexpr int kApplyHidden = 1025;
inline constexpr int kBestOf = 1122;  // how many melodies a composition chooses from
inline constexpr int kClose = 1;
inline constexpr int kCancel = 2;
}  // namespace style_select_ids

struct DbKindInfo {
  const char* caption;    // of the button
  const char* extension;  // default extension of the file dialog
  const char* filter;     // file dialog filter
  bool shown;             // the buttons of kinds 2..4 are hidden and load nothing
};

extern const std::array<DbKindInfo, kDbKinds> kDbKindInfo;

// The file name without its folder.
std::string BareFileName(const std::string& path);

class StyleSelect {
 public:
  explicit StyleSelect(const EditorContext& context);

  // The shared action of the five database buttons.  Returns whether a file was loaded.
  bool ChooseDbFile(int kind);

  // The number of melodies a composition chooses the best-scoring one from (1 = the single
  // composition).  Setting keeps a value outside 1..1000 at the nearer end; returns the value
  // now in force.
  int BestOf() const { return context_.bestOf; }
  int SetBestOf(int count);

  int dbKind = 0;
  std::array<TextState, kDbKinds> nameField{};

 private:
  EditorContext context_;
};

}  // namespace vema
