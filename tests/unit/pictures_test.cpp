#include <gtest/gtest.h>

#include "resources/jpeg_picture.h"
#include "resources/layout.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

// Every picture decodes at exactly the size of its control; the background is progressive.
TEST(Pictures, EachDecodesAtItsControlsSize) {
  const std::pair<const char*, const char*> pictures[] = {
      {"background.jpg", "Image1"}, {"poster.jpg", "Image2"}, {"back.jpg", "Image3"},
      {"next.jpg", "Image4"},       {"cancel.jpg", "Image5"}, {"emblem.jpg", "Image6"}};
  for (const auto& [file, control] : pictures) {
    const std::string bytes = test::ReadFile(std::string(MERVA_ART) + "/" + file);
    TDecodedPicture picture;
    std::string error;
    ASSERT_TRUE(
        DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture, error))
        << file << ": " << error;
    const TControlLayout& layout = ControlLayout(control);
    EXPECT_EQ(picture.Width, layout.Width) << file;
    EXPECT_EQ(picture.Height, layout.Height) << file;
    EXPECT_EQ(picture.Bgr.size(), static_cast<size_t>(layout.Width) * layout.Height * 3);
    EXPECT_EQ(picture.Progressive, std::string(file) == "background.jpg") << file;
  }
}

TEST(Pictures, DataThatIsNoJpegIsRefused) {
  const std::string bytes = "\xFF\xD8 not really a picture";
  TDecodedPicture picture;
  std::string error;
  EXPECT_FALSE(
      DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture, error));
  EXPECT_FALSE(error.empty());
}

// The layout tables: places, sizes and the fixed control IDs.
TEST(Layout, ControlsSitWhereTheWindowExpectsThem) {
  EXPECT_EQ(kWindowLayout.ClientWidth, 566);
  EXPECT_EQ(kWindowLayout.ClientHeight, 450);
  const std::tuple<const char*, int, int, int, int, int> table[] = {
      {"Image1", 101, 0, 0, 566, 450},       {"Image2", 102, 326, 27, 240, 180},
      {"Image3", 103, 203, 409, 112, 32},    {"Image4", 104, 318, 409, 112, 32},
      {"Image5", 105, 440, 409, 112, 32},    {"Label1", 201, 8, 88, 313, 305},
      {"Label2", 202, 8, 0, 545, 27},        {"Image6", 106, 328, 208, 240, 160},
      {"CheckBox1", 301, 328, 368, 225, 25}, {"Edit1", 401, 8, 152, 313, 21},
      {"Button4", 504, 248, 184, 75, 25},    {"ProgressBar1", 601, 8, 112, 313, 25}};
  size_t order = 0;
  for (const auto& [name, id, left, top, width, height] : table) {
    const TControlLayout& c = kControlLayout[order++];
    EXPECT_STREQ(c.Name, name);  // creation order is drawing order
    EXPECT_EQ(c.Id, id) << name;
    EXPECT_EQ(c.Left, left) << name;
    EXPECT_EQ(c.Top, top) << name;
    EXPECT_EQ(c.Width, width) << name;
    EXPECT_EQ(c.Height, height) << name;
  }
  EXPECT_EQ(ControlLayout("Image6").Left + ControlLayout("Image6").Width, 568);
  EXPECT_STREQ(ControlLayout("Label2").Font.Face, "Arial");
  EXPECT_TRUE(ControlLayout("Label2").Font.Bold);
}

}  // namespace
}  // namespace merva
