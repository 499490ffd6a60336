// The map page text and its file: what the browser is given to load.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "SnapshotTestUtil.h"
#include "map/MapPage.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

GpsRecord At(double lat, double lon) {
  GpsRecord r{};
  r.dLatitude = lat;
  r.dLongitude = lon;
  return r;
}

// A short drive in Shanghai, the camera's 0,0 before its first fix, and one
// damaged line.
std::vector<GpsRecord> SmallRoute() {
  return {At(0, 0),          At(31.2304, 121.4737), At(31.2310, 121.4745),
          At(NAN, 121.4750), At(31.2318, 121.4751), At(31.2325, 121.4760)};
}

// The runtime folder is redirected into a fresh folder of the test's own.
class MapPageFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    base_ = scratch_.emplace("map").path();
    setenv("XDG_RUNTIME_DIR", base_.c_str(), 1);
  }
  void TearDown() override {
    RemoveMapPage();
    if (had_)
      setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    scratch_.reset();
  }
  std::optional<test::ScratchFolder> scratch_;
  fs::path base_;
  bool had_ = false;
  std::string old_;
};

}  // namespace

TEST(MapPageText, MatchesTheGoldenPageForNormalMapZoom13WithRoute) {
  const auto route = SmallRoute();
  const std::string text =
      MapPageText(31.2318, 121.4751, 13, 0, MapRoute{route.data(), int(route.size()), 4});
  const std::string golden = ReadFile(fs::path(VANTOR_TEST_DATA_DIR) / "map_page/normal_z13.html");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(text, golden);
}

TEST(MapPageText, ADrivesRouteMarksThePlayingClipAndItsEndsAndTellsWhereItWasClicked) {
  const auto route = SmallRoute();
  const std::string text = MapPageText(31.2318, 121.4751, 13, 0,
                                       MapRoute{route.data(), int(route.size()), 1, 2, 4, true});
  // Records 2..4 are the second and third points written (0,0 and no latitude are not).
  EXPECT_NE(text.find("var clipFrom = 1, clipTo = 2;"), std::string::npos);
  EXPECT_NE(text.find("bindTooltip(\"Start\")"), std::string::npos);
  EXPECT_NE(text.find("bindTooltip(\"End\")"), std::string::npos);

  double lat = 0, lon = 0;
  ASSERT_TRUE(SeekFromMapTitle("seek 3 31.230400 121.473700", lat, lon));
  EXPECT_DOUBLE_EQ(lat, 31.2304);
  EXPECT_DOUBLE_EQ(lon, 121.4737);
  for (const char* other : {"zoom 3", "seek 1 91 0", "seek 1 0 0", "seek x 1 2", "seek 1 2 3 4"})
    EXPECT_FALSE(SeekFromMapTitle(other, lat, lon)) << other;
}

TEST(MapPageText, OnlyAZoomTitleIsReadAsTheZoom) {
  EXPECT_EQ(ZoomFromMapTitle("zoom 14"), 14);
  for (const char* other : {"Vantor Map", "zoom 21", "zoom 1x", "zoom ", "zoom -1"})
    EXPECT_EQ(ZoomFromMapTitle(other), -1) << other;
}

TEST(MapPageText, PositionZoomAndMarkerLetter) {
  // The letter is "A" plus the zoom: the page computes it from the index
  // printed after the position, so both lines must carry the zoom.
  for (int zoom : {0, 13, 20}) {
    const std::string text = MapPageText(-33.8688, 151.2093, zoom, 0);
    const std::string pos = "L.latLng(-33.868800,151.209300)," + std::to_string(zoom) + ")";
    EXPECT_NE(text.find("map.setView(" + pos + ";\n"), std::string::npos) << zoom;
    EXPECT_NE(text.find("marker = createMarker(" + pos + ".addTo(map);\n"), std::string::npos)
        << zoom;
    // Before the first fix: the same place, but no marker on the map.
    const std::string bare = MapPageText(-33.8688, 151.2093, zoom, 0, {}, false);
    EXPECT_NE(bare.find("map.setView(" + pos + ";\n"), std::string::npos) << zoom;
    EXPECT_NE(bare.find("marker = createMarker(" + pos + ";\n"), std::string::npos) << zoom;
  }
  const std::string text = MapPageText(0.5, -0.25, 13, 0);
  EXPECT_NE(text.find("String.fromCharCode(\"A\".charCodeAt(0) + index)"), std::string::npos);
  EXPECT_NE(text.find("L.latLng(0.500000,-0.250000),13)"), std::string::npos);
  // Until the library has built the map the page says so.
  EXPECT_NE(text.find("<div id=\"map\">\n\t\tLoading...\n\t</div>"), std::string::npos);
  EXPECT_NE(text.find("function moveTo(x,y)"), std::string::npos);
  EXPECT_NE(text.find("<body onload=\"load()\">"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "</html>");
}

TEST(MapPageText, LeafletComesFromTheSystemPackage) {
  const std::string text = MapPageText(1, 2, 13, 0);
  EXPECT_NE(text.find("src=\"file:///usr/share/javascript/leaflet/leaflet.js\""),
            std::string::npos);
  EXPECT_NE(text.find("href=\"file:///usr/share/javascript/leaflet/leaflet.css\""),
            std::string::npos);
  EXPECT_TRUE(fs::exists(std::string(kLeafletDir) + "/leaflet.js"))
      << "libjs-leaflet is not installed where the page looks for it";
  EXPECT_EQ(text.find("GMap2"), std::string::npos);
}

TEST(MapPageText, TileLayersAndAttributionPerMapType) {
  struct Case {
    int type;
    std::vector<std::string> names;
    std::string url, attribution;
  };
  const Case cases[] = {
      {0,
       {"OpenStreetMap.Mapnik"},
       "https://tile.openstreetmap.org/{z}/{x}/{y}.png",
       "OpenStreetMap</a> contributors"},
      {1, {"Esri.WorldImagery"}, "World_Imagery/MapServer/tile/{z}/{y}/{x}", "Tiles &copy; Esri"},
      {2,
       {"Esri.WorldImagery", "Esri.WorldBoundariesAndPlaces"},
       "World_Boundaries_and_Places/MapServer/tile/{z}/{y}/{x}",
       "Labels &copy; Esri"},
      {3,
       {"OpenTopoMap"},
       "https://{s}.tile.opentopomap.org/{z}/{x}/{y}.png",
       "Map style: &copy; <a href=\\\"https://opentopomap.org\\\">OpenTopoMap</a>"},
  };
  for (const Case& c : cases) {
    const std::string text = MapPageText(10, 20, 13, c.type);
    size_t layers = 0;
    for (size_t p = text.find("L.tileLayer("); p != std::string::npos;
         p = text.find("L.tileLayer(", p + 1))
      ++layers;
    EXPECT_EQ(layers, c.names.size()) << kMapTypeNames[c.type];
    for (const auto& n : c.names)
      EXPECT_NE(text.find("name: \"" + n + "\""), std::string::npos) << kMapTypeNames[c.type];
    EXPECT_NE(text.find(c.url), std::string::npos) << kMapTypeNames[c.type];
    EXPECT_NE(text.find(c.attribution), std::string::npos) << kMapTypeNames[c.type];
  }
  // No selection in the combo (or a stray value) falls back to the normal map.
  EXPECT_EQ(MapPageText(10, 20, 13, -1), MapPageText(10, 20, 13, 0));
  EXPECT_EQ(MapPageText(10, 20, 13, 7), MapPageText(10, 20, 13, 0));
}

TEST(MapPageText, RouteKeepsUsablePointsAndCountsTheDrivenOnes) {
  const auto route = SmallRoute();
  // 0,0 and the NaN record are left out; records 1..2 driven -> 2 points.
  std::string text = MapPageText(31.2310, 121.4745, 13, 0, {route.data(), int(route.size()), 2});
  EXPECT_NE(text.find("   var route = [[31.230400,121.473700],[31.231000,121.474500],"
                      "[31.231800,121.475100],[31.232500,121.476000]];\n   var driven = 2;\n"),
            std::string::npos);
  // Nothing driven yet, and the whole route driven.
  text = MapPageText(31.2310, 121.4745, 13, 0, {route.data(), int(route.size()), -1});
  EXPECT_NE(text.find("var driven = 0;"), std::string::npos);
  text = MapPageText(31.2310, 121.4745, 13, 0, {route.data(), int(route.size()), 5});
  EXPECT_NE(text.find("var driven = 4;"), std::string::npos);
  // No table at all still gives a page that runs.
  text = MapPageText(31.2310, 121.4745, 13, 0);
  EXPECT_NE(text.find("   var route = [];\n   var driven = 0;\n"), std::string::npos);
}

// The route's points and driven count as the page states them.
std::vector<std::pair<double, double>> PageRoute(const std::string& page, int* driven = nullptr) {
  std::vector<std::pair<double, double>> pts;
  const std::size_t from = page.find("var route = [");
  const std::size_t to = page.find("];", from);
  const char* p = page.c_str() + from + 13;
  while (p < page.c_str() + to && *p == '[') {
    char* end = nullptr;
    const double lat = std::strtod(p + 1, &end);
    const double lon = std::strtod(end + 1, &end);
    pts.emplace_back(lat, lon);
    p = end + 1;
    if (*p == ',') ++p;
  }
  if (driven) *driven = std::atoi(page.c_str() + page.find("var driven = ") + 13);
  return pts;
}

TEST(MapPageText, ALongRouteIsSimplifiedWithinAPixelAndBounded) {
  // 200,000 records a metre apart along a winding road, at zoom 13 (about 16
  // m a pixel here).
  std::vector<GpsRecord> road;
  for (int i = 0; i < 200'000; ++i)
    road.push_back(At(31 + 0.01 * std::sin(i / 2000.0), 121 + i * 1e-5));
  const int drivenTo = 123'457;
  int driven = 0;
  const auto pts =
      PageRoute(MapPageText(31, 121, 13, 0, {road.data(), int(road.size()), drivenTo}), &driven);
  ASSERT_GT(pts.size(), 10u);
  EXPECT_LT(pts.size(), 5000u);
  // The ends, and the car's place where the driven part ends, are kept.
  EXPECT_DOUBLE_EQ(pts.front().second, 121.0);
  EXPECT_NEAR(pts.back().second, road.back().dLongitude, 1e-6);
  ASSERT_GT(driven, 1);
  EXPECT_NEAR(pts[driven - 1].second, road[drivenTo].dLongitude, 1e-6);
  // Every record lies within a pixel of the line drawn.
  const double pixelLat = 360.0 / (256 << 13) * std::cos(31 * M_PI / 180);
  std::size_t k = 0;
  double worst = 0;
  for (const GpsRecord& r : road) {
    while (k + 2 < pts.size() && pts[k + 1].second < r.dLongitude) ++k;
    const auto& [la, lo] = pts[k];
    const auto& [lb, lob] = pts[k + 1];
    const double t = std::clamp((r.dLongitude - lo) / (lob - lo), 0.0, 1.0);
    worst = std::max(worst, std::fabs(la + t * (lb - la) - r.dLatitude) / pixelLat);
  }
  EXPECT_LT(worst, 1.0);

  // A route that turns at every point cannot be thinned within a pixel: it
  // is capped all the same.
  std::vector<GpsRecord> zigzag;
  for (int i = 0; i < 100'000; ++i) zigzag.push_back(At(i % 2 ? 10 : -10, -170 + i * 0.003));
  const auto capped = PageRoute(MapPageText(0, 0, 18, 0, {zigzag.data(), int(zigzag.size()), -1}));
  EXPECT_LE(capped.size(), 10'000u);
  EXPECT_GT(capped.size(), 1000u);
}

TEST(MapPageText, NumbersStayInTheCLocaleUnderAGermanLocale) {
  // Build a German locale of our own (the machine may have none installed).
  const fs::path locdir = fs::path(VANTOR_BINARY_DIR) / "test-locales";
  if (!fs::exists(locdir / "de_DE.UTF-8")) {
    fs::create_directories(locdir);
    const std::string cmd =
        "localedef -i de_DE -f UTF-8 '" + (locdir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 && !fs::exists(locdir / "de_DE.UTF-8"))
      GTEST_SKIP() << "no German locale can be made here (localedef missing)";
  }
  setenv("LOCPATH", locdir.c_str(), 1);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  char probe[32];
  std::snprintf(probe, sizeof probe, "%f", 31.23);
  EXPECT_STREQ(probe, "31,230000");  // the trap the page must not fall into
  const GpsRecord r = At(31.23, 121.5);
  const std::string text = MapPageText(31.23, 121.5, 13, 0, {&r, 1, 0});
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_NE(text.find("L.latLng(31.230000,121.500000),13)"), std::string::npos);
  EXPECT_NE(text.find("[[31.230000,121.500000]]"), std::string::npos);
  EXPECT_EQ(text.find("31,23"), std::string::npos);
}

TEST_F(MapPageFolderTest, PathIsInAFolderMadeForThisProcess) {
  const std::string path = GetMapPagePath();
  ASSERT_FALSE(path.empty());
  const fs::path p(path);
  EXPECT_EQ(p.filename(), "Google-earth.html");
  EXPECT_EQ(p.parent_path(), base_ / ("vantor-" + std::to_string(::getpid())));
  struct stat st {};
  ASSERT_EQ(::stat(p.parent_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(GetMapPagePath(), path);  // stable for the process
}

TEST_F(MapPageFolderTest, WriteThenRemoveLeavesNothingBehind) {
  const std::string path = GetMapPagePath();
  ASSERT_EQ(WriteMapPage(path, 31.2304, 121.4737, 13, 1), TRUE);
  EXPECT_EQ(ReadFile(path), MapPageText(31.2304, 121.4737, 13, 1));
  // A second write replaces the page whole.
  ASSERT_EQ(WriteMapPage(path, 31.5, 121.5, 5, 0), TRUE);
  EXPECT_EQ(ReadFile(path), MapPageText(31.5, 121.5, 5, 0));
  EXPECT_FALSE(fs::exists(path + ".part"));

  RemoveMapPage();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(fs::path(path).parent_path()));
  EXPECT_TRUE(fs::exists(base_));  // the runtime folder itself stays
}

TEST_F(MapPageFolderTest, RemoveKeepsAFolderHoldingSomethingElse) {
  const std::string path = GetMapPagePath();
  ASSERT_EQ(WriteMapPage(path, 1, 2, 13, 0), TRUE);
  const fs::path other = fs::path(path).parent_path() / "not-ours.txt";
  std::ofstream(other) << "keep";
  RemoveMapPage();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(ReadFile(other), "keep");
}

TEST_F(MapPageFolderTest, RefusesWhatCannotBeWritten) {
  const std::string path = GetMapPagePath();
  ASSERT_EQ(WriteMapPage(path, 31.0, 121.0, 13, 0), TRUE);
  const std::string before = ReadFile(path);

  // Bad positions write nothing and keep the previous page.
  EXPECT_EQ(WriteMapPage(path, NAN, 121.0, 13, 0), FALSE);
  EXPECT_EQ(WriteMapPage(path, 31.0, INFINITY, 13, 0), FALSE);
  EXPECT_EQ(WriteMapPage(path, 91.0, 121.0, 13, 0), FALSE);
  EXPECT_EQ(WriteMapPage(path, 31.0, -180.5, 13, 0), FALSE);
  EXPECT_EQ(WriteMapPage("", 31.0, 121.0, 13, 0), FALSE);
  EXPECT_EQ(ReadFile(path), before);

  // A folder that cannot be written to: FALSE, nothing lost.
  if (::geteuid() != 0) {
    fs::permissions(fs::path(path).parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteMapPage(path, 32.0, 122.0, 13, 0), FALSE);
    fs::permissions(fs::path(path).parent_path(), fs::perms::owner_all);
    EXPECT_EQ(ReadFile(path), before);
  }
}

TEST_F(MapPageFolderTest, AFolderOfTheSameNameThatIsNotADirectoryIsRefused) {
  std::ofstream(fs::path(MapPageFolder())) << "planted";
  EXPECT_EQ(GetMapPagePath(), "");
  EXPECT_EQ(WriteMapPage(GetMapPagePath(), 1, 2, 13, 0), FALSE);
  fs::remove(MapPageFolder());
}

TEST_F(MapPageFolderTest, AnUnwritableRuntimeFolderFallsBackToTheTemporaryFolder) {
  test::ScratchFolder scratch("map_ro");
  test::UnwritableDir locked(scratch);
  if (!locked.ok()) GTEST_SKIP() << "cannot make a read-only folder here";
  setenv("XDG_RUNTIME_DIR", locked.path().c_str(), 1);
  const std::string path = GetMapPagePath();
  ASSERT_NE(path, "");
  EXPECT_EQ(fs::path(path).parent_path().parent_path(), fs::temp_directory_path());
  EXPECT_EQ(WriteMapPage(path, 1, 2, 13, 0), TRUE);
  RemoveMapPage();
  EXPECT_FALSE(fs::exists(fs::path(path).parent_path()));
}

TEST_F(MapPageFolderTest, FoldersOfProcessesThatAreGoneAreRemoved) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  auto folder = [&](const std::string& name, const char* file) {
    fs::create_directories(base_ / name);
    if (file) std::ofstream(base_ / name / file) << "x";
    return base_ / name;
  };
  const fs::path stale = folder("vantor-" + std::to_string(gone), "Google-earth.html");
  const fs::path alive = folder("vantor-1", "Google-earth.html");  // init never ends
  const fs::path mine = folder("vantor-" + std::to_string(::getpid()), "Google-earth.html");
  const fs::path notOurs = folder("vantor-" + std::to_string(gone) + "x", "Google-earth.html");
  const fs::path otherFile = folder("vantor-999999999", "keep.txt");
  EXPECT_GE(RemoveStaleMapFolders(), 1);
  EXPECT_FALSE(fs::exists(stale));
  for (const fs::path& kept : {alive, mine, notOurs})
    EXPECT_TRUE(fs::exists(kept / "Google-earth.html")) << kept;
  EXPECT_TRUE(fs::exists(otherFile / "keep.txt"));
}

TEST(MapPosition, Bounds) {
  EXPECT_TRUE(IsMapPosition(0, 0));
  EXPECT_TRUE(IsMapPosition(90, 180));
  EXPECT_TRUE(IsMapPosition(-90, -180));
  EXPECT_FALSE(IsMapPosition(90.000001, 0));
  EXPECT_FALSE(IsMapPosition(0, -180.000001));
  EXPECT_FALSE(IsMapPosition(NAN, 0));
  EXPECT_FALSE(IsMapPosition(0, -INFINITY));
}
