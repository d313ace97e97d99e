#include "melody/pitch_generator.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "melody/melody_state.h"

namespace vema {

namespace {

constexpr int kMaxNotes = kBarEntries - 1;  // 19 notes before the end mark

// Wrap-around addition of two lengths (what a damaged database holds must not overflow).
int32_t AddLengths(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

const char* PositionLine(int64_t t) {
  if (t < 48) return "len< 48:ProgressNonFiger**************\n";
  if (t == 48) return "len= 48:ProgressFiger*****************\n";
  if (t < 96) return "len< 96:ProgressNonFiger**************\n";
  if (t == 96) return "len= 96:ProgressFiger*****************\n";
  if (t < 144) return "len<144:ProgressNonFiger**************\n";
  if (t == 144) return "len=144:ProgressFiger*****************\n";
  return "len<192:ProgressNonFiger**************\n";
}

}  // namespace

int LengthClass(int32_t length) {
  if (length == 16 || length == 32) return 2;
  if (length >= 48) return 0;
  if (length >= 24) return 1;
  return 3;
}

int PitchGenerator::Run() {
  MelodyContext& s = context_;
  noteCount = 0;
  const int bars = s.form.BarCount();
  for (int b = 0; b < bars; ++b) MergeTies(b);
  RunMotifPhase();
  const int periods = s.form.PeriodCount();
  for (int p = 0; p < periods; ++p) {
    if (GeneratePeriod(p) == 0) return 0;
  }
  FlattenMelody();
  BuildBassVoice();
  CorrectOctaves();
  return 1;
}

void PitchGenerator::MergeTies(int bar) {
  BarNotes& notes = context_.barNotes[static_cast<size_t>(bar)];
  int kept = 0;
  for (int i = 0; i < kBarEntries; ++i) {
    const int32_t length = notes[static_cast<size_t>(i)].length;
    if (length == -1) break;
    if (length == 0) {
      // A tie mark: the next entry extends the note kept last.  A mark with no note before it,
      // or followed by the end mark (or by nothing), is dropped.
      if (i + 1 >= kBarEntries) break;
      const int32_t next = notes[static_cast<size_t>(i + 1)].length;
      if (next == -1) break;
      if (kept == 0) continue;
      BarNote& last = notes[static_cast<size_t>(kept - 1)];
      last.length = AddLengths(last.length, next);
      ++i;
      continue;
    }
    if (kept == kMaxNotes) break;
    notes[static_cast<size_t>(kept++)].length = length;
  }
  notes[static_cast<size_t>(kept)].length = -1;
}

void PitchGenerator::RunMotifPhase() {
  MelodyContext& s = context_;
  const int bars = s.form.BarCount();
  for (int b = 0; b < bars; ++b) {
    s.log.Appendf("%2d小節***********************\n", b);
    if (barDraws != nullptr) barDraws->BeforeRules(b);
    if (EarlierBar(s.form.motifSource[static_cast<size_t>(b)], b) == -1) {
      GenerateMotifBar(b);
    } else {
      CopyMotifBar(b);
    }
  }
  s.log.Append("------------------モチーフ音長フェーズ------------------\n");
  for (int b = 0; b < bars; ++b) {
    const BarNotes& notes = s.barNotes[static_cast<size_t>(b)];
    for (int n = 0; n < kBarEntries && notes[static_cast<size_t>(n)].length != -1; ++n) {
      s.log.Appendf("%d(%d)→", notes[static_cast<size_t>(n)].length,
                    notes[static_cast<size_t>(n)].rule);
    }
    s.log.Append("\n");
  }
}

void PitchGenerator::CopyMotifBar(int bar) {
  MelodyContext& s = context_;
  const int source = EarlierBar(s.form.motifSource[static_cast<size_t>(bar)], bar);
  if (source == -1) {
    GenerateMotifBar(bar);
    return;
  }
  const BarNotes& from = s.barNotes[static_cast<size_t>(source)];
  BarNotes& to = s.barNotes[static_cast<size_t>(bar)];
  int n = 0;
  while (n < kMaxNotes && from[static_cast<size_t>(n)].length != -1) {
    to[static_cast<size_t>(n)].rule = from[static_cast<size_t>(n)].rule;
    ++n;
  }
  to[static_cast<size_t>(n)].rule = -1;
}

void PitchGenerator::GenerateMotifBar(int bar) {
  MelodyContext& s = context_;
  const int bars = s.form.BarCount();
  const BarNotes& notes = s.barNotes[static_cast<size_t>(bar)];
  int64_t t = 0;
  for (int n = 0; n < kBarEntries && notes[static_cast<size_t>(n)].length != -1; ++n) {
    int32_t next = n + 1 < kBarEntries ? notes[static_cast<size_t>(n + 1)].length : -1;
    if (next == -1) {
      next = 192;
      if (bar + 1 < bars &&
          EarlierBar(s.form.motifSource[static_cast<size_t>(bar + 1)], bar + 1) == -1) {
        next = s.barNotes[static_cast<size_t>(bar + 1)][0].length;
      }
    }
    s.log.Appendf("次回音長=%3d\n", next);
    const int table = LengthClass(next) + (t % 48 != 0 ? 4 : 0);
    ChainRule(table, bar, n);
    t += notes[static_cast<size_t>(n)].length;
  }
}

bool FillsBar(const BarNotes& notes) {
  int64_t t = 0;
  for (const BarNote& note : notes) {
    if (note.length == -1) return t == kTicksPerBar;
    if (note.length <= 0) return false;
    t += note.length;
  }
  return false;
}

int PitchGenerator::GeneratePeriod(int period) {
  MelodyContext& s = context_;
  if (s.compositionDb.loaded == 0) {
    s.platform.ShowMessage("音長生成を起動してください。", MessageIcon::kStop);
    return 0;
  }
  for (int i = 0; i < kBarsPerPeriod; ++i) {
    const int bar = period * kBarsPerPeriod + i;
    if (barDraws != nullptr) barDraws->BeforePitches(bar);
    if (EarlierBar(s.form.melodySource[static_cast<size_t>(bar)], bar) == -1) {
      if (DecideBarNotes(period, i) == 0) return 0;
    } else {
      // A repeated melody still needs a bar of 192 ticks (only a damaged form can lack it).
      if (!FillsBar(s.barNotes[static_cast<size_t>(bar)])) {
        s.platform.ShowMessage("音長合成ERROR", MessageIcon::kStop);
        return 0;
      }
      CopyBarMelody(bar);
    }
  }
  return 1;
}

void PitchGenerator::CopyBarMelody(int bar) {
  MelodyContext& s = context_;
  const int source = EarlierBar(s.form.melodySource[static_cast<size_t>(bar)], bar);
  if (source == -1) return;
  const BarNotes& from = s.barNotes[static_cast<size_t>(source)];
  BarNotes& to = s.barNotes[static_cast<size_t>(bar)];
  int n = 0;
  while (n < kBarEntries && from[static_cast<size_t>(n)].length != -1) {
    to[static_cast<size_t>(n)].pitch = from[static_cast<size_t>(n)].pitch;
    to[static_cast<size_t>(n)].octave = from[static_cast<size_t>(n)].octave;
    ++n;
  }
  if (n < kBarEntries) {
    to[static_cast<size_t>(n)].pitch = -1;
    to[static_cast<size_t>(n)].octave = -1;
  }
}

int PitchGenerator::DecideBarNotes(int period, int barInPeriod) {
  MelodyContext& s = context_;
  GenerationLog& log = s.log;
  const int bar = period * kBarsPerPeriod + barInPeriod;
  BarNotes& notes = s.barNotes[static_cast<size_t>(bar)];
  int64_t t = 0;
  for (int n = 0; n < kBarEntries; ++n) {
    BarNote& note = notes[static_cast<size_t>(n)];
    if (note.length <= 0) break;  // the end mark, or a length no bar can hold
    if (t == 0) {
      if (LogBarChord(s, bar) == -1) return 0;
      log.Append("len=  0:ProgressAnyChord**************\n");
      const int motif = EarlierBar(s.form.motifSource[static_cast<size_t>(bar)], bar);
      if (bar == 0) {
        log.Append("初っぱなの音だぜっ！\n");
        note.pitch = s.chordTones[0] + 1;
        note.octave = 5;
        edu = 2;
      } else if (motif != -1) {
        log.Append("モチーフのコピー！はじめの音は？\n");
        PrepareScale(s, motif);
        LogBarChord(s, motif);
        const BarNote& model = s.barNotes[static_cast<size_t>(motif)][0];
        const int position = FindChordPitch(s.chordTones, model.pitch);
        PrepareScale(s, bar);
        LogBarChord(s, bar);
        if (position != -1) {
          note.pitch = s.chordTones[static_cast<size_t>(position)] + 1;
          note.octave = model.octave;
        } else {
          ApplyRule(period, barInPeriod, n);
        }
      } else {
        ApplyRule(period, barInPeriod, n);
      }
    } else {
      log.Append(PositionLine(t));
      ApplyRule(period, barInPeriod, n);
    }
    oct_bak = static_cast<int8_t>(note.octave);
    tone_bak = static_cast<int8_t>(note.pitch);
    t += note.length;
    const std::string_view name = PitchName(tone_bak);
    const std::string_view direction = EduName(edu);
    log.Appendf("決定音：tone_bak=%.*s  oct_bak=%d  edu=%.*s\n", static_cast<int>(name.size()),
                name.data(), oct_bak, static_cast<int>(direction.size()), direction.data());
    if (t >= kTicksPerBar) {
      // The bar must end exactly at its bar line: a note across it, or notes after it, would
      // put the melody out of step with the accompaniment.
      const bool ends = n + 1 == kBarEntries || notes[static_cast<size_t>(n) + 1].length == -1;
      if (t == kTicksPerBar && ends) return 1;
      break;
    }
  }
  s.platform.ShowMessage("音長合成ERROR", MessageIcon::kStop);
  return 0;
}

void PitchGenerator::ApplyRule(int period, int barInPeriod, int note) {
  MelodyContext& s = context_;
  const int bar = period * kBarsPerPeriod + barInPeriod;
  BarNote& current = s.barNotes[static_cast<size_t>(bar)][static_cast<size_t>(note)];
  s.log.Appendf("\n規則NO%2d  CALL\n", current.rule);
  switch (current.rule) {
    case 0: ProgressLeChord(period, barInPeriod, note); break;
    case 1: ProgressSeChord(period, barInPeriod, note); break;
    case 2: ProgressSequal(period, barInPeriod, note); break;
    case 3: ProgressLe(period, barInPeriod, note); break;
    case 4: ProgressLrChord(period, barInPeriod, note); break;
    case 5: ProgressSrChord(period, barInPeriod, note); break;
    case 6: ProgressSreverse(period, barInPeriod, note); break;
    case 7: ProgressLr(period, barInPeriod, note); break;
    case 8: ProgressEqual(period, barInPeriod, note); break;
    case 9: ProgressGap(period, barInPeriod, note); break;
    case 10: ProgressAnyChord(period, barInPeriod, note); break;
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "ERROR1:nextprogressmode=%d\n", nextprogressmode);
      s.log.Append(text);
      s.platform.ShowMessage(text, MessageIcon::kStop);
      break;
    }
  }
  const int64_t d = static_cast<int64_t>(current.octave) - s.barNotes[0][0].octave;
  if (d < 0) {
    s.log.Append("進行方向ＥＤＵ逆変換\n");
    edu = 1;
  }
  if (d > 1) {
    s.log.Append("進行方向ＥＤＵ逆変換\n");
    edu = 2;
  }
}

void PitchGenerator::FlattenMelody() {
  MelodyContext& s = context_;
  const int bars = s.form.BarCount();
  noteCount = 0;
  for (int b = 0; b < bars; ++b) {
    const BarNotes& notes = s.barNotes[static_cast<size_t>(b)];
    for (int n = 0; n < kBarEntries && notes[static_cast<size_t>(n)].length != -1; ++n) {
      if (noteCount >= kTrackSteps - 1) break;
      TrackNote& cell = s.noteTrack.at(noteCount, 0);
      cell.length = notes[static_cast<size_t>(n)].length;
      cell.pitch = notes[static_cast<size_t>(n)].pitch;
      cell.octave = static_cast<int8_t>(notes[static_cast<size_t>(n)].octave);
      ++noteCount;
    }
  }
  s.noteTrack.at(noteCount, 0).length = -1;
}

void PitchGenerator::BuildBassVoice() {
  MelodyContext& s = context_;
  const int bars = s.form.BarCount();
  for (int b = 0; b < bars; ++b) {
    LogBarChord(s, b);
    for (int j = 0; j < 8; ++j) {
      TrackNote& cell = s.noteTrack.at(b * 8 + j, 1);
      cell.length = 24;
      cell.pitch = s.chordTones[0] + 1;
      cell.octave = 3;
    }
    s.noteTrack.at(b * 8 + 8, 1).length = -1;
    for (int8_t tone : s.keyScale) {
      const std::string_view name = PitchName(tone);
      s.log.Appendf("%.*s,", static_cast<int>(name.size()), name.data());
    }
    s.log.Append("\n");
  }
}

void PitchGenerator::CorrectOctaves() {
  MelodyContext& s = context_;
  for (int i = 0; i < noteCount; ++i) {
    const TrackNote& first = s.noteTrack.at(0, 0);
    TrackNote& cell = s.noteTrack.at(i, 0);
    const int x = Interval(s, cell.pitch, first.pitch, cell.octave, first.octave);
    if (x < -4) cell.octave = static_cast<int8_t>(cell.octave + 1);
    if (x > 12) cell.octave = static_cast<int8_t>(cell.octave - 1);
  }
}

}  // namespace vema
