#include "app/name_prompt.h"

#include "app/session.h"
#include "song/text.h"

namespace vema {

std::string InputTextFromField(std::string_view field) {
  return CutUtf8ToCp932Bytes(FirstLine(field), kInputTextBytes);
}

void ApplyPromptAnswer(Session& session, const std::optional<std::string>& field) {
  if (field) session.inputText = InputTextFromField(*field);
}

void NameSongCommand(Session& session) {
  ApplyPromptAnswer(session, session.platform().PromptLine());
  session.title = CutUtf8ToCp932Bytes(session.inputText, kTitleBytes);
}

}  // namespace vema
