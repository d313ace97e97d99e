#include "song/tables.h"

#include <cstdio>

namespace vema {

void GenerationLog::Appendf(const char* format, ...) {
  if (muted_) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(copy);
    return;
  }
  if (static_cast<size_t>(needed) < sizeof buffer) {
    text_.append(buffer, static_cast<size_t>(needed));
  } else {
    std::string large(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, copy);
    large.pop_back();
    text_.append(large);
  }
  va_end(copy);
}

}  // namespace vema
