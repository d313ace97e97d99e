#include "song/tables.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

namespace vema {
namespace {

// Appends a decimal integer right-aligned in `width` characters, as "%*d" does.
void AppendInt(std::string& out, long long value, int width) {
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;
  const auto length = static_cast<int>(end - digits);
  if (width > length) out.append(static_cast<size_t>(width - length), ' ');
  out.append(digits, end);
}

}  // namespace

std::unique_ptr<TrackNote[], NoteTrackTable::Free> NoteTrackTable::Allocate() {
  static_assert(std::is_trivially_copyable_v<TrackNote>);
  void* cells = std::calloc(kCells, sizeof(TrackNote));  // all-zero bytes: every field 0
  if (cells == nullptr) throw std::bad_alloc();
  return std::unique_ptr<TrackNote[], Free>(static_cast<TrackNote*>(cells));
}

NoteTrackTable& NoteTrackTable::operator=(const NoteTrackTable& other) {
  if (this != &other) std::memcpy(cells_.get(), other.cells_.get(), kCells * sizeof(TrackNote));
  return *this;
}

// The trace is written a few thousand times a composition, so the formats it uses (%d with an
// optional width, %s, %.*s, %c and %%) are formatted here directly; any other conversion goes
// through vsnprintf.  The text is the same as printf's.
void GenerationLog::Appendf(const char* format, ...) {
  if (muted_) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const size_t start = text_.size();
  const char* p = format;
  bool simple = true;
  while (*p != '\0') {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      text_.append(p);
      break;
    }
    text_.append(p, static_cast<size_t>(percent - p));
    p = percent + 1;
    int width = 0;
    if (*p != '0') {  // a flag such as the zero padding of "%03d" is left to vsnprintf
      while (*p >= '0' && *p <= '9' && width < 1000) width = width * 10 + (*p++ - '0');
    }
    if (*p == 'd' && width < 64) {
      AppendInt(text_, va_arg(args, int), width);
    } else if (*p == 's' && width == 0) {
      text_.append(va_arg(args, const char*));
    } else if (p[0] == '.' && p[1] == '*' && p[2] == 's' && width == 0) {
      const int length = va_arg(args, int);
      const char* text = va_arg(args, const char*);
      // At most `length` bytes are read; like printf, a NUL within them ends the text.
      size_t size = 0;
      if (length < 0) {
        size = std::strlen(text);
      } else {
        const void* nul = std::memchr(text, '\0', static_cast<size_t>(length));
        size = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text)
                              : static_cast<size_t>(length);
      }
      text_.append(text, size);
      p += 2;
    } else if (*p == 'c' && width == 0) {
      text_.push_back(static_cast<char>(va_arg(args, int)));
    } else if (*p == '%' && width == 0) {
      text_.push_back('%');
    } else {
      simple = false;
      break;
    }
    ++p;
  }
  va_end(args);
  if (!simple) {
    text_.resize(start);
    va_list sizing;
    va_copy(sizing, copy);
    const int needed = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (needed > 0) {
      text_.resize(start + static_cast<size_t>(needed) + 1);
      std::vsnprintf(text_.data() + start, static_cast<size_t>(needed) + 1, format, copy);
      text_.resize(start + static_cast<size_t>(needed));
    }
  }
  va_end(copy);
}

}  // namespace vema
