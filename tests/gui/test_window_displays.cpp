// The main window's displays over a real movie and log: gauge, tilt texts,
// odometer digits, the map page and the browser, the log graph with its
// cursor, as UpdateGpsDisplay and the paint handler leave them on screen.
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/imagpng.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "GuiTestUtil.h"
#include "app/Resource.h"
#include "app/Settings.h"
#include "app/VantorDlg.h"
#include "map/GpsDisplay.h"
#include "map/MapPage.h"
#include "support/ScratchFolder.h"
#include "widgets/ArrowSpin.h"
#include "widgets/ResourceBitmap.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

// The fixture drive's 4-second clip.
std::string FixtureClip() {
  return std::string(VANTOR_FIXTURE_DIR) + "/DCIM/100MEDIA/AMBA0002.MOV";
}

// Forty log lines for a 4 s movie, ten a second, in four blocks of ten with
// their own odometer, speed and latitude, so that a position a little off a
// block boundary still names one block. The last line stands apart: it is the
// record for the very end of the movie.
constexpr int kLines = 40;
constexpr int kOdometer[4] = {123456, 234567, 345678, 456789};
constexpr int kLastOdometer = 654321;

int SpeedOf(int line) {
  return line == kLines - 1 ? 95 : 20 * (line / 10) + 5;
}
double LatitudeOf(int line) {
  return line == kLines - 1 ? 31.5 : 31.0 + 0.01 * (line / 10);
}

// withFix false: the camera never had a fix and logged 0,0 throughout.
std::string LogText(bool withFix = true) {
  std::ostringstream out;
  for (int i = 0; i < kLines; ++i) {
    const int odo = i == kLines - 1 ? kLastOdometer : kOdometer[i / 10];
    char line[256];
    std::snprintf(line, sizeof line,
                  "2021/09/18-17:42:%02d,%.6f,%.6f,%d,%d,%d,7,9,4,30,%d,%d,0,0,%d,1,0,0,%d,0\r\n",
                  i % 60, withFix ? 121.47 : 0.0, withFix ? LatitudeOf(i) : 0.0, 100 + 5 * i,
                  300 - 3 * i, 50 + i, 30, 100, SpeedOf(i), odo);
    out << line;
  }
  return out.str();
}

// A card laid out as the camera writes it, in a folder of its own.
class ScratchDrive {
 public:
  explicit ScratchDrive(const std::string& name, bool withLog, bool withFix = true)
      : folder("displays-" + name), root(folder.path()) {
    fs::create_directories(root / "DCIM" / "100MEDIA");
    movie = (root / "DCIM" / "100MEDIA" / "AMBA0001.MOV").string();
    fs::copy_file(FixtureClip(), movie);
    if (withLog) folder.Write("GPS/GPS0001.txt", LogText(withFix));
  }
  test::ScratchFolder folder;
  fs::path root;
  std::string movie;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Where the written page centres the map: "latitude,longitude),zoom".
std::string PageCentre() {
  const std::string text = ReadFile(GetMapPagePath());
  const std::string key = "map.setView(L.latLng(";
  const auto at = text.find(key);
  if (at == std::string::npos) return "(no page)";
  const auto end = text.find(");", at);
  return text.substr(at + key.size(), end - at - key.size());
}

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
Rgb At(const wxImage& img, int x, int y) {
  return {img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y)};
}
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

class WindowDisplays : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dlg = new CVantorDlg;
    dlg->Show();
    test::PumpUntil([] { return dlg->IsShownOnScreen() && dlg->IsInitialised(); }, 5000);
    test::PumpEvents(100);
  }
  static void TearDownTestSuite() {
    dlg->m_Player.Close();
    dlg->Destroy();
    dlg = nullptr;
    test::PumpEvents(50);
  }
  void TearDown() override { dlg->m_Player.Close(); }

  // Opens the movie the way the window does, minus playing it.
  static void Open(const std::string& movie) {
    ASSERT_TRUE(dlg->m_Player.Open(movie, nullptr, VideoRect{50, 40, 625, 430}));
    dlg->LoadGpsLogForMovie(movie);
  }
  static void SeekTo(long ms) {
    dlg->m_Player.SetCurrentPosition(ms);
    test::PumpUntil([ms] { return std::abs(dlg->m_Player.GetCurrentPosition() - ms) < 50; }, 3000);
  }
  // Odometer digits as shown, hundred-thousands first (controls 1032 .. 1037).
  static std::string Digits() {
    std::string s;
    for (int id = res::IDC_DIGIT_100000; id <= res::IDC_DIGIT_1; ++id)
      s += dlg->FindWindow(id)->GetLabel().ToStdString();
    return s;
  }
  static std::string Url() {
    return dlg->m_browser.GetWebView() ? dlg->m_browser.GetWebView()->GetCurrentURL().ToStdString()
                                       : std::string();
  }
  // What the window shows on screen right now, read from the X server (wx's
  // screen DC on GTK 3 can hand back pixels from before the last paint).
  static wxImage Screen() {
    dlg->Update();
    test::PumpEvents(200);
    const test::ScratchFolder shot("displays-shot");
    const std::string file = (shot / "screen.png").string();
    const std::string command = "import -window root '" + file + "' 2>/dev/null";
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    wxImage root;
    if (std::system(command.c_str()) != 0 || !root.LoadFile(file, wxBITMAP_TYPE_PNG)) return {};
    const wxPoint origin = dlg->ClientToScreen(wxPoint(0, 0));
    return root.GetSubImage(wxRect(origin, dlg->GetClientSize()));
  }

  static CVantorDlg* dlg;
};
CVantorDlg* WindowDisplays::dlg = nullptr;

}  // namespace

TEST_F(WindowDisplays, ShowsTheRecordOfThePositionAndWritesThePageAtOnce) {
  ScratchDrive drive("show", true);
  Open(drive.movie);
  ASSERT_EQ(dlg->m_nGpsCount, kLines);
  ASSERT_TRUE(dlg->m_graph.IsBuilt());
  // Graph at control 1038's place.
  EXPECT_EQ(dlg->m_graph.GetRect(), dlg->FindWindow(res::IDC_GRAPH_FRAME)->GetRect());

  SeekTo(2500);  // record 25: block 2
  const std::string page = GetMapPagePath();
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(Digits(), "345678");
  EXPECT_EQ(dlg->m_speedDial.GetResourceId(), 190);  // 45 km/h
  const GpsRecord& rec = dlg->m_pGpsRecords[25];
  ASSERT_NE(AngleText(rec.dAngle1, dlg->m_bAngle1Minus),
            AngleText(rec.dAngle2, dlg->m_bAngle2Minus))
      << "the log's two tilt readings should differ, so that a swap shows";
  EXPECT_EQ(dlg->m_staticAngle1->GetLabel(),
            wxString::FromUTF8(AngleText(rec.dAngle1, dlg->m_bAngle1Minus)));
  EXPECT_EQ(dlg->m_staticAngle2->GetLabel(),
            wxString::FromUTF8(AngleText(rec.dAngle2, dlg->m_bAngle2Minus)));
  EXPECT_EQ(dlg->FindWindow(1031), dlg->m_staticAngle1);
  // The same record as text to read.
  EXPECT_EQ(dlg->m_staticSpeed->GetLabel(), "45 km/h");
  EXPECT_EQ(dlg->m_staticPlace->GetLabel(),
            wxString::FromUTF8("31.02000\xC2\xB0 N\n121.47000\xC2\xB0 E"));
  EXPECT_TRUE(dlg->m_staticClock->GetLabel().StartsWith("2021-09-18 17:42:2"))
      << dlg->m_staticClock->GetLabel();  // the log's own date and time, block 2
  EXPECT_EQ(dlg->m_staticOdometerUnit->GetLabel(), "m");  // the camera's counter

  // The page: the position, the spin's zoom letter, the route; the browser on it.
  EXPECT_EQ(PageCentre(), "31.020000,121.470000),13");
  EXPECT_NE(ReadFile(page).find("createMarker(L.latLng(31.020000,121.470000),13)"),
            std::string::npos);
  EXPECT_EQ(dlg->m_nLastMapSecond, 2u);
  EXPECT_TRUE(
      test::PumpUntil([] { return Url().find("Google-earth.html") != std::string::npos; }, 5000))
      << Url();

  // Zoom and map type are read at the next write.
  dlg->m_spinZoom->SetValue(20);
  dlg->m_comboMapType->SetSelection(3);
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(PageCentre(), "31.020000,121.470000),20");
  EXPECT_NE(ReadFile(page).find("opentopomap"), std::string::npos);
  dlg->m_spinZoom->SetValue(13);
  dlg->m_comboMapType->SetSelection(0);
}

TEST_F(WindowDisplays, AClickOnTheDrivesRouteOpensTheClipThatHoldsThePlaceAndSeeksThere) {
  // The first drive of the card: clips of 3 and 4 s, a log record a second.
  const std::string movies = std::string(VANTOR_FIXTURE_DIR) + "/two_drives/DCIM/100MEDIA/";
  const std::vector<std::string> clips = {movies + "AMBA0001.MOV", movies + "AMBA0002.MOV"};
  ASSERT_EQ(AddPathsToPlayList(dlg->m_PlayList, clips), 2);
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  dlg->m_Player.Pause();
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_NE(ReadFile(GetMapPagePath()).find("var clipFrom = 0, clipTo = 2;"), std::string::npos);

  wxWebView* view = dlg->m_browser.GetWebView();
  ASSERT_NE(view, nullptr);
  wxString points;
  ASSERT_TRUE(test::PumpUntil(
      [&] { return view->RunScript("routeLine ? route.length : 0", &points) && points == "7"; },
      8000))
      << points;
  // The second clip's third record, where a click on the line lands.
  view->RunScript("routeLine.fire('click', {latlng: L.latLng(route[5][0], route[5][1])})");
  EXPECT_TRUE(test::PumpUntil([] { return dlg->m_PlayList.GetCurSel() == 1; }, 5000));
  EXPECT_TRUE(test::PumpUntil(
      [] { return std::abs(dlg->m_Player.GetCurrentPosition() - 2000) < 100; }, 5000))
      << dlg->m_Player.GetCurrentPosition();
  EXPECT_FALSE(dlg->m_Player.IsRunning()) << "paused before the click, paused after it";
  dlg->ReleasePlayback();
  dlg->m_PlayList.RemoveAll();
}

TEST_F(WindowDisplays, MapFollowsItsControlsAtOnceAndTheZoomNumberFollowsThePage) {
  ScratchDrive drive("mapcontrols", true);
  Open(drive.movie);  // paused: no tick will come to write the page
  SeekTo(2500);
  dlg->UpdateGpsDisplay(FALSE);
  const unsigned long writes = dlg->m_nMapPageWrites;
  dlg->m_comboMapType->SetSelection(1);
  wxCommandEvent choice(wxEVT_CHOICE, res::IDC_MAP_TYPE);
  choice.SetInt(1);
  dlg->m_comboMapType->GetEventHandler()->ProcessEvent(choice);
  EXPECT_EQ(dlg->m_nMapPageWrites, writes + 1);
  EXPECT_NE(ReadFile(GetMapPagePath()).find("World_Imagery"), std::string::npos);
  dlg->m_spinZoom->Step(+1);
  EXPECT_EQ(PageCentre(), "31.020000,121.470000),14");

  // Zoomed on the page itself: the window's number and the next page follow.
  wxWebView* view = dlg->m_browser.GetWebView();
  ASSERT_NE(view, nullptr);
  wxString ready;
  ASSERT_TRUE(test::PumpUntil(
      [&] { return view->RunScript("typeof map == 'object' && map.getZoom()", &ready) && ready == "14"; },
      8000))
      << ready;
  view->RunScript("map.setZoom(16)");
  EXPECT_TRUE(test::PumpUntil([] { return dlg->m_spinZoom->GetValue() == 16; }, 5000));
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "16");
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(PageCentre(), "31.020000,121.470000),16");
  dlg->m_spinZoom->SetValue(13);
  dlg->m_comboMapType->SetSelection(0);
}

TEST_F(WindowDisplays, UnitsAndTheCameraClockFollowTheSettingsAtOnce) {
  ScratchDrive drive("units", true);
  Open(drive.movie);
  SeekTo(2500);  // 45 km/h, counter 345678 m
  dlg->UpdateGpsDisplay(FALSE);
  vantor::CameraClock clock;
  ASSERT_TRUE(vantor::ParseCameraClock("offset:+08:00", clock));
  dlg->ApplySettings(vantor::SpeedUnit::Mph, clock);
  EXPECT_EQ(dlg->m_staticSpeed->GetLabel(), "28 mph");
  EXPECT_EQ(dlg->m_speedDial.GetResourceId(), 1188);  // the 20..29 mph picture
  EXPECT_EQ(Digits(), "000214");                        // 345678 m in whole miles
  EXPECT_EQ(dlg->m_staticOdometerUnit->GetLabel(), "mi");
  EXPECT_TRUE(dlg->m_staticClock->GetLabel().EndsWith(" +08:00")) << dlg->m_staticClock->GetLabel();
  vantor::Settings stored;
  ASSERT_TRUE(stored.Load());
  EXPECT_EQ(stored.Get(vantor::Settings::kSpeedUnit), "mph");
  EXPECT_EQ(stored.Get(vantor::Settings::kCameraClock), "offset:+08:00");

  dlg->ApplySettings(vantor::SpeedUnit::Kmh, vantor::CameraClock{});
  EXPECT_EQ(dlg->m_staticSpeed->GetLabel(), "45 km/h");
  EXPECT_EQ(Digits(), "345678");
  EXPECT_EQ(dlg->m_staticClock->GetLabel().length(), 19u);  // as logged, no zone
  std::filesystem::remove(stored.Path());
}

TEST_F(WindowDisplays, PageWaitsFiveMovieSecondsAfterASeekAndWhenSteppingBack) {
  ScratchDrive drive("throttle", true);
  Open(drive.movie);
  SeekTo(2500);
  dlg->UpdateGpsDisplay(FALSE);
  ASSERT_EQ(PageCentre(), "31.020000,121.470000),13");

  // The user moves the slider to second 0: the slider's handler notes it.
  SeekTo(700);
  dlg->m_nLastMapSecond = 0;
  dlg->UpdateGpsDisplay(TRUE);
  EXPECT_EQ(Digits(), "123456");  // the rest follows at once
  EXPECT_EQ(PageCentre(), "31.020000,121.470000),13") << "page rewritten too early";
  SeekTo(3500);
  dlg->UpdateGpsDisplay(TRUE);  // 2 s away
  EXPECT_EQ(Digits(), "456789");
  EXPECT_EQ(PageCentre(), "31.020000,121.470000),13");
  EXPECT_EQ(dlg->m_nLastMapSecond, 0u);

  // Stepping backwards from a page written at second 6 reaches 5 s at second 1.
  dlg->m_nLastMapSecond = 6;
  SeekTo(1200);
  dlg->UpdateGpsDisplay(TRUE);
  EXPECT_EQ(PageCentre(), "31.010000,121.470000),13");
  EXPECT_EQ(dlg->m_nLastMapSecond, 1u);
}

TEST_F(WindowDisplays, VeryEndShowsTheLastRecordNotTheZeroedSpare) {
  ScratchDrive drive("end", true);
  Open(drive.movie);
  const long dur = dlg->m_Player.GetDuration();
  dlg->m_Player.SetCurrentPosition(dur);
  test::PumpUntil([dur] { return dlg->m_Player.GetCurrentPosition() >= dur - 40; }, 3000);
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(Digits(), "654321");
  EXPECT_EQ(dlg->m_speedDial.GetResourceId(), 195);  // 95 km/h
  EXPECT_EQ(PageCentre(), "31.500000,121.470000),13");
}

TEST_F(WindowDisplays, ALogWithoutAFixShowsNoMapRatherThanTheSeaOffAfrica) {
  {
    ScratchDrive drive("fixed", true);
    Open(drive.movie);
    dlg->UpdateGpsDisplay(FALSE);
    ASSERT_TRUE(
        test::PumpUntil([] { return Url().find("Google-earth.html") != std::string::npos; }, 5000));
    dlg->m_Player.Close();
  }
  ScratchDrive drive("nofix", true, false);
  Open(drive.movie);
  const unsigned long writes = dlg->m_nMapPageWrites;
  SeekTo(2500);
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(dlg->m_nGpsCount, kLines);
  EXPECT_EQ(Digits(), "345678");  // the rest of the record is shown
  EXPECT_EQ(dlg->m_nMapPageWrites, writes);
  // Sent away from the previous movie's page at once (the browser's own
  // address lags behind and can show about:blank for other reasons).
  EXPECT_TRUE(dlg->m_bMapBlank);
  EXPECT_TRUE(test::PumpUntil([] { return Url() == "about:blank"; }, 5000)) << Url();
}

TEST_F(WindowDisplays, MovieWithoutLogReturnsEveryDisplayToZero) {
  {
    ScratchDrive drive("before", true);
    Open(drive.movie);
    SeekTo(2500);
    dlg->UpdateGpsDisplay(FALSE);
    ASSERT_EQ(Digits(), "345678");
    ASSERT_TRUE(
        test::PumpUntil([] { return Url().find("Google-earth.html") != std::string::npos; }, 5000));
    dlg->m_Player.Close();
  }
  ScratchDrive bare("nolog", false);
  Open(bare.movie);
  SeekTo(2500);
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(dlg->m_pGpsRecords, nullptr);
  EXPECT_EQ(dlg->m_nGpsCount, 0);
  EXPECT_EQ(Digits(), "000000");
  EXPECT_EQ(dlg->m_staticAngle1->GetLabel(), wxString::FromUTF8("0°"));
  EXPECT_EQ(dlg->m_staticAngle2->GetLabel(), wxString::FromUTF8("0°"));
  EXPECT_EQ(dlg->m_speedDial.GetResourceId(), 186);
  EXPECT_FALSE(dlg->m_graph.IsBuilt());
  EXPECT_TRUE(test::PumpUntil([] { return Url() == "about:blank"; }, 5000)) << Url();

  // The graph's place shows the window, not the previous log's picture.
  const wxImage shot = Screen();
  if (!shot.IsOk()) GTEST_SKIP() << "ImageMagick's import is needed to read the screen";
  const wxRect r = dlg->FindWindow(res::IDC_GRAPH_FRAME)->GetRect();
  EXPECT_NE(At(shot, r.x + r.width / 2, r.y + r.height / 2), (Rgb{0x21, 0x21, 0x21}));

  // The blank map is the window's dark grey, not a white hole (WebKit paints
  // it a moment after the load).
  const wxRect map = dlg->m_browser.GetWebView()->GetRect();
  Rgb centre{};
  EXPECT_TRUE(test::PumpUntil(
      [&] {
        const wxImage now = Screen();
        centre = now.IsOk() ? At(now, map.x + map.width / 2, map.y + map.height / 2) : Rgb{};
        return centre == Rgb{0x21, 0x21, 0x21};
      },
      6000))
      << centre;
}

TEST_F(WindowDisplays, RepaintKeepsTheGaugeAndDrawsTheGraphWithItsCursor) {
  ScratchDrive drive("paint", true);
  Open(drive.movie);
  SeekTo(2100);  // record 21; the cursor near column 21 of 40
  dlg->UpdateGpsDisplay(FALSE);
  ASSERT_EQ(dlg->m_speedDial.GetResourceId(), 190);  // 45 km/h

  // Let the map page load, so the picture kept for looking at shows it too.
  test::PumpUntil([] { return Url().find("Google-earth.html") != std::string::npos; }, 5000);
  test::PumpEvents(1500);
  dlg->Refresh();
  const wxImage shot = Screen();
  if (!shot.IsOk()) GTEST_SKIP() << "ImageMagick's import is needed to read the screen";
  shot.SaveFile(VANTOR_BINARY_DIR "/window_displays.png", wxBITMAP_TYPE_PNG);

  // Gauge: the 45 km/h picture, not the zero one, after a full repaint.
  const wxImage current = dlg->m_speedDial.GetBitmap().ConvertToImage();
  const wxImage zero = LoadResourceBitmap(186).ConvertToImage();
  const wxRect g = CSpeedDial::GetRect();
  // The odometer's digits and unit are texts drawn over the picture.
  wxRect texts = dlg->m_staticOdometerUnit->GetRect();
  for (auto* digit : dlg->m_staticDigit) texts.Union(digit->GetRect());
  int same = 0, differsFromZero = 0, samples = 0;
  for (int y = 10; y < g.height; y += 13)
    for (int x = 10; x < g.width; x += 11) {
      if (texts.Contains(g.x + x, g.y + y)) continue;
      ++samples;
      const Rgb s = At(shot, g.x + x, g.y + y);
      if (s == At(current, x, y)) ++same;
      if (!(s == At(zero, x, y))) ++differsFromZero;
    }
  EXPECT_EQ(same, samples);
  EXPECT_GT(differsFromZero, 0) << "the 45 and 0 pictures should differ somewhere";

  // Graph: its picture at control 1038's place, the green cursor at column 20.
  const wxRect r = dlg->m_graph.GetRect();
  const wxImage graph = dlg->m_graph.GetBitmap().ConvertToImage();
  ASSERT_EQ(dlg->m_graph.GetPoints(), kLines);
  const int cursor = static_cast<int>(kLines * dlg->GetPlayFraction());
  EXPECT_NEAR(cursor, 21, 1);
  for (int y = 0; y < r.height; ++y)
    ASSERT_EQ(At(shot, r.x + cursor, r.y + y), (Rgb{0, 255, 0})) << y;
  int matching = 0, total = 0;
  for (int y = 0; y < r.height; y += 3)
    for (int x = 0; x < r.width; x += 2) {
      if (x == cursor) continue;
      ++total;
      if (At(shot, r.x + x, r.y + y) == At(graph, x, y)) ++matching;
    }
  EXPECT_EQ(matching, total);
  EXPECT_EQ(At(shot, r.x + r.width - 1, r.y + r.height - 1), (Rgb{0x21, 0x21, 0x21}));

  // Nothing open: the cursor goes back to the left edge on the next paint.
  dlg->m_Player.Close();
  dlg->Refresh();
  const wxImage closed = Screen();
  EXPECT_EQ(At(closed, r.x, r.y + r.height / 2), (Rgb{0, 255, 0}));
  EXPECT_EQ(At(closed, r.x + cursor, r.y + r.height - 1), At(graph, cursor, r.height - 1));
}

TEST_F(WindowDisplays, FixtureDriveLogDrivesTheDisplays) {
  // The generated drive as the camera lays it out: the log is found and shown.
  const std::string movie = std::string(VANTOR_FIXTURE_DIR) + "/DCIM/100MEDIA/AMBA0001.MOV";
  Open(movie);
  ASSERT_GT(dlg->m_nGpsCount, 0);
  dlg->UpdateGpsDisplay(FALSE);
  const GpsRecord& first = dlg->m_pGpsRecords[0];
  char digits[8];
  std::snprintf(digits, sizeof digits, "%06d", first.nOdometer % 1000000);
  EXPECT_EQ(Digits(), digits);
  char pos[64];
  std::snprintf(pos, sizeof pos, "%f,%f),13", first.dLatitude, first.dLongitude);
  EXPECT_EQ(PageCentre(), pos);

  // Released as the window closes: no table, no page, no folder.
  dlg->ReleaseGpsDisplay();
  EXPECT_EQ(dlg->m_pGpsRecords, nullptr);
  EXPECT_FALSE(fs::exists(MapPageFolder()));
}

TEST_F(WindowDisplays, MeterAndBackgroundPictureAreTheWindowsOwn) {
  ASSERT_NE(dlg->m_Meter, nullptr);
  EXPECT_EQ(dlg->FindWindow(res::IDC_METER), dlg->m_Meter);
  EXPECT_FALSE(dlg->m_Meter->IsShown());
  EXPECT_EQ(dlg->m_Meter->GetParent(), dlg);
  EXPECT_FALSE(dlg->m_bmpBack.IsOk());
  EXPECT_EQ(dlg->m_bmpBack.GetBackgroundColor(), 0x00FFFFFFu);
}

TEST_F(WindowDisplays, GpsInsideAMovieOrAttachedByHandShowsByTimeWithoutTilt) {
  ScratchDrive drive("embedded", false);
  const fs::path gps = fs::path(VANTOR_FIXTURE_DIR) / "gps";
  if (!fs::exists(gps / "talkers.nmea")) GTEST_SKIP() << "no GPS test files (build fixtures)";
  // The fixture clip with the known drive stored inside as the newer layout.
  const std::string embedded = (drive.root / "CLIP.MOV").string();
  ASSERT_EQ(std::system(("'" VANTOR_BINARY_DIR "/tools/make_gps_files' --wrap '" + drive.movie +
                         "' '" + embedded + "' newer")
                            .c_str()),
            0);
  Open(embedded);
  EXPECT_EQ(dlg->m_gpsLoad.kind, GpsSourceKind::Movie);
  ASSERT_EQ(dlg->m_nGpsCount, 40);  // the drive is longer than the clip: its first seconds show
  SeekTo(2500);
  dlg->UpdateGpsDisplay(FALSE);
  EXPECT_EQ(dlg->m_speedDial.GetResourceId(), 190);  // second 2 of the drive: 48 km/h
  EXPECT_EQ(dlg->m_staticAngle1->GetLabel(), "");
  EXPECT_EQ(dlg->m_staticAngle2->GetLabel(), "");
  // Second 2's position, as single-precision floats in the block hold it.
  EXPECT_EQ(PageCentre().substr(0, 8), "48.85683") << PageCentre();
  EXPECT_NE(PageCentre().find(",2.35252"), std::string::npos) << PageCentre();
  EXPECT_TRUE(dlg->m_graph.IsBuilt());

  // A file attached by hand wins over what the movie has; one without GPS is refused.
  EXPECT_FALSE(dlg->AttachGpsFile(embedded, drive.movie + ".none"));
  EXPECT_FALSE(dlg->AttachGpsFile(embedded, (gps / "drive.csv").string()));
  ASSERT_TRUE(dlg->AttachGpsFile(embedded, (gps / "phone.gpx").string()));
  dlg->LoadGpsLogForMovie(embedded);
  EXPECT_EQ(dlg->m_gpsLoad.kind, GpsSourceKind::Gpx);
  EXPECT_EQ(dlg->m_nGpsCount, 39);
}
