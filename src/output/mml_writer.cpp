#include "output/mml_writer.h"

#include <cstdio>

#include "output/midi_writer.h"
#include "output/output_files.h"
#include "song/file_io.h"

namespace vema {

const std::array<MmlLength, 21> MmlLengthTable = {{
    {"192", 1}, {"96", 2},  {"64", 3},  {"48", 4},  {"32", 6},    {"24", 8},  {"32.", 9},
    {"16", 12}, {"12", 16}, {"16.", 18}, {"8", 24}, {"6", 32},    {"8.", 36}, {"4", 48},
    {"3", 64},  {"4.", 72}, {"2", 96},  {"2.", 144}, {"1", 192}, {"2^8", 120}, {"^", 0},
}};

namespace {

constexpr int kBaseOctave[2] = {5, 3};
constexpr char kPartLetter[2] = {'A', 'B'};

const char* const kHeaderStart[] = {
    ";VEMA2 ver 0.1 programed by ORUNAK\n",
    ";PMD MML data*********************************\n",
    ";#Include FM.FF\n",
};
const char* const kLogParts[] = {
    "A C1@00BS64o5v110l16_0 t100\n",
    "B C1@00BS64o3v110l16_0 t100\n",
};
const char* const kFileParts[] = {
    "A C1@25BS64o4v110l16_0 t120\n",
    "B C2@37BS64o2v80l16_0 t120\n",
};
const char* const kHeaderEnd = ";*********************************************\n";

// The length of a cell; the end of the table reads as the end mark.
int CellLength(const WriterContext& context, int step, int voice) {
  return step >= 0 && step < kTrackSteps ? context.noteTrack.at(step, voice).length : -1;
}

// Both outputs at once: the log gets one text, out.mml another.
struct Sink {
  const WriterContext& context;
  std::string& file;
  void Both(std::string_view text) {
    context.log.Append(text);
    file.append(text);
  }
};

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

void AppendMmlLength(Platform& platform, int length, std::string& text) {
  int rest = length;
  if (rest > kMmlLineTicks) {
    text += "1^";
    rest -= 192;
  }
  for (const MmlLength& entry : MmlLengthTable) {
    if (entry.ticks == rest) {
      text += entry.text;
      return;
    }
  }
  for (const MmlLength& first : MmlLengthTable) {
    for (const MmlLength& second : MmlLengthTable) {
      if (first.ticks + second.ticks == rest) {
        text += first.text;
        text += '^';
        text += second.text;
        return;
      }
    }
  }
  char message[96];
  std::snprintf(message, sizeof message, "[%d]適合音長ＭＭＬが見つかりません", rest);
  platform.ShowMessage(message, MessageIcon::kStop);
}

MmlLine FormatMmlLine(const WriterContext& context, int step, int voice) {
  MmlLine line;
  const int base = kBaseOctave[voice == 0 ? 0 : 1];
  int prev = base;
  long long total = 0;
  int n = step;
  while (true) {
    const int length = CellLength(context, n, voice);
    if (length == -1) break;
    const TrackNote& cell = context.noteTrack.at(n, voice);
    total += length;
    if (cell.octave > prev) line.text.append(static_cast<size_t>(cell.octave - prev), '>');
    if (cell.octave < prev) line.text.append(static_cast<size_t>(prev - cell.octave), '<');
    if (cell.pitch == -1) {
      line.text += 'r';
    } else if (length > 0) {
      line.text += PitchName(cell.pitch);
    }
    AppendMmlLength(context.platform, length, line.text);
    prev = cell.octave;
    ++n;
    if (total >= kMmlLineTicks) break;
  }
  if (CellLength(context, n, voice) == 0 && total == kMmlLineTicks) line.text += '^';
  const int d = prev - base;
  if (d > 0) line.text.append(static_cast<size_t>(d), '<');
  if (d < 0) line.text.append(static_cast<size_t>(-d), '>');
  line.next = n;
  return line;
}

MmlFiles BuildMmlFiles(const WriterContext& context) {
  std::string mml;
  Sink sink{context, mml};
  for (const char* line : kHeaderStart) context.log.Append(line);
  for (const char* line : kLogParts) context.log.Append(line);
  context.log.Append(kHeaderEnd);
  for (const char* line : kHeaderStart) mml += line;
  for (const char* line : kFileParts) mml += line;
  mml += kHeaderEnd;

  for (int voice = 0; voice < 2; ++voice) {
    sink.Both("\n");
    // A voice whose first cell has length 0 has not been generated yet: an empty part.
    if (CellLength(context, 0, voice) == 0) continue;
    int bar = 1;
    int n = 0;
    while (CellLength(context, n, voice) != -1) {
      char comment[48];
      std::snprintf(comment, sizeof comment, ";bar=%2d ---------------\n", bar);
      sink.Both(comment);
      sink.Both(std::string(1, kPartLetter[voice]) + " ");
      const MmlLine line = FormatMmlLine(context, n, voice);
      n = line.next;
      context.log.Append(line.text);
      mml += line.text;
      mml += "  \n";
      sink.Both("\n");
      bar += 2;
    }
  }
  return MmlFiles{WithCrLf(mml), ToCp932TextFile(context.log.text())};
}

void WriteMmlFile(const WriterContext& context) {
  const MmlFiles files = BuildMmlFiles(context);
  WriteOutputFile(context, kMmlFileName, files.mml);
  WriteOutputFile(context, kWorkFileName, files.work);
}

}  // namespace vema
