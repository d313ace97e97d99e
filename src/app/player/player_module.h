// The plain-C face of the player module (libvema_fluid.so), which holds everything that needs
// libfluidsynth or a MIDI system (RtMidi).  The programs load it with dlopen when a song is first
// played or rendered, so that composing never loads an audio or MIDI library.  Only C types
// cross the boundary.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// 3: samples handed out instead of a WAV file written; MIDI output ports, notes, seeking.
inline constexpr int kPlayerModuleVersion = 3;

// Told now and then how much of a song has been rendered (0..1); returning 0 stops it.
typedef int (*VemaRenderProgress)(double share, void* data);
// Receives rendered samples in order (interleaved 16-bit little-endian stereo); 0 stops.
typedef int (*VemaSampleWriter)(const uint8_t* samples, size_t size, void* data);
// Receives one name of a list.
typedef void (*VemaNameList)(const char* name, void* data);

// The reason render_samples gives when write refused samples.
inline constexpr const char* kVemaSamplesNotWritten = "the samples could not be written";

// What take_notice reports.
enum VemaPlayerNotice { kVemaNoticeNone = 0, kVemaNoticePortMissing = 1, kVemaNoticePortLost = 2 };

struct VemaPlayerModule {
  int version;  // kPlayerModuleVersion
  // A player for the files of a working directory, sounding through the named fluidsynth audio
  // driver ("" for the system's).
  void* (*create)(const char* dir, const char* audioDriver);
  void (*destroy)(void* player);
  // One of the command strings of the alias "tada".
  void (*command)(void* player, const char* command);
  // Sets up the synthesizer and loads the soundfont ahead of the first command; 1 when ready.
  int (*prepare)(void* player, char* error, size_t errorSize);
  // 1 when the song played to its end; else 0 and the reason in error.
  int (*wait_until_end)(void* player, char* error, size_t errorSize);
  // Where the song played last has got to, in ticks of its file; -1 while none is playing.
  int (*playing_tick)(void* player);
  // 1 when the song of the MIDI file was rendered into samples, handed to write, with the
  // sample rate and frame count set; else 0 and the reason in error.  progress may be null.
  int (*render_samples)(void* player, const char* midiPath, VemaSampleWriter write,
                        void* writeData, uint32_t* rate, uint64_t* frames, char* error,
                        size_t errorSize, VemaRenderProgress progress, void* progressData);
  // Milliseconds from the last "play tada" to the first block of sound rendered for it, or -1.
  double (*first_block_latency_ms)(void* player);
  // Every MIDI output port of the system, by name; returns how many.
  int (*list_outputs)(void* player, VemaNameList each, void* data);
  // Where the next song and notes go: a MIDI output port by name, "" for the synthesizer.
  void (*set_output)(void* player, const char* port);
  // A VemaPlayerNotice since the last call, with the port's name in port.
  int (*take_notice)(void* player, char* port, size_t portSize);
  // Sounds a note now (channel 0..15, 9 drums) for so many milliseconds.
  void (*sound_note)(void* player, int channel, int program, int key, int velocity,
                     int milliseconds);
  // Moves the playing position (or where the next "play tada" starts) to a tick.
  void (*seek)(void* player, int64_t tick);
};

// The module's one exported symbol.
const VemaPlayerModule* vema_player_module();
}
