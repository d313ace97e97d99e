// The melody style file (.ton): the layout, longer and shorter files, failed loads and saves.
#include <gtest/gtest.h>

#include "melody/melody_style_db.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::TestSession;
using testing::WriteAll;

int32_t ReadInt(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  return static_cast<int32_t>(v);
}

// Every one of the 1160 integers different, negative ones included.
MelodyStyleDb DistinctStyle() {
  MelodyStyleDb style;
  int32_t v = -500;
  for (auto& k : style.table) {
    for (auto& row : k) {
      for (int32_t& x : row) x = v++;
    }
  }
  for (int32_t& s : style.settings) s = v++ * 1000;
  return style;
}

TEST(MelodyStyleFile, LayoutPutsEachValueAtItsOffsetAndLoadGivesItBack) {
  TempDir dir;
  TestSession t(dir.str());
  MelodyStyleDb style = DistinctStyle();
  style.onBeat(2, 3, 4) = 111;
  style.offBeat(1, 11, 11) = 222;
  style.settings[7] = 333;
  ASSERT_TRUE(style.Save("s.ton", t.platform, dir.str()));
  const auto bytes = ReadAll(dir.File("s.ton"));
  ASSERT_EQ(bytes.size(), kTonFileBytes);
  EXPECT_EQ(ReadInt(bytes, 4 * (144 * 2 + 12 * 3 + 4)), 111);
  EXPECT_EQ(ReadInt(bytes, 2304 + 4 * (144 * 1 + 12 * 11 + 11)), 222);
  EXPECT_EQ(ReadInt(bytes, 4608 + 4 * 7), 333);
  EXPECT_EQ(ReadInt(bytes, 0), -500);
  // Loading gives back all integers.
  MelodyStyleDb loaded;
  ASSERT_TRUE(loaded.Load("s.ton", t.platform, dir.str()));
  EXPECT_EQ(loaded, style);
  EXPECT_TRUE(t.platform.messages.empty());
}

TEST(MelodyStyleFile, SavingOverALongerFileKeepsItsTail) {
  TempDir dir;
  TestSession t(dir.str());
  std::vector<uint8_t> old(5000);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i * 7);
  WriteAll(dir.File("s.ton"), old);
  ASSERT_TRUE(DistinctStyle().Save("s.ton", t.platform, dir.str()));
  const auto bytes = ReadAll(dir.File("s.ton"));
  ASSERT_EQ(bytes.size(), 5000u);
  EXPECT_TRUE(std::equal(bytes.begin() + 4640, bytes.end(), old.begin() + 4640));
  MelodyStyleDb loaded;
  ASSERT_TRUE(loaded.Load("s.ton", t.platform, dir.str()));
  EXPECT_EQ(loaded, DistinctStyle());
}

TEST(MelodyStyleFile, ShortFileLeavesTheRestAsItWas) {
  TempDir dir;
  TestSession t(dir.str());
  MelodyStyleDb style = DistinctStyle();
  const std::string bytes = MelodyStyleDb{}.Encode().substr(0, 10);  // 2.5 zero integers
  WriteAll(dir.File("short.ton"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
  ASSERT_TRUE(style.Load("short.ton", t.platform, dir.str()));
  EXPECT_EQ(style.table[0][0][0], 0);
  EXPECT_EQ(style.table[0][0][1], 0);
  EXPECT_EQ(style.table[0][0][2], static_cast<int32_t>(static_cast<uint32_t>(-498) & 0xFFFF0000u));
  EXPECT_EQ(style.table[0][0][3], -497);
  EXPECT_EQ(style.settings, DistinctStyle().settings);
}

// A file that is not there, a folder that is not there and a disk that fills part-way: each
// reported, the style in memory and the previous file as they were, no temporary file left.
TEST(MelodyStyleFile, FailedLoadsAndSavesAreReportedAndChangeNothing) {
  TempDir dir;
  TestSession t(dir.str());
  MelodyStyleDb style = DistinctStyle();
  EXPECT_FALSE(style.Load("none.ton", t.platform, dir.str()));
  EXPECT_EQ(style, DistinctStyle());
  EXPECT_FALSE(style.Save("no/such/folder/s.ton", t.platform, dir.str()));
  ASSERT_EQ(t.platform.messages.size(), 2u);
  EXPECT_EQ(t.platform.messages[0].text, "ファイルを開けません[none.ton]");
  EXPECT_EQ(t.platform.messages[1].text, "File could not created! ");
  EXPECT_EQ(t.platform.StopMessageCount(), 2);
  t.platform.messages.clear();
  ASSERT_TRUE(MelodyStyleDb{}.Save("s.ton", t.platform, dir.str()));
  const auto before = ReadAll(dir.File("s.ton"));
  // A disk with room for 100 bytes: the write fails part-way.
  const auto end = testing::RunInChild(
      [&] {
        return !DistinctStyle().Save("s.ton", t.platform, dir.str()) &&
                       t.platform.messages.size() == 1 &&
                       t.platform.messages[0].text == "File could not created! "
                   ? 0
                   : 1;
      },
      100);
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(ReadAll(dir.File("s.ton")), before);
  EXPECT_EQ(testing::Names(dir.path()), (std::set<std::string>{".vema.lock", "s.ton"}));
}

}  // namespace
}  // namespace vema
