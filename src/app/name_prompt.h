// The one-line input dialog's rule for the shared input text, and the title command built on it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vema {

struct Session;

// What "OK" leaves in the shared input text: the first line of the field, cut to at most
// kInputTextBytes CP932 bytes without splitting a double-byte character.
std::string InputTextFromField(std::string_view field);

// Applies one answer of the prompt: a confirmed field replaces the shared input text, a
// cancelled prompt (nullopt) leaves it as it was.
void ApplyPromptAnswer(Session& session, const std::optional<std::string>& field);

// The title button: runs the prompt, then copies the shared input text into the song title,
// whatever the user did (so a cancelled prompt shows the text confirmed last).
void NameSongCommand(Session& session);

}  // namespace vema
