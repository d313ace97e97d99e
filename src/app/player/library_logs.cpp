#include "app/player/library_logs.h"

#include <dlfcn.h>
#include <fluidsynth.h>

#include <cstdlib>

namespace vema {
namespace {

// ALSA's error handler: printf-like, with the place in ALSA's sources first.
void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void QuietSoundLibraries() {
  if (std::getenv("VEMA_AUDIO_LOG") != nullptr) return;
  for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
    fluid_set_log_function(level, nullptr, nullptr);  // no function: the level is not printed
  }
  // libasound comes with libfluidsynth; its handler is set where it is loaded, without linking
  // ALSA ourselves.
  if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD)) {
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (const auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
      set(&DropAlsaMessage);
    }
    dlclose(alsa);
  }
}

}  // namespace vema
