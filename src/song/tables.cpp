#include "song/tables.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

namespace vema {
namespace {

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

void GenerationLog::Grow(size_t count) {
  constexpr size_t kFirstRoom = 256 * 1024;
  const size_t capacity = std::max({kFirstRoom, 2 * capacity_, used_ + count});
  auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
  if (used_ > 0) std::memcpy(bytes.get(), bytes_.get(), used_);
  bytes_ = std::move(bytes);
  capacity_ = capacity;
}

// A decimal integer right-aligned in `width` characters (less than 64), as "%*d" writes it.
void GenerationLog::AppendInt(int value, int width) {
  constexpr size_t kMaxPad = 64;
  constexpr size_t kMaxDigits = 16;
  char digits[kMaxDigits];
  const auto [end, ec] = std::to_chars(digits, digits + kMaxDigits, value);
  (void)ec;
  const auto length = static_cast<size_t>(end - digits);
  const size_t pad = width > static_cast<int>(length) ? static_cast<size_t>(width) - length : 0;
  // Blocks of a fixed size are copied without a call; what lies beyond the number is room.
  char* out = Room(kMaxPad + kMaxDigits);
  std::memset(out, ' ', kMaxPad);
  std::memcpy(out + pad, digits, kMaxDigits);
  used_ += pad + length;
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
  const size_t start = used_;
  const char* p = format;
  bool simple = true;
  for (;;) {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      Append(p);
      break;
    }
    Append({p, static_cast<size_t>(percent - p)});
    p = percent + 1;
    int width = 0;
    if (*p != '0') {  // a flag such as the zero padding of "%03d" is left to vsnprintf
      while (*p >= '0' && *p <= '9' && width < 1000) width = width * 10 + (*p++ - '0');
    }
    if (*p == 'd' && width < 64) {
      AppendInt(va_arg(args, int), width);
    } else if (*p == 's' && width == 0) {
      Append(va_arg(args, const char*));
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
      Append({text, size});
      p += 2;
    } else if (*p == 'c' && width == 0) {
      *Room(1) = static_cast<char>(va_arg(args, int));
      ++used_;
    } else if (*p == '%' && width == 0) {
      Append("%");
    } else {
      simple = false;
      break;
    }
    ++p;
  }
  va_end(args);
  if (!simple) {
    used_ = start;
    va_list sizing;
    va_copy(sizing, copy);
    const int needed = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (needed > 0) {
      std::vsnprintf(Room(static_cast<size_t>(needed) + 1), static_cast<size_t>(needed) + 1,
                     format, copy);
      used_ += static_cast<size_t>(needed);
    }
  }
  va_end(copy);
}

}  // namespace vema
