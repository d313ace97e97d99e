// Stores cut short or damaged: what is read of the names, and when form 0 becomes current.
#include <gtest/gtest.h>

#include "editors/custom_form_store.h"
#include "support/test_support.h"

namespace vema {
namespace {

TEST(CustomFormNames, NamesAreReadWithinTheirFieldsAndShortStoresAsFarAsTheyGo) {
  CustomFormTable written;
  written.count = 3;
  written.names[0] = "first";
  written.names[1] = std::string(300, 'n');
  written.names[2] = "third";
  written.forms[0] = BlankForm();
  written.forms[0].lastPeriod = 4;
  const std::vector<uint8_t> image = EncodeCustomForms(written);
  constexpr size_t kName0 = 4, kName1 = 4 + 256, kForms = 4 + 256 * 200;
  // Every name field holds its NUL: a long name is cut to 255 bytes.
  EXPECT_EQ(image[kName1 + 254], 'n');
  EXPECT_EQ(image[kName1 + 255], 0);

  const std::vector<std::string> all = {"first", std::string(255, 'n'), "third"};
  const std::vector<std::string> first = {"first", "old1", "old2"};
  const struct {
    const char* what;
    size_t length;
    std::vector<std::string> names;
    bool formZeroCurrent;
  } cases[] = {{"whole", image.size(), all, true},
               {"cut in the first name", kName0 + 3, {"old0", "old1", "old2"}, false},
               {"cut after the first name's NUL", kName0 + 6, first, false},
               {"cut where the second name starts", kName1, first, false},
               {"cut where form 0 ends", kForms + kFormRecordBytes, all, true},
               {"cut one byte earlier", kForms + kFormRecordBytes - 1, all, false}};
  for (const auto& c : cases) {
    testing::TempDir dir;
    testing::WriteAll(dir.File("default.db"),
                      std::vector<uint8_t>(image.begin(), image.begin() + long(c.length)));
    testing::TestSession t(dir.str());
    for (size_t i = 0; i < 3; ++i) t.session->customForms.names[i] = "old" + std::to_string(i);
    ReadCustomFormFile(t.session->Editors());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(t.session->customForms.names[i], c.names[i]) << c.what;
    EXPECT_EQ(t.session->form.lastPeriod == 4, c.formZeroCurrent) << c.what;
  }
  // A damaged field of 256 bytes without a NUL: its first 255 bytes.
  std::vector<uint8_t> damaged = image;
  std::fill(damaged.begin() + kName0, damaged.begin() + kName1, 'x');
  CustomFormTable read;
  DecodeCustomForms(damaged, read);
  EXPECT_EQ(read.names[0], std::string(255, 'x'));
}

}  // namespace
}  // namespace vema
