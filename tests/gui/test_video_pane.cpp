#include <gtest/gtest.h>
#include <wx/dcclient.h>
#include <wx/dcscreen.h>
#include <wx/display.h>
#include <wx/frame.h>

#include "GuiTestUtil.h"
#include "player/MoviePlayer.h"
#include "player/VideoPane.h"
#include "support/FixtureMovies.h"

using vantor::test::Fixture;
using vantor::test::FixtureMovie;
using vantor::test::PumpEvents;
using vantor::test::PumpUntil;

namespace {

const VideoRect kPane{50, 40, 625, 430};

// A main window stand-in that counts what the pane passes on to it.
class HostFrame : public wxFrame {
 public:
  HostFrame() : wxFrame(nullptr, wxID_ANY, "host", wxPoint(0, 0), wxSize(1024, 700)) {
    Bind(wxEVT_LEFT_DCLICK, [this](wxMouseEvent& e) {
      ++doubleClicks;
      lastClick = e.GetPosition();
    });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
      if (e.GetKeyCode() == WXK_ESCAPE)
        ++escapes;
      else
        e.Skip();
    });
  }
  int doubleClicks = 0;
  int escapes = 0;
  wxPoint lastClick;
};

struct PaneHost {
  HostFrame* host = new HostFrame;
  CVideoPane* pane = new CVideoPane(host, wxID_ANY, wxRect(50, 40, 575, 390));
  PaneHost() {
    host->Show();
    PumpUntil([&] { return host->IsShownOnScreen(); }, 3000);
  }
  ~PaneHost() {
    host->Destroy();
    PumpEvents(50);
  }
};

// Reads back what is on the test display at a point of the pane.
wxColour ScreenColour(wxWindow* w, wxPoint p) {
  wxScreenDC dc;
  wxColour c;
  dc.GetPixel(w->ClientToScreen(p), &c);
  return c;
}

}  // namespace

TEST(VideoPane, FirstFrameIsPaintedAtThePanesSize) {
  PaneHost f;
  CMoviePlayer player;
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::AudioVideo), f.pane, kPane));
  EXPECT_EQ(f.pane->GetPosition(), wxPoint(50, 40));
  EXPECT_EQ(f.pane->GetSize(), wxSize(575, 390));
  EXPECT_TRUE(f.pane->IsShown());
  ASSERT_TRUE(PumpUntil([&] { return f.pane->GetFramesPainted() >= 1; }, 3000));
  EXPECT_EQ(f.pane->GetPaintedFrameTime(), 0);
  PumpEvents(100);
  // SMPTE bars, letterboxed to keep the 4:3 shape: white first, blue last.
  const wxColour left = ScreenColour(f.pane, wxPoint(60, 20));
  const wxColour right = ScreenColour(f.pane, wxPoint(520, 20));
  EXPECT_GT(left.Red(), 220);
  EXPECT_GT(left.Blue(), 220);
  EXPECT_LT(right.Red(), 60);
  EXPECT_GT(right.Blue(), 180);
  player.Close();
}

TEST(VideoPane, PlayingPaintsFramesOnTheGuiThread) {
  PaneHost f;
  CMoviePlayer player;
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::VideoOnly), f.pane, kPane));
  player.Play();
  ASSERT_TRUE(PumpUntil([&] { return player.CheckComplete() != FALSE; }, 5000));
  PumpEvents(100);
  // 2 s at 30 fps; frames are only ever dropped when the GUI falls behind.
  EXPECT_GE(f.pane->GetFramesPainted(), 50u);
  EXPECT_LE(f.pane->GetFramesPainted(), f.pane->GetFramesReceived());
  EXPECT_GE(f.pane->GetPaintedFrameTime(), 1900);
}

TEST(VideoPane, PausedSeekRepaintsTheNewFrame) {
  PaneHost f;
  CMoviePlayer player;
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::AudioVideo), f.pane, kPane));
  player.Pause();
  player.SetCurrentPosition(2500);
  EXPECT_TRUE(PumpUntil([&] { return f.pane->GetPaintedFrameTime() == 2500; }, 3000));
  player.SetCurrentPosition(2300);
  EXPECT_TRUE(PumpUntil([&] { return f.pane->GetPaintedFrameTime() == 2300; }, 3000));
}

TEST(VideoPane, FullScreenShowsTheSamePaneOverTheScreenAndComesBack) {
  PaneHost f;
  CMoviePlayer player;
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::AudioVideo), f.pane, kPane));
  ASSERT_TRUE(player.EnterFullScreen());
  EXPECT_TRUE(f.pane->IsInFullScreen());
  EXPECT_NE(f.pane->GetParent(), f.host);
  const wxRect screen = wxDisplay(0u).GetGeometry();
  EXPECT_TRUE(PumpUntil([&] { return f.pane->GetClientSize() == screen.GetSize(); }, 3000));
  // The next frame comes at the full-screen size, not stretched from the pane's.
  player.SetCurrentPosition(1000);
  EXPECT_TRUE(PumpUntil([&] { return f.pane->GetPaintedFrameTime() == 1000; }, 3000));
  PumpEvents(100);
  // On the screen, too, in the window the pane moved to: bars, not black.
  const wxColour bar = ScreenColour(f.pane, wxPoint(screen.width / 10, screen.height / 3));
  EXPECT_GT(bar.Red() + bar.Green() + bar.Blue(), 300);

  // Close keeps the flag; the next movie comes up full screen again.
  player.Close();
  EXPECT_FALSE(f.pane->IsInFullScreen());
  EXPECT_EQ(f.pane->GetParent(), f.host);
  EXPECT_TRUE(player.IsFullScreen());
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::VideoOnly), f.pane, kPane));
  EXPECT_TRUE(f.pane->IsInFullScreen());

  ASSERT_TRUE(player.LeaveFullScreen());
  EXPECT_FALSE(f.pane->IsInFullScreen());
  EXPECT_EQ(f.pane->GetParent(), f.host);
  EXPECT_EQ(f.pane->GetRect(), wxRect(50, 40, 575, 390));
  player.Close();
}

TEST(VideoPane, DoubleClickAndEscapeReachTheMainWindow) {
  PaneHost f;
  CMoviePlayer player;
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::AudioVideo), f.pane, kPane));
  wxMouseEvent click(wxEVT_LEFT_DCLICK);
  click.SetPosition(wxPoint(10, 20));
  click.SetEventObject(f.pane);
  f.pane->GetEventHandler()->ProcessEvent(click);
  EXPECT_EQ(f.host->doubleClicks, 1);
  EXPECT_EQ(f.host->lastClick, wxPoint(60, 60));  // in the main window's coordinates

  ASSERT_TRUE(player.EnterFullScreen());
  wxKeyEvent esc(wxEVT_CHAR_HOOK);
  esc.m_keyCode = WXK_ESCAPE;
  wxWindow* full = f.pane->GetParent();
  esc.SetEventObject(full);
  full->GetEventHandler()->ProcessEvent(esc);
  EXPECT_EQ(f.host->escapes, 1);
  player.LeaveFullScreen();
  player.Close();
}

TEST(VideoPane, APaneDestroyedFirstIsLeftAlone) {
  PaneHost f;
  CMoviePlayer player;
  ASSERT_TRUE(player.Open(FixtureMovie(Fixture::AudioVideo), f.pane, kPane));
  player.Play();
  PumpEvents(200);
  f.pane->Destroy();
  PumpEvents(300);  // frames keep coming from the pipeline: none may reach the dead pane
  EXPECT_TRUE(player.IsRunning());
  player.Close();
}
