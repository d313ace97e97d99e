// The shipped default files, read the way the program starts: every stored form gets a whole
// melody.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <vector>

#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "melody_fixture.h"

namespace vema {
namespace {

TEST(DefaultData, EveryStoredFormGetsAMelody) {
  const std::filesystem::path data = testing::DataDir();
  testing::TempDir dir;
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    if (!std::filesystem::exists(data / name)) GTEST_SKIP() << name << " is not there yet";
    std::filesystem::copy_file(data / name, dir.path() / name);
  }
  testing::TestSession ts(dir.str(), 42);
  Session& s = *ts.session;
  StartUp(s);
  for (int f = 0; f < s.customForms.Count(); ++f) {
    s.form = s.customForms.forms[static_cast<size_t>(f)];
    NoteLengthGenerator(s).Run();
    ASSERT_EQ(PitchGenerator(s).Run(), 1) << "form " << f;
    for (int b = 0; b < s.form.BarCount(); ++b) {
      const std::vector<int32_t> lengths = testing::Lengths(s, b);
      EXPECT_EQ(std::accumulate(lengths.begin(), lengths.end(), 0), 192) << f << " bar " << b;
    }
  }
  EXPECT_TRUE(ts.platform.messages.empty());  // neither at start-up nor while composing
}

}  // namespace
}  // namespace vema
