// The plain-C face of the MIDI file player module (libvema_fluid.so), which holds everything that
// needs libfluidsynth.  The programs load it with dlopen when a song is first played or rendered,
// so that composing never loads an audio library.  Only C types cross the boundary.
#pragma once

#include <cstddef>

extern "C" {

inline constexpr int kPlayerModuleVersion = 3;

// Told now and then how much of a song has been rendered (0..1); returning 0 stops it.
typedef int (*VemaRenderProgress)(double share, void* data);

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
  // 1 when the song was rendered as a WAV file into wavFd (an empty file open for writing at its
  // start, named wavName in messages; the caller syncs, closes and renames it); else 0 and the
  // reason in error.  progress may be null.
  int (*render_wav)(void* player, const char* midiPath, int wavFd, const char* wavName,
                    char* error, size_t errorSize, VemaRenderProgress progress,
                    void* progressData);
  // Milliseconds from the last "play tada" to the first block of sound rendered for it, or -1.
  double (*first_block_latency_ms)(void* player);
};

// The module's one exported symbol.
const VemaPlayerModule* vema_player_module();
}
