// The sound libraries' own messages.  FluidSynth and ALSA print their complaints (about a missing
// sound device, for one: nine lines) straight onto stderr, while the player tells its failures
// itself in one line; so their lines are dropped, unless VEMA_AUDIO_LOG is set to look into a
// sound problem.
#pragma once

namespace vema {

// Drops FluidSynth's log messages (every level) and ALSA's error lines for the whole process;
// nothing when VEMA_AUDIO_LOG is set.  Calling it again does no harm.
void QuietSoundLibraries();

}  // namespace vema
