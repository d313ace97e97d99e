// The MML writer: voices 0 (part A, melody) and 1 (part B, bass) of NoteTrackTable as "out.mml",
// one line per two bars, and the whole generation log as "work.txt".
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "output/writer_context.h"

namespace vema {


inline constexpr const char* kMmlFileName = "out.mml";
inline constexpr const char* kWorkFileName = "work.txt";
inline constexpr int kMmlLineTicks = 384;  // two 4/4 bars

struct MmlLength {
  std::string_view text;
  int ticks;
};

// Searched in this order, single entries first, then pairs.
extern const std::array<MmlLength, 21> MmlLengthTable;

// Appends the MML text of a length in ticks.  Longer than 384: "1^" and 192 less (once).  A
// length that no entry or pair of entries expresses shows "[%d]適合音長ＭＭＬが見つかりません"
// (stop icon) and appends nothing.
void AppendMmlLength(Platform& platform, int length, std::string& text);

struct MmlLine {
  std::string text;
  int next = 0;  // the step after the last cell used
};

// The MML text of a voice from a step for two bars (cells until their lengths reach 384 ticks,
// the end mark -1 or the end of the table), starting and ending at the voice's base octave.
MmlLine FormatMmlLine(const WriterContext& context, int step, int voice);

// Both files as they go to disk (lines ended by CR LF; work.txt in CP932).  Appends the MML
// lines to the log before taking the log for work.txt.
struct MmlFiles {
  std::string mml;
  std::string work;
};
MmlFiles BuildMmlFiles(const WriterContext& context);

// Writes "out.mml" and "work.txt" (into the context's set when it has one).  Without a set, a
// file that cannot be created gets "File could not created! " (stop icon) and is skipped; the
// other is still written.
void WriteMmlFile(const WriterContext& context);

}  // namespace vema
