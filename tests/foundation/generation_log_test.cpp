// The trace formats exactly as printf does, for the conversions it formats itself and for those
// it leaves to the C library.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "song/tables.h"

namespace vema {
namespace {

template <typename... Args>
std::string Printf(const char* format, Args... args) {
  std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, format, args...)) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  return text;
}

template <typename... Args>
void ExpectLikePrintf(const char* format, Args... args) {
  GenerationLog log;
  log.Reset("head:");
  log.Appendf(format, args...);
  EXPECT_EQ(log.text(), "head:" + Printf(format, args...)) << format;
}

TEST(GenerationLog, FormatsLikePrintf) {
  for (int v : {0, 7, -7, 42, -42, 100, 999, -1000, 12345, INT_MAX, INT_MIN}) {
    ExpectLikePrintf("%d小節***********************\n", v);
    ExpectLikePrintf("%2d小節：New mode\n", v);
    ExpectLikePrintf("次回音長=%3d\n", v);
    ExpectLikePrintf("音程差[-%d+%.*s](%2d)", v, 2, "m3xx", -(v / 2));
    ExpectLikePrintf("gaku=%d  bar=%d  pcnt=%d\n", v, v / 2 + 1, v / 2 - 1);
    ExpectLikePrintf("%12d|%-4d|%03d|%x|%+d|%5.2f", v, v, v, v, v, v / 3.0);  // left to printf
  }
  ExpectLikePrintf("%.*s,%s%c%%", 3, "c+", "tone", 'x');  // a NUL within the precision ends it
  ExpectLikePrintf("mae=%.*s,ato=%.*s", 0, "C", 5, "G7/B\0zz");
  ExpectLikePrintf("no conversion at all\n");
  ExpectLikePrintf("%.*s", 4, "ab");
  std::string longText(600, 'q');  // longer than any buffer
  ExpectLikePrintf("%s|%d", longText.c_str(), 3);
  ExpectLikePrintf("%s|%5.1f", longText.c_str(), 2.5);
  const char notTerminated[3] = {'C', 'm', '7'};  // no more is read than the precision
  GenerationLog log;
  log.Appendf("[%.*s]", 2, notTerminated);
  EXPECT_EQ(log.text(), "[Cm]");
}

}  // namespace
}  // namespace vema
