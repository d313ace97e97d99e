#include <gtest/gtest.h>

#include "editors/custom_form_store.h"
#include "song/binary_io.h"
#include "song/text.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace vema {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::TestSession;
using testing::WriteAll;

SongForm SampleForm(int seed) {
  SongForm form = BlankForm();
  form.lastPeriod = 1;
  form.periodSource[1] = 0;
  for (int b = 0; b < 8; ++b) {
    form.melodySource[8 + b] = form.motifSource[8 + b] = form.noteLengthSource[8 + b] = b;
  }
  form.noteLengthSource[3] = 1;
  form.keyIndex[5] = 15 + seed % 10;
  form.SetChord(0, "Am7");
  form.SetChord(1, "F#m7-5");
  form.SetChord(2, "CmM7/B-");  // exactly 7 characters
  form.SetChord(7, "G7sus4");
  return form;
}

TEST(CustomFormFile, WrittenFileHasTheFixedLayoutAndComesBackIdentical) {
  TempDir dir;
  {
    TestSession t(dir.str());
    Session& s = *t.session;
    WriteAll(dir.File("default.db"), {});
    s.customForms.count = 3;
    s.customForms.names[0] = "春の歌";
    s.customForms.names[1] = std::string(300, 'n');  // longer than the field
    s.customForms.names[2] = "third";
    for (int i = 0; i < 3; ++i) s.customForms.forms[i] = SampleForm(i);
    ASSERT_TRUE(WriteCustomFormFile(s.Editors()));
    EXPECT_TRUE(t.platform.messages.empty());
  }
  const auto bytes = ReadAll(dir.File("default.db"));
  ASSERT_EQ(bytes.size(), 560804u);
  EXPECT_EQ(bytes[0], 3);
  const std::string name0 = Utf8ToCp932("春の歌");
  EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 4 + name0.size()), name0);
  EXPECT_EQ(bytes[4 + name0.size()], 0);
  EXPECT_EQ(bytes[4 + 256 + 254], 'n');  // every name field holds its NUL
  EXPECT_EQ(bytes[4 + 256 + 255], 0);
  EXPECT_EQ(std::string(bytes.begin() + 4 + 512, bytes.begin() + 4 + 517), std::string("third", 5));
  const size_t record2 = 51204 + 2 * 2548;
  EXPECT_EQ(bytes[record2], 1);                 // lastPeriod
  EXPECT_EQ(bytes[record2 + 4 + 4], 0);         // periodSource[1] = 0
  EXPECT_EQ(bytes[record2 + 4], 0xFF);          // periodSource[0] = -1
  EXPECT_EQ(bytes[record2 + 52 + 4 * 8], 0);    // melodySource[8] = 0
  EXPECT_EQ(bytes[record2 + 820 + 4 * 3], 1);   // noteLengthSource[3] = 1
  EXPECT_EQ(bytes[record2 + 1204 + 4 * 5], 17); // keyIndex[5]
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[record2 + 1588 + 10 * 1])), "F#m7-5");
  TestSession t(dir.str());
  ReadCustomFormFile(t.session->Editors());
  const CustomFormTable& table = t.session->customForms;
  EXPECT_EQ(table.count, 3);
  EXPECT_EQ(table.names[0], "春の歌");
  EXPECT_EQ(table.names[1], std::string(255, 'n'));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(table.forms[i], SampleForm(i)) << i;
  EXPECT_EQ(t.session->form, SampleForm(0));  // stored form 0 becomes the current form
}

TEST(CustomFormFile, MissingStoreIsCreatedEmptyAndTheFormIsBlank) {
  TempDir dir;
  for (int start = 0; start < 2; ++start) {  // the second start finds the empty file
    TestSession t(dir.str());
    ReadCustomFormFile(t.session->Editors());
    EXPECT_TRUE(std::filesystem::exists(dir.File("default.db")));
    EXPECT_EQ(std::filesystem::file_size(dir.File("default.db")), 0u);
    EXPECT_EQ(t.session->customForms.count, 0);
    EXPECT_EQ(t.session->form, BlankForm());
    EXPECT_TRUE(t.platform.messages.empty());
  }
}

// Stores cut anywhere: the names read within their fields as far as they go, the forms
// counted that are whole, form 0 current only when it is whole, the damage reported once.
TEST(CustomFormFile, ShortStoresAreReadAsFarAsTheyGo) {
  CustomFormTable written;
  written.count = 3;
  written.names[0] = "first";
  written.names[1] = std::string(300, 'n');
  written.names[2] = "third";
  written.forms[0] = SampleForm(0);
  written.forms[1] = SampleForm(1);
  const std::vector<uint8_t> image = EncodeCustomForms(written);
  constexpr size_t kName0 = 4, kName1 = 4 + 256, kForms = 4 + 256 * 200;
  const std::vector<std::string> all = {"first", std::string(255, 'n'), "third"};
  const std::vector<std::string> first = {"first", "old1", "old2"};
  const struct {
    const char* what;
    size_t length;
    std::vector<std::string> names;
    bool formZeroCurrent;
    int count;
  } cases[] = {{"whole", image.size(), all, true, 3},
               {"cut in the first name", kName0 + 3, {"old0", "old1", "old2"}, false, 0},
               {"cut after the first name's NUL", kName0 + 6, first, false, 0},
               {"cut where the second name starts", kName1, first, false, 0},
               {"cut where form 0 ends", kForms + kFormRecordBytes, all, true, 1},
               {"cut one byte earlier", kForms + kFormRecordBytes - 1, all, false, 0},
               {"cut in the key block of form 1", kForms + kFormRecordBytes + 1300, all, true, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteAll(dir.File("default.db"), std::vector<uint8_t>(image.begin(), image.begin() + long(c.length)));
    TestSession t(dir.str());
    for (size_t i = 0; i < 3; ++i) t.session->customForms.names[i] = "old" + std::to_string(i);
    ReadCustomFormFile(t.session->Editors());
    const CustomFormTable& table = t.session->customForms;
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(table.names[i], c.names[i]);
    EXPECT_EQ(t.session->form, c.formZeroCurrent ? SampleForm(0) : BlankForm());
    EXPECT_EQ(table.count, c.count);
    const bool damaged = c.length < image.size();
    EXPECT_EQ(table.fileState == CustomFormFileState::kDamaged, damaged);
    ASSERT_EQ(t.platform.messages.size(), damaged ? 1u : 0u);
    if (damaged) {
      EXPECT_EQ(t.platform.messages[0].text,
                "ファイルが壊れています[default.db]\n読み込めたカスタムフォームだけを使います。");
      EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kStop);
    }
    if (c.length == kForms + kFormRecordBytes + 1300) {  // form 1 read up to the cut
      EXPECT_EQ(table.forms[1].lastPeriod, 1);
      EXPECT_EQ(table.forms[1].Chord(0), "");
    }
  }
  // A damaged field of 256 bytes without a NUL: its first 255 bytes.
  std::vector<uint8_t> damaged = image;
  std::fill(damaged.begin() + kName0, damaged.begin() + kName1, 'x');
  CustomFormTable read;
  DecodeCustomForms(damaged, read);
  EXPECT_EQ(read.names[0], std::string(255, 'x'));
  // No NUL anywhere: names and chords end within their fields.
  std::vector<uint8_t> noNul(kCustomFormFileBytes, 0xFF);
  noNul[0] = 5;
  noNul[1] = noNul[2] = noNul[3] = 0;
  DecodeCustomForms(noNul, read);
  EXPECT_EQ(read.count, 5);
  EXPECT_LE(Utf8ToCp932(read.names[0]).size(), 255u);
  EXPECT_EQ(read.forms[0].Chord(0).size(), 10u);  // never past its 10 bytes
  EXPECT_EQ(read.forms[199].lastPeriod, -1);
  EXPECT_EQ(read.forms[0].PeriodCount(), 1);      // -1 clamped to one period
}

TEST(CustomFormFile, WriteFailuresAreReported) {
  TempDir dir;
  TestSession t(dir.str());
  // The store vanished since start-up: reported, nothing written, an empty store left behind.
  EXPECT_FALSE(WriteCustomFormFile(t.session->Editors()));
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text, "File not Created! ");
  EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kStop);
  EXPECT_EQ(std::filesystem::file_size(dir.File("default.db")), 0u);
  // The next write succeeds.
  EXPECT_TRUE(WriteCustomFormFile(t.session->Editors()));
  EXPECT_EQ(std::filesystem::file_size(dir.File("default.db")), 560804u);
  // A store that cannot be opened (a folder in its place).
  TempDir other;
  std::filesystem::create_directory(other.File("default.db"));
  TestSession u(other.str());
  EXPECT_FALSE(WriteCustomFormFile(u.session->Editors()));
  ASSERT_EQ(u.platform.messages.size(), 1u);
  EXPECT_EQ(u.platform.messages[0].text, "File could not created! ");
}

TEST(CustomFormFile, AFailedWriteLeavesThePreviousStoreWhole) {
  TempDir dir;
  TestSession t(dir.str());
  Session& s = *t.session;
  WriteAll(dir.File("default.db"), {});
  s.customForms.count = 1;
  s.customForms.names[0] = "old";
  ASSERT_TRUE(WriteCustomFormFile(s.Editors()));
  const auto before = ReadAll(dir.File("default.db"));
  s.customForms.count = 2;
  s.customForms.names[1] = "new";
  // A disk with room for 1000 bytes: the write fails part-way.
  const auto end = testing::RunInChild(
      [&] {
        const bool written = WriteCustomFormFile(s.Editors());
        return !written && t.platform.messages.size() == 1 &&
                       t.platform.messages[0].text == "File could not created! " &&
                       s.customForms.count == 2  // the table in memory keeps the change
                   ? 0
                   : 1;
      },
      1000);
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(ReadAll(dir.File("default.db")), before);
  EXPECT_EQ(testing::Names(dir.path()), (std::set<std::string>{".vema.lock", "default.db"}));
}

TEST(CustomFormFile, LoadingAStoredFormMakesItCurrent) {
  TestSession t;
  Session& s = *t.session;
  s.customForms.count = 2;
  s.customForms.forms[1] = SampleForm(1);
  EXPECT_TRUE(LoadCustomForm(s.Editors(), 1));
  EXPECT_EQ(s.form, SampleForm(1));
  ASSERT_EQ(t.platform.messages.size(), 1u);
  EXPECT_EQ(t.platform.messages[0].text, "カスタムフォーム読み込み完了");
  EXPECT_EQ(t.platform.messages[0].icon, MessageIcon::kPlain);
  EXPECT_FALSE(LoadCustomForm(s.Editors(), 2));
  EXPECT_FALSE(LoadCustomForm(s.Editors(), -1));
  EXPECT_EQ(t.platform.messages.size(), 1u);
}

}  // namespace
}  // namespace vema
