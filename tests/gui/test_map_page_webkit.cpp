// A written map page loaded by the real browser engine: what the page built is
// read back by script. No network is needed; tiles that cannot load leave
// the background empty and change nothing read here.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/frame.h>
#include <wx/log.h>
#include <wx/webview.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "map/MapPage.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

class MapPageWebKit : public ::testing::Test {
 protected:
  void SetUp() override {
    // The engine reports through wxLog; a GUI log target would hold its
    // messages for a modal box at exit.
    oldLog_ = wxLog::SetActiveTarget(new wxLogStderr);
    base_ = scratch_.emplace("webkit").path();
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) oldRuntime_ = old;
    setenv("XDG_RUNTIME_DIR", base_.c_str(), 1);
    frame_ = new wxFrame(nullptr, wxID_ANY, "map", wxPoint(0, 0), wxSize(320, 220));
    view_ = wxWebView::New(frame_, wxID_ANY);
    ASSERT_NE(view_, nullptr);
    view_->Bind(wxEVT_WEBVIEW_LOADED, [this](wxWebViewEvent&) { ++loads_; });
    frame_->Show();
    test::PumpEvents(50);
  }
  void TearDown() override {
    if (frame_) frame_->Destroy();
    test::PumpEvents(20);
    RemoveMapPage();
    delete wxLog::SetActiveTarget(oldLog_);
    if (!oldRuntime_.empty()) setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    scratch_.reset();
  }

  std::string Eval(const std::string& js) {
    wxString out;
    if (!view_->RunScript(wxString::FromUTF8(js), &out)) return "<script failed>";
    return out.utf8_string();
  }

  // Writes the page and loads it; true once the page's load() has built the map.
  bool Show(double lat, double lon, int zoom, int type, const MapRoute& route = {}) {
    const std::string path = GetMapPagePath();
    if (WriteMapPage(path, lat, lon, zoom, type, route) != TRUE) return false;
    // The previous page forgets its map, so only the new page's load() can
    // answer "built" below.
    if (loads_ > 0) Eval("if (typeof map != 'undefined') map = null; 'ok'");
    const int before = loads_;
    view_->LoadURL(wxString::FromUTF8("file://" + path));
    if (!test::PumpUntil([&] { return loads_ > before; }, 15000)) return false;
    return test::PumpUntil(
        [&] { return Eval("typeof map != 'undefined' && map ? 'built' : 'not yet'") == "built"; },
        10000);
  }

  double Number(const std::string& js) { return std::atof(Eval(js).c_str()); }

  wxLog* oldLog_ = nullptr;
  std::optional<test::ScratchFolder> scratch_;
  fs::path base_;
  std::string oldRuntime_;
  wxFrame* frame_ = nullptr;
  wxWebView* view_ = nullptr;
  int loads_ = 0;
};

const char* kTileNames =
    "(function(){var n=[];map.eachLayer(function(l){if(l instanceof L.TileLayer)"
    "n.push(l.options.name);});return n.join(',');})()";

}  // namespace

TEST_F(MapPageWebKit, CentreZoomAndMarkerAsWritten) {
  struct Case {
    double lat, lon;
    int zoom;
    const char* letter;
  };
  for (const Case& c : {Case{31.230416, 121.473701, 13, "N"}, Case{-33.8688, 151.2093, 0, "A"},
                        Case{48.137154, 11.576124, 20, "U"}}) {
    ASSERT_TRUE(Show(c.lat, c.lon, c.zoom, 0)) << c.zoom << ": " << Eval("typeof L");
    EXPECT_NEAR(Number("map.getCenter().lat"), c.lat, 1e-6) << c.zoom;
    EXPECT_NEAR(Number("map.getCenter().lng"), c.lon, 1e-6) << c.zoom;
    EXPECT_EQ(Eval("String(map.getZoom())"), std::to_string(c.zoom));
    EXPECT_NEAR(Number("marker.getLatLng().lat"), c.lat, 1e-9);
    EXPECT_NEAR(Number("marker.getLatLng().lng"), c.lon, 1e-9);
    // The letter as drawn in the document, not only as computed.
    EXPECT_EQ(Eval("document.querySelector('.vantor-marker').textContent"), c.letter);
    EXPECT_EQ(Eval("String(document.body.textContent.indexOf('Loading...') >= 0)"), "false");
  }
}

TEST_F(MapPageWebKit, TileLayersPerMapType) {
  const char* expected[] = {"OpenStreetMap.Mapnik", "Esri.WorldImagery",
                            "Esri.WorldImagery,Esri.WorldBoundariesAndPlaces", "OpenTopoMap"};
  for (int type = 0; type < kMapTypeCount; ++type) {
    ASSERT_TRUE(Show(31.23, 121.47, 13, type)) << kMapTypeNames[type];
    EXPECT_EQ(Eval(kTileNames), expected[type]) << kMapTypeNames[type];
    // The provider's attribution is on the map.
    EXPECT_NE(Eval("document.querySelector('.leaflet-control-attribution').textContent"), "")
        << kMapTypeNames[type];
  }
}

TEST_F(MapPageWebKit, RouteAndDrivenPartAreDrawn) {
  std::vector<GpsRecord> route(40);
  for (int i = 0; i < 40; ++i) {
    route[i].dLatitude = 31.23 + i * 0.0005;
    route[i].dLongitude = 121.47 + i * 0.0004;
  }
  ASSERT_TRUE(Show(route[9].dLatitude, route[9].dLongitude, 15, 0, {route.data(), 40, 9}));
  const char* lines =
      "(function(){var n=[];map.eachLayer(function(l){if(l instanceof L.Polyline)"
      "n.push(l.getLatLngs().length+':'+l.options.color);});return n.join(',');})()";
  // The last one is the wide, invisible line that takes clicks along the route.
  EXPECT_EQ(Eval(lines), "40:#6f9fe0,10:#ff3b1f,40:#000");
  EXPECT_EQ(Eval("String(routeLine.options.opacity)"), "0");
  // All are in the document as drawn paths.
  EXPECT_EQ(Eval("String(document.querySelectorAll('path.leaflet-interactive').length)"), "3");
}

TEST_F(MapPageWebKit, MoveToPansTheMapAndTheMarker) {
  ASSERT_TRUE(Show(31.23, 121.47, 13, 0));
  Eval("moveTo(31.24, 121.48); 'ok'");
  test::PumpUntil([&] { return std::fabs(Number("map.getCenter().lat") - 31.24) < 1e-4; }, 3000);
  EXPECT_NEAR(Number("map.getCenter().lat"), 31.24, 1e-4);
  EXPECT_NEAR(Number("marker.getLatLng().lng"), 121.48, 1e-9);
}

// The page is drawn by the web process's GL; the program's own process, which
// draws nothing with GL, must not map a GL driver (Mesa's maps LLVM, about
// 25 MB), and must leave the driver list to the processes it starts.
TEST_F(MapPageWebKit, OnlyTheWebProcessOpensTheGlDriver) {
  ASSERT_TRUE(Show(31.230416, 121.473701, 13, 0)) << Eval("typeof L");
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    EXPECT_EQ(line.find("_dri.so"), std::string::npos) << line;
    EXPECT_EQ(line.find("libLLVM"), std::string::npos) << line;
  }
  EXPECT_EQ(std::getenv("__EGL_VENDOR_LIBRARY_FILENAMES"), nullptr);
}
