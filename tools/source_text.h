// Shared helpers of the data tools: reading a readable text source line by line (a "#" at the
// start of a word starts a comment, so "F#m" stays a word; blank lines are skipped; words are
// split at blanks and tabs) and reporting mistakes with the file name and line number.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace vema::tools {

struct SourceLine {
  int number = 0;                  // 1-based line number in the source
  std::vector<std::string> words;  // the words of the line, comments removed
};

// A mistake in a source; the tools print it as "file:line: text" and stop.
struct SourceError {
  int line = 0;
  std::string text;
};

// The non-empty lines of a text file.  A "#" at the start of a word starts a comment up to
// the end of the line.
inline std::optional<std::vector<SourceLine>> ReadSourceLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<SourceLine> lines;
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '#' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\t')) {
        text.erase(i);
        break;
      }
    }
    for (char& c : text) {
      if (c == '\t' || c == '\r') c = ' ';
    }
    std::istringstream words(text);
    SourceLine line{number, {}};
    std::string word;
    while (words >> word) line.words.push_back(word);
    if (!line.words.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// A whole decimal integer (an optional "-" and digits), or nullopt.
inline std::optional<int32_t> ParseInteger(std::string_view word) {
  if (word.empty() || word.size() > 10) return std::nullopt;
  size_t i = 0;
  bool negative = false;
  if (word[0] == '-') {
    negative = true;
    i = 1;
  }
  if (i == word.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < word.size(); ++i) {
    if (word[i] < '0' || word[i] > '9') return std::nullopt;
    value = value * 10 + (word[i] - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// Writes bytes to a file; false when it cannot be written whole.
inline bool WriteBytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

inline int ReportError(const std::string& path, const SourceError& error) {
  std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), error.line, error.text.c_str());
  return 1;
}

}  // namespace vema::tools
