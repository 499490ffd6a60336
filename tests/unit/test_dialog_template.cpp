#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>

#include "app/DialogTemplate.h"
#include "app/Resource.h"

using namespace vantor;

namespace {

// Width and height from a PNG's header; {0, 0} when the file is missing or not a PNG.
std::pair<int, int> PngSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<unsigned char, 24> h{};
  if (!in.read(reinterpret_cast<char*>(h.data()), h.size())) return {0, 0};
  if (h[0] != 0x89 || h[1] != 'P' || h[2] != 'N' || h[3] != 'G') return {0, 0};
  auto be32 = [&](int at) {
    return int(std::uint32_t(h[at]) << 24 | std::uint32_t(h[at + 1]) << 16 |
               std::uint32_t(h[at + 2]) << 8 | std::uint32_t(h[at + 3]));
  };
  return {be32(16), be32(20)};
}

std::string BitmapPath(int id) {
  return std::string(VANTOR_BINARY_DIR) + "/share/vantor/bitmaps/" + std::to_string(id) + ".png";
}

bool IsVisible(int id) {
  const auto* c = FindTemplateControl(id);
  return c && c->visible;
}

}  // namespace

TEST(DialogUnits, ConvertAtOneAndAHalfPixelsRoundingHalvesUp) {
  EXPECT_EQ(DialogUnitsToPixels(0), 0);
  EXPECT_EQ(DialogUnitsToPixels(1), 2);
  EXPECT_EQ(DialogUnitsToPixels(2), 3);
  EXPECT_EQ(DialogUnitsToPixels(3), 5);
  EXPECT_EQ(DialogUnitsToPixels(39), 59);
  EXPECT_EQ(DialogUnitsToPixels(40), 60);
  EXPECT_EQ(DialogUnitsToPixels(696), 1044);
  EXPECT_EQ(DialogUnitsToPixels(-3), -5);
}

TEST(DialogTemplate, PositionSliderSitsRightUnderTheVideoArea) {
  const PixelRect slider = MainDialogControlPlace(res::IDC_POSITION);
  EXPECT_EQ(slider.y, kVideoPlace.Bottom() + 1);
  EXPECT_EQ(slider.x, 39);
  EXPECT_EQ(slider.width, 603);
}

TEST(DialogTemplate, OdometerDigitsSitSideBySideOnTheSpeedGaugeFace) {
  int previousRight = -1;
  for (int id = res::IDC_DIGIT_100000; id <= res::IDC_DIGIT_1; ++id) {
    const PixelRect d = MainDialogControlPlace(id);
    EXPECT_TRUE(IsVisible(id)) << id;
    EXPECT_GE(d.x, kSpeedDialPlace.x) << id;
    EXPECT_LE(d.Right(), kSpeedDialPlace.Right()) << id;
    EXPECT_GE(d.y, kSpeedDialPlace.y) << id;
    EXPECT_LE(d.Bottom(), kSpeedDialPlace.Bottom()) << id;
    if (previousRight >= 0) {
      EXPECT_EQ(d.x, previousRight) << id;
    }
    previousRight = d.Right();
  }
}

TEST(DialogTemplate, ControlIdsAreUniqueAndEveryButtonIsConfigured) {
  std::set<int> ids;
  for (const auto& c : MainDialogControls()) {
    if (c.id == -1) continue;
    EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
  }
  EXPECT_EQ(MainDialogControls().size(), 37u);

  std::set<int> configured;
  for (const auto& a : MainDialogButtonArtwork()) {
    const auto* c = FindTemplateControl(a.id);
    ASSERT_NE(c, nullptr) << a.id;
    EXPECT_EQ(c->kind, ControlKind::ImageButton) << a.id;
    configured.insert(a.id);
  }
  EXPECT_EQ(configured.size(), 16u);
  for (const auto& c : MainDialogControls())
    if (c.kind == ControlKind::ImageButton) {
      EXPECT_TRUE(configured.count(c.id)) << c.id;
    }
}

TEST(DialogTemplate, EveryVisibleControlEndsUpInsideTheWindow) {
  for (const auto& c : MainDialogControls()) {
    if (!c.visible) continue;
    const PixelRect r = MainDialogControlPlace(c.id);
    EXPECT_GE(r.x, 0) << c.id;
    EXPECT_GE(r.y, 0) << c.id;
    EXPECT_LE(r.Right(), kMainWindowWidth) << c.id;
    // Below a title bar of up to 28 pixels; the drop-down's template height
    // is that of its open list.
    if (c.kind != ControlKind::Choice) {
      EXPECT_LE(r.Bottom(), kMainWindowHeight - 28) << c.id;
    }
  }
}

TEST(DialogTemplate, MovedTransportButtonsOverlapNothing) {
  for (int id : {res::IDC_FAST_BACKWARD, res::IDC_BACKWARD_PLAY, res::IDC_FAST_FORWARD}) {
    const PixelRect moved = MainDialogControlPlace(id);
    EXPECT_FALSE(moved.Intersects(kSpeedDialPlace)) << id;
    EXPECT_FALSE(moved.Intersects(kVideoPlace)) << id;
    for (const auto& c : MainDialogControls()) {
      if (c.id == id) continue;
      // Visible controls, and the hidden places other views draw into or may show.
      const bool hiddenWithARole = c.id == res::IDC_METER || c.id == res::IDC_GRAPH_FRAME ||
                                   c.id == res::IDC_ANGLE1 || c.id == res::IDC_ANGLE2;
      if (!c.visible && !hiddenWithARole) continue;
      const PixelRect other = MainDialogControlPlace(c.id);
      // A slider is given at least the height the desktop needs for it.
      PixelRect grown = other;
      if (c.kind == ControlKind::Slider) grown.height = std::max(other.height, 34);
      EXPECT_FALSE(moved.Intersects(grown)) << id << " overlaps " << c.id;
    }
  }
}

TEST(DialogTemplate, ButtonsMovedByTheSetUpKeepTheirExactPixelPlaces) {
  struct Expected {
    int id;
    PixelRect place;
  };
  const Expected expected[] = {
      {1007, {0, 593, 54, 61}},   {1056, {45, 593, 58, 61}},  {1002, {93, 593, 58, 61}},
      {1011, {144, 593, 58, 61}}, {1014, {195, 593, 59, 61}}, {1018, {820, 593, 64, 61}},
      {1017, {880, 593, 63, 61}}, {1016, {940, 593, 64, 61}}, {1001, {880, 12, 69, 45}},
  };
  for (const auto& e : expected) EXPECT_EQ(MainDialogControlPlace(e.id), e.place) << e.id;
}

TEST(Artwork, EveryButtonPictureExistsAtTheSizeItIsShown) {
  for (const auto& a : MainDialogButtonArtwork()) {
    for (int id : {a.normal, a.over, a.disabled, a.down}) {
      const auto [w, h] = PngSize(BitmapPath(id));
      EXPECT_GT(w, 0) << "artwork " << id << " missing";
      EXPECT_GT(h, 0) << id;
    }
    // A visible button's normal picture is drawn 1:1.
    if (!IsVisible(a.id)) continue;
    const PixelRect place = MainDialogControlPlace(a.id);
    EXPECT_EQ(PngSize(BitmapPath(a.normal)), std::make_pair(place.width, place.height)) << a.id;
    EXPECT_EQ(PngSize(BitmapPath(a.over)), std::make_pair(place.width, place.height)) << a.id;
  }
}

TEST(Artwork, IconAboutPictureAndPlaylistMarksExist) {
  EXPECT_EQ(PngSize(BitmapPath(res::IDR_MAINFRAME)), std::make_pair(64, 64));
  EXPECT_EQ(PngSize(BitmapPath(res::IDB_ABOUT)), std::make_pair(153, 92));
  // Narrower than one 320-pixel mark image: the list gets no images from it.
  EXPECT_EQ(PngSize(BitmapPath(res::IDB_PLAYLIST_MARKS)), std::make_pair(128, 32));
}
