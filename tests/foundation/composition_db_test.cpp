// The note-length database file (.mld): every field at its offset, short, clamped and missing
// files; and the field reader under it.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "song/binary_io.h"
#include "song/composition_db.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::TestSession;
using testing::WriteAll;

void PutInt(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

// A complete file image with the fields placed by their documented offsets.
std::vector<uint8_t> HandMadeImage() {
  std::vector<uint8_t> bytes(kMldFileBytes, 0);
  bytes[0] = 3;                                   // kind
  PutInt(bytes, 6001 + 4 * 1, 4);                 // lastTransitionIndex[1]: kind 0, 5 records
  PutInt(bytes, 6001 + 4 * 2, -1);                // kind 1 empty
  PutInt(bytes, 6001 + 4 * 3, 0);                 // kind 2, one record
  PutInt(bytes, 6001 + 4 * 4, -1);                // kind 3 empty
  PutInt(bytes, 6161 + 4 * (30 * 2 + 0), 96);     // pattern 2 = 96, -1
  PutInt(bytes, 6161 + 4 * (30 * 2 + 1), -1);
  PutInt(bytes, 6161 + 4 * (30 * 1499 + 29), 77); // last integer of the last pattern
  const int32_t froms[5] = {7, 7, 3, 3, 3};
  for (int j = 0; j < 5; ++j) {
    const size_t at = 378161 + 12 * static_cast<size_t>(j);
    PutInt(bytes, at, froms[j]);
    PutInt(bytes, at + 4, 10 + j);
    PutInt(bytes, at + 8, j + 1);
  }
  PutInt(bytes, 378161 + 12 * 2000, 42);          // first record of kind 2
  PutInt(bytes, 378161 + 12 * 2000 + 4, 43);
  PutInt(bytes, 378161 + 12 * 2000 + 8, 9);
  PutInt(bytes, 438161, 555);                     // the unused second table is ignored
  return bytes;
}

TEST(CompositionDbFile, FieldsAreReadFromTheirOffsetsAndWrittenBack) {
  TempDir dir;
  WriteAll(dir.File("a.mld"), HandMadeImage());
  TestSession t(dir.str());
  CompositionDb& db = t.session->compositionDb;
  ASSERT_TRUE(CompositionDbLoader("a.mld").Load(db, t.platform, dir.str()));
  EXPECT_EQ(db.loaded, 1);
  EXPECT_EQ(db.kind, 3);
  EXPECT_EQ(db.LastIndex(0), 4);
  EXPECT_EQ(db.LastIndex(1), -1);
  EXPECT_EQ(db.Pattern(2)[0], 96);
  EXPECT_EQ(db.Pattern(2)[1], -1);
  EXPECT_EQ(db.Pattern(1499)[29], 77);
  EXPECT_EQ(db.transitions[1].from, 7);
  EXPECT_EQ(db.transitions[4].to, 14);
  EXPECT_EQ(db.transitions[2000].weight, 9);
  EXPECT_TRUE(t.platform.messages.empty());
  // The encoder writes the layout the loader reads; reserved blocks are written as zeros.
  std::vector<uint8_t> expected = HandMadeImage();
  PutInt(expected, 438161, 0);
  EXPECT_EQ(EncodeCompositionDb(db), expected);
  // Transition groups follow runs of equal "from".
  const auto& g0 = db.transitionGroups[0];
  EXPECT_EQ(g0[0].first, 0);
  EXPECT_EQ(g0[0].total, 1 + 2);
  EXPECT_EQ(g0[0].count, 2);
  EXPECT_EQ(g0[1].first, 2);
  EXPECT_EQ(g0[1].total, 3 + 4 + 5);
  EXPECT_EQ(g0[1].count, 3);
  for (int g = 2; g < kPatternCount; ++g) {
    ASSERT_EQ(g0[g].first, 0);
    ASSERT_EQ(g0[g].count, 0);
  }
  for (const TransitionGroup& g : db.transitionGroups[1]) {  // an empty kind
    ASSERT_EQ(g.first, 1000);
    ASSERT_EQ(g.total, 0);
    ASSERT_EQ(g.count, 0);
  }
  EXPECT_EQ(db.transitionGroups[2][0].first, 2000);
  EXPECT_EQ(db.transitionGroups[2][0].count, 1);
  EXPECT_EQ(db.transitionGroups[2][1].count, 0);
}

TEST(CompositionDbFile, SeparateRunsOfOneFromGetSeparateGroupsAndOddPatternNumbersReadEmpty) {
  CompositionDb db;
  db.lastTransitionIndex[1] = 2;
  db.transitions[0] = {5, 1, 1};
  db.transitions[1] = {6, 1, 1};
  db.transitions[2] = {5, 2, 1};
  db.BuildTransitionGroups();
  EXPECT_EQ(db.transitionGroups[0][0].count, 1);
  EXPECT_EQ(db.transitionGroups[0][1].first, 1);
  EXPECT_EQ(db.transitionGroups[0][2].first, 2);
  for (int p : {-1, 1500, INT32_MIN}) EXPECT_EQ(db.Pattern(p)[0], -1) << p;
}

// Files cut short, with record counts out of range, or missing: read as far as they go, the
// counts clamped, and a missing file keeps the previous database.
TEST(CompositionDbFile, ShortClampedAndMissingFiles) {
  TestSession t;
  CompositionDb& db = t.session->compositionDb;
  db.noteLengthPatterns[0] = 0x11223344;
  db.noteLengthPatterns[1] = 0x55667788;
  db.transitions[0].from = 31;
  std::vector<uint8_t> bytes = HandMadeImage();
  PutInt(bytes, 6161, 0x0A0B0C0D);
  bytes.resize(6161 + 2);  // ends two bytes into the first pattern integer
  TempDir dir;
  WriteAll(dir.File("short.mld"), bytes);
  const auto load = [&](const char* name) {
    return CompositionDbLoader(name).Load(db, t.platform, dir.str());
  };
  ASSERT_TRUE(load("short.mld"));
  EXPECT_EQ(db.loaded, 1);
  EXPECT_EQ(db.kind, 3);
  EXPECT_EQ(db.LastIndex(0), 4);
  EXPECT_EQ(static_cast<uint32_t>(db.noteLengthPatterns[0]), 0x11220C0Du);  // low bytes replaced
  EXPECT_EQ(db.noteLengthPatterns[1], 0x55667788);
  EXPECT_EQ(db.transitions[0].from, 31);
  WriteAll(dir.File("empty.mld"), {});
  ASSERT_TRUE(load("empty.mld"));
  EXPECT_EQ(db.kind, 3);
  EXPECT_TRUE(t.platform.messages.empty());

  bytes = HandMadeImage();
  PutInt(bytes, 6001 + 4 * 1, 123456);  // far beyond the block
  PutInt(bytes, 6001 + 4 * 2, -77);
  WriteAll(dir.File("a.mld"), bytes);
  ASSERT_TRUE(load("a.mld"));
  EXPECT_EQ(db.LastIndex(0), 999);
  EXPECT_EQ(db.LastIndex(1), -1);
  int records = 0;
  for (const TransitionGroup& g : db.transitionGroups[0]) records += g.count;
  EXPECT_EQ(records, 1000);

  EXPECT_FALSE(load("missing.mld"));
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text, "ファイルを開けません[missing.mld]");
  EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kStop);
  EXPECT_EQ(db.loaded, 1);
  EXPECT_EQ(db.kind, 3);
  EXPECT_EQ(db.Pattern(2)[0], 96);
}

// Reading fields in bulk, from bytes in memory or straight from a file into the fields, gives
// what reading them byte by byte gives, for files cut anywhere.
TEST(FieldReader, BulkIntegersAndTextsEqualTheByteByBytePathAtEveryCut) {
  struct Pair {
    int32_t first, second;
    bool operator==(const Pair&) const = default;
  };
  std::vector<uint8_t> file(1 + 4 * 6 + 5);
  std::iota(file.begin(), file.end(), uint8_t{0x81});
  TempDir dir;
  for (size_t cut = 0; cut <= file.size(); ++cut) {
    const std::span<const uint8_t> bytes(file.data(), cut);
    WriteAll(dir.File("cut"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const std::optional<ReadableFile> readable = ReadableFile::Open(dir.File("cut"));
    ASSERT_TRUE(readable);
    std::vector<int32_t> bulk(6, -0x12345678), bytewise = bulk;  // previous values
    std::vector<Pair> records(3, Pair{-0x12345678, -0x12345678});
    std::vector<char> text(5, 'z'), text2 = text, text3 = text;
    uint8_t kind = 9, kind2 = 9, kind3 = 9;
    FieldReader a(bytes), b(bytes), c(*readable);
    a.Byte(kind);
    a.Int32s(bulk);
    a.Chars(text);
    b.Byte(kind2);
    b.Int32sByBytes(bytewise);
    for (char& ch : text2) {  // one character at a time
      b.Chars({&ch, 1});
    }
    EXPECT_EQ(c.exhausted(), cut == 0);
    c.Byte(kind3);
    c.Int32Records(std::span(records));
    c.Chars(text3);
    EXPECT_EQ(bulk, bytewise) << "cut at " << cut;
    EXPECT_EQ(text, text2) << "cut at " << cut;
    EXPECT_EQ(kind, kind2) << "cut at " << cut;
    EXPECT_EQ(kind3, kind) << "cut at " << cut;
    EXPECT_EQ(records, (std::vector<Pair>{{bulk[0], bulk[1]}, {bulk[2], bulk[3]}, {bulk[4], bulk[5]}}))
        << "cut at " << cut;
    EXPECT_EQ(text3, text) << "cut at " << cut;
    EXPECT_EQ(a.offset(), b.offset());
    EXPECT_EQ(c.offset(), file.size());
    EXPECT_EQ(a.offset(), file.size());
    EXPECT_FALSE(c.failed());
    EXPECT_EQ(c.exhausted(), true);
  }
  // Little-endian: the first integer of the whole file is bytes 1..4, lowest first.
  std::vector<int32_t> values(1);
  FieldReader in(file);
  in.Skip(1);
  in.Int32sByBytes(values);
  EXPECT_EQ(static_cast<uint32_t>(values[0]), 0x85848382u);
  // A cut in the middle of an integer replaces only the bytes present.
  values = {0x11223344};
  FieldReader cut(std::span<const uint8_t>(file.data(), 3));
  cut.Skip(1);
  cut.Int32s(values);
  EXPECT_EQ(static_cast<uint32_t>(values[0]), 0x11228382u);
}

}  // namespace
}  // namespace vema
