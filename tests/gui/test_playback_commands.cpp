// The main window's transport commands, sliders, full screen, Escape and the
// two timers, on real fixture movies. Timer ticks are the handler called
// directly; real time passes only where the play rate is measured.
#include <sys/stat.h>
#include <unistd.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include "PlaybackTestUtil.h"
#include "app/Resource.h"
#include "player/VideoPane.h"
#include "widgets/ImageButton.h"

using namespace vantor;
using namespace vantor::res;
using namespace vantor::test;

namespace {

class PlaybackCommands : public MainWindowPlayback {};

// How far the movie moves in `ms` of real time.
long Advance(CVantorDlg* dlg, int ms) {
  const long from = dlg->m_Player.GetCurrentPosition();
  SleepMs(ms);
  return dlg->m_Player.GetCurrentPosition() - from;
}

}  // namespace

TEST_F(PlaybackCommands, PlayTimeReadsAsMinutesAndSecondsOrWithHours) {
  EXPECT_EQ(CVantorDlg::FormatPlayTime(0), "0:00");
  EXPECT_EQ(CVantorDlg::FormatPlayTime(37), "0:37");
  EXPECT_EQ(CVantorDlg::FormatPlayTime(600), "10:00");
  EXPECT_EQ(CVantorDlg::FormatPlayTime(3599), "59:59");
  EXPECT_EQ(CVantorDlg::FormatPlayTime(3600), "1:00:00");
  EXPECT_EQ(CVantorDlg::FormatPlayTime(3725), "1:02:05");
}

TEST_F(PlaybackCommands, PlayWithNothingSelectedPlaysAndMarksTheFirstEntryThenTogglesPause) {
  AddClips({2, 3, 4});
  Button(dlg, IDC_PLAY);
  ASSERT_TRUE(dlg->m_Player.IsOpen());
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
  EXPECT_EQ(Marks(), MarkAt(3, 0, ROWMARK_PLAYING));
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  // The slider spans the movie in whole seconds; the GPS log came with it.
  EXPECT_EQ(dlg->m_sliderPos->GetMax(), dlg->m_Player.GetDuration() / 1000);
  EXPECT_GT(dlg->m_nGpsCount, 0);

  Button(dlg, IDC_PLAY);  // pauses
  EXPECT_TRUE(dlg->m_Player.IsOpen());
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(3, 0, ROWMARK_PAUSED));
  const long pausedAt = dlg->m_Player.GetCurrentPosition();
  SleepMs(300);
  EXPECT_NEAR(dlg->m_Player.GetCurrentPosition(), pausedAt, 40);
  // A paused tick changes nothing.
  dlg->OnTimer(CVantorDlg::TIMER_PLAY);
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);

  Button(dlg, IDC_PLAY);  // resumes the same movie
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
  EXPECT_EQ(Marks(), MarkAt(3, 0, ROWMARK_PLAYING));
}

TEST_F(PlaybackCommands, PlayAfterFastForwardResumesAtNormalSpeed) {
  AddClips({2});  // 4 s
  Select({0});
  Button(dlg, IDC_PLAY);
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  Button(dlg, IDC_FAST_FORWARD);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  const long fast = Advance(dlg, 500);
  Button(dlg, IDC_PLAY);  // pause
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  Button(dlg, IDC_PLAY);  // resume
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  const long normal = Advance(dlg, 600);
  EXPECT_GT(fast, 750) << "fast forward runs at twice the speed";
  EXPECT_GT(normal, 350);
  EXPECT_LT(normal, 900) << "resumed at 1.0, not at the fast rate";
}

TEST_F(PlaybackCommands, BackwardPlayFromOneSecondReachesZeroAfterFiveTicksAndStaysPaused) {
  AddClips({1});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  // Placed while paused, so the start does not hang on how soon a seek made
  // while playing is decoded on a busy machine.
  Button(dlg, IDC_PAUSE);
  dlg->m_Player.SetCurrentPosition(1000);
  Button(dlg, IDC_BACKWARD_PLAY);
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(1, 0, ROWMARK_PAUSED));
  for (int tick = 1; tick <= 4; ++tick) {
    dlg->OnTimer(CVantorDlg::TIMER_BACKWARD);
    EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), 1000 - 200 * tick) << tick;
    EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD)) << tick;
  }
  dlg->OnTimer(CVantorDlg::TIMER_BACKWARD);
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), 0);
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
  SleepMs(200);
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_LT(dlg->m_Player.GetCurrentPosition(), 60);
  // The time display followed the steps.
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 0);

  // Any transport command ends the stepping.
  Button(dlg, IDC_FAST_BACKWARD);
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
  Button(dlg, IDC_PAUSE);
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
}

TEST_F(PlaybackCommands, BackwardPlayGoesOnFromTheEndOfTheClipBeforeInTheDrive) {
  AddClips({1, 2});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(1)));
  Button(dlg, IDC_PAUSE);
  dlg->m_Player.SetCurrentPosition(200);
  Button(dlg, IDC_BACKWARD_PLAY);
  dlg->OnTimer(CVantorDlg::TIMER_BACKWARD);
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), 0);
  ASSERT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
  dlg->OnTimer(CVantorDlg::TIMER_BACKWARD);
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
  EXPECT_EQ(dlg->m_Player.GetPath(), FixtureClip(1));
  const long end = dlg->m_Player.GetCurrentPosition();
  EXPECT_GT(end, 2700);  // the 3 s clip's last frame
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(2, 0, ROWMARK_PAUSED));
  dlg->OnTimer(CVantorDlg::TIMER_BACKWARD);
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), end - 200);
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
}

// The steps back are served from frames decoded on the way, so the pipeline
// itself still stands where backward play began: playing on must start from
// the picture shown at 0:00, at either rate.
TEST_F(PlaybackCommands, PlayingOnAfterBackwardPlayStartsFromThePictureShown) {
  AddClips({2});  // 4 s
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  for (const int resume : {IDC_FAST_FORWARD, IDC_PLAY}) {
    SCOPED_TRACE(resume);
    dlg->m_Player.SetCurrentPosition(2000);
    ASSERT_TRUE(TickPlayTimerUntil(
        dlg, [] { return dlg->m_Player.GetShownFrameTime() >= 2000; }, 3000));
    // Fast backward leaves the rate at 2.0, so Play changes it on the way.
    Button(dlg, resume == IDC_PLAY ? IDC_FAST_BACKWARD : IDC_BACKWARD_PLAY);
    for (int tick = 0; tick < 20 && dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD); ++tick) {
      SleepMs(100);
      dlg->OnTimer(CVantorDlg::TIMER_BACKWARD);
    }
    ASSERT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
    ASSERT_TRUE(TickPlayTimerUntil(
        dlg, [] { return dlg->m_Player.GetShownFrameTime() < 100; }, 3000));

    Button(dlg, resume);
    ASSERT_TRUE(dlg->m_Player.IsRunning());
    SleepMs(300);
    EXPECT_LT(dlg->m_Player.GetCurrentPosition(), 1500);
    EXPECT_LT(dlg->m_Player.GetShownFrameTime(), 1500);
  }
}

TEST_F(PlaybackCommands, StopOnTheThirdOfFiveClosesAndTheNextTickStartsNothing) {
  AddClips({1, 2, 3, 4, 5});
  Select({2});
  Button(dlg, IDC_PLAY);
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  dlg->m_Player.SetCurrentPosition(1000);
  dlg->UpdateTimeDisplay();
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 1);

  Button(dlg, IDC_STOP);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 0);
  EXPECT_EQ(Marks(), MarkAt(5, -1, 0));
  dlg->OnTimer(CVantorDlg::TIMER_PLAY);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(Marks(), MarkAt(5, -1, 0));
}

TEST_F(PlaybackCommands, StopAndEscapeCloseTheMovieAndLeaveEveryDisplayAtZero) {
  AddClips({2});
  const wxString zeroDegrees = wxString::FromUTF8("0°");
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "Stop");
    ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
    dlg->m_Player.SetCurrentPosition(2000);
    dlg->UpdateTimeDisplay();
    dlg->UpdateGpsDisplay(FALSE);
    ASSERT_NE(dlg->m_speedDial.GetResourceId(), vantor::kSpeedDialFirstId)
        << "the clip's log should read a speed at 2 s";
    dlg->m_staticAngle1->SetLabel("12");

    if (escape)
      SendKey(dlg, WXK_ESCAPE);
    else
      Button(dlg, IDC_STOP);
    ASSERT_FALSE(dlg->m_Player.IsOpen());
    EXPECT_EQ(dlg->m_speedDial.GetResourceId(), vantor::kSpeedDialFirstId);
    EXPECT_EQ(dlg->m_sliderPos->GetValue(), 0);
    EXPECT_EQ(dlg->m_staticAngle1->GetLabel(), zeroDegrees);
    for (wxStaticText* digit : dlg->m_staticDigit) EXPECT_EQ(digit->GetLabel(), "0");
    EXPECT_TRUE(dlg->m_bMapBlank);
  }
}

TEST_F(PlaybackCommands, KeysPlayPauseSeekChangeTheVolumeMuteAndGoFullScreen) {
  AddClips({2});  // 4 s
  // A clicked button keeps the focus; Space still reaches the window.
  SendKey(dlg->FindWindow(IDC_PLAY), WXK_SPACE);
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  SendKey(dlg, WXK_SPACE);
  ASSERT_FALSE(dlg->m_Player.IsRunning());

  const long duration = dlg->m_Player.GetDuration();
  const long start = dlg->m_Player.GetCurrentPosition();
  SendKey(dlg, WXK_RIGHT, true);
  EXPECT_NEAR(dlg->m_Player.GetCurrentPosition(), start + 1000, 5);
  SendKey(dlg, WXK_RIGHT);  // 5 s ends at the movie's end
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), duration);
  SendKey(dlg, WXK_LEFT);  // and at its start
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), 0);
  SendKey(dlg, WXK_RIGHT, true);
  SendKey(dlg, WXK_RIGHT, true);
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), 2000);
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 2);
  SendKey(dlg, WXK_LEFT, true);
  EXPECT_EQ(dlg->m_Player.GetCurrentPosition(), 1000);

  SendKey(dlg, WXK_DOWN);
  EXPECT_EQ(dlg->m_sliderVolume->GetValue(), 90);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 90);
  SendKey(dlg, WXK_UP);
  SendKey(dlg, WXK_UP);
  EXPECT_EQ(dlg->m_sliderVolume->GetValue(), 100);
  SendKey(dlg, 'M');
  EXPECT_TRUE(dlg->m_bMuted);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 0);
  SendKey(dlg, 'M');
  EXPECT_FALSE(dlg->m_bMuted);

  SendKey(dlg, 'F');
  PumpEvents(100);
  ASSERT_TRUE(dlg->IsVideoFullScreen());
  // The full-screen frame is a window of its own; its keys come here too.
  wxWindow* fullFrame = wxGetTopLevelParent(dlg->m_pVideoPane);
  ASSERT_NE(fullFrame, dlg);
  SendKey(fullFrame, 'F');
  PumpEvents(100);
  EXPECT_FALSE(dlg->IsVideoFullScreen());
  EXPECT_TRUE(dlg->m_Player.IsOpen());
}

TEST_F(PlaybackCommands, NextItemMovesOnAndOnTheLastItemStopsAndClears) {
  AddClips({1, 2, 3});
  Select({1});
  Button(dlg, IDC_PLAY);
  ASSERT_EQ(dlg->m_PlayList.GetCurSel(), 1);
  Button(dlg, IDC_NEXT_ITEM);
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 2);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(3, 2, ROWMARK_PLAYING));

  Button(dlg, IDC_NEXT_ITEM);  // on the last item
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(Marks(), MarkAt(3, -1, 0));
}

TEST_F(PlaybackCommands, PreviousItemRestartsTheCurrentMovie) {
  AddClips({1, 2});
  Select({1});
  Button(dlg, IDC_PLAY);
  dlg->m_Player.SetCurrentPosition(2000);
  dlg->m_nLastMapSecond = 2;
  Button(dlg, IDC_PREVIOUS_ITEM);
  EXPECT_LT(dlg->m_Player.GetCurrentPosition(), 300);
  EXPECT_EQ(dlg->m_nLastMapSecond, 0u);
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 1);
}

TEST_F(PlaybackCommands, PositionSliderSeeksOnEveryMoveAndVolumeSliderSetsTheVolume) {
  AddClips({2});
  auto scroll = [](int id, wxEventType type, int value) {
    auto* slider = wxDynamicCast(dlg->FindWindow(id), wxSlider);
    slider->SetValue(value);
    wxScrollEvent ev(type, id, value, wxHORIZONTAL);
    ev.SetEventObject(slider);
    slider->GetEventHandler()->ProcessEvent(ev);  // goes up to the window
  };
  // Nothing open: the position slider seeks nothing.
  dlg->m_nLastMapSecond = 7;
  scroll(IDC_POSITION, wxEVT_SCROLL_THUMBTRACK, 2);
  EXPECT_EQ(dlg->m_nLastMapSecond, 7u);

  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  EXPECT_EQ(dlg->m_nLastMapSecond, 0u);
  Button(dlg, IDC_PAUSE);
  // The pause has settled (as it has long before a hand reaches the slider).
  ASSERT_FALSE(dlg->m_Player.IsRunning());
  scroll(IDC_POSITION, wxEVT_SCROLL_THUMBTRACK, 2);  // dragging seeks too
  EXPECT_EQ(dlg->m_nLastMapSecond, 2u);
  EXPECT_NEAR(dlg->m_Player.GetCurrentPosition(), 2000, 50);
  scroll(IDC_POSITION, wxEVT_SCROLL_THUMBRELEASE, 1);
  EXPECT_EQ(dlg->m_nLastMapSecond, 1u);
  SleepMs(300);
  EXPECT_NEAR(dlg->m_Player.GetCurrentPosition(), 1000, 50);

  scroll(IDC_VOLUME, wxEVT_SCROLL_THUMBTRACK, 30);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 30);
  scroll(IDC_VOLUME, wxEVT_SCROLL_CHANGED, 55);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 55);
}

TEST_F(PlaybackCommands, TicksMoveTheSliderAndItsTooltip) {
  AddClips({2});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  dlg->m_Player.SetCurrentPosition(3200);
  dlg->OnTimer(CVantorDlg::TIMER_PLAY);
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 3);
  EXPECT_EQ(dlg->m_sliderPos->GetToolTipText(), "0:03");
}

TEST_F(PlaybackCommands, MuteSilencesAndTheSliderComesBackWithoutAScrollEvent) {
  AddClips({1});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  dlg->m_sliderVolume->SetValue(70);
  dlg->m_Player.SetVolume(70);
  Button(dlg, IDC_MUTE);
  EXPECT_EQ(dlg->m_sliderVolume->GetValue(), 0);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 0);
  EXPECT_TRUE(dlg->m_btnMute->GetCheck());  // the button stays pressed in
  Button(dlg, IDC_MUTE);
  EXPECT_EQ(dlg->m_sliderVolume->GetValue(), 70);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 70);
  EXPECT_FALSE(dlg->m_btnMute->GetCheck());

  // Muted with nothing open, the next movie starts silent and unmuting
  // brings back the slider's volume.
  dlg->ReleasePlayback();
  Button(dlg, IDC_MUTE);
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  EXPECT_EQ(dlg->m_Player.GetVolume(), 0);
  Button(dlg, IDC_MUTE);
  EXPECT_EQ(dlg->m_Player.GetVolume(), 70);
}

TEST_F(PlaybackCommands, MenuStopDoesNothingWhilePausedAndClearsTheDisplaysWhilePlaying) {
  AddClips({1});
  Select({0});
  MenuCommand(dlg, ID_PLAYLIST_PLAY);
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  dlg->m_staticDigit[0]->SetLabel("4");
  dlg->m_staticAngle1->SetLabel("12");
  dlg->m_Player.SetCurrentPosition(1000);
  dlg->UpdateTimeDisplay();

  MenuCommand(dlg, ID_PLAYLIST_PAUSE);
  EXPECT_EQ(Marks(), MarkAt(1, 0, ROWMARK_PAUSED));
  MenuCommand(dlg, ID_PLAYLIST_STOP);  // paused: nothing happens
  EXPECT_TRUE(dlg->m_Player.IsOpen());
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 1);
  EXPECT_EQ(dlg->m_staticDigit[0]->GetLabel(), "4");
  EXPECT_EQ(dlg->m_staticAngle1->GetLabel(), "12");

  Button(dlg, IDC_PLAY);
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  MenuCommand(dlg, ID_PLAYLIST_STOP);
  EXPECT_TRUE(dlg->m_Player.IsOpen()) << "the movie stays open";
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 0);
  EXPECT_EQ(dlg->m_staticDigit[0]->GetLabel(), "0");
  EXPECT_EQ(dlg->m_staticAngle1->GetLabel(), wxString::FromUTF8("0°"));
  EXPECT_EQ(dlg->m_staticAngle2->GetLabel(), wxString::FromUTF8("0°"));
}

TEST_F(PlaybackCommands, DoubleClickGoesFullScreenEscapeLeavesItThenStopsTheMovie) {
  AddClips({2});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  // A double click outside the video does nothing.
  wxMouseEvent outside(wxEVT_LEFT_DCLICK);
  outside.SetPosition(wxPoint(700, 500));
  dlg->GetEventHandler()->ProcessEvent(outside);
  EXPECT_FALSE(dlg->IsVideoFullScreen());
  // The video pane passes its double click on in the window's coordinates.
  wxMouseEvent click(wxEVT_LEFT_DCLICK);
  click.SetPosition(wxPoint(20, 20));
  dlg->m_pVideoPane->GetEventHandler()->ProcessEvent(click);
  PumpEvents(100);
  ASSERT_TRUE(dlg->IsVideoFullScreen());
  EXPECT_TRUE(dlg->m_Player.IsFullScreen());

  SendKey(dlg, WXK_ESCAPE);
  PumpEvents(50);
  EXPECT_FALSE(dlg->IsVideoFullScreen());
  EXPECT_EQ(dlg->m_pVideoPane->GetParent(), dlg);
  EXPECT_TRUE(dlg->m_Player.IsOpen()) << "the first Escape only leaves full screen";
  EXPECT_EQ(Marks(), MarkAt(1, 0, ROWMARK_PLAYING));

  SendKey(dlg, WXK_ESCAPE);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(Marks(), MarkAt(1, -1, 0));
  EXPECT_TRUE(dlg->IsShown()) << "Escape never ends the window";
}

TEST_F(PlaybackCommands, AutomaticAdvanceGoesThroughThreeClipsToTheEndOfTheList) {
  AddClips({1, 3, 5});
  Button(dlg, IDC_PLAY);  // nothing selected: the first clip
  for (int clip = 0; clip < 3; ++clip) {
    SCOPED_TRACE(clip);
    ASSERT_EQ(dlg->m_PlayList.GetCurSel(), clip);
    ASSERT_TRUE(dlg->m_Player.IsRunning());
    EXPECT_EQ(Marks(), MarkAt(3, clip, ROWMARK_PLAYING));
    dlg->m_Player.SetCurrentPosition(dlg->m_Player.GetDuration() - 300);
    ASSERT_TRUE(TickPlayTimerUntil(
        dlg, [clip] { return dlg->m_PlayList.GetCurSel() != clip; }, 5000));
  }
  // Past the last clip: the play timer stops and no row is marked.
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 3);
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(Marks(), MarkAt(3, -1, 0));
  // Play then starts again, from the selected entry (the first when none is:
  // the same branch as a list that never played).
  Select({1});
  Button(dlg, IDC_PLAY);
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 1);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(3, 1, ROWMARK_PLAYING));
}

TEST_F(PlaybackCommands, EntriesThatCannotPlayChangeNothingAndAdvanceGoesOnToTheNextGoodOne) {
  CapturedDialogs dialogs;
  const std::string gone = std::string(VANTOR_FIXTURE_DIR) + "/no-such-clip.MOV";
  ASSERT_TRUE(dlg->m_PlayList.Add(gone.c_str()));
  ASSERT_TRUE(dlg->m_PlayList.Add(NotAMovie().c_str()));
  AddClips({1, 3});
  // A FIFO in a movie's place would block the open until someone writes to
  // it: it is refused at once, like any entry that cannot play.
  const ScratchFolder scratch("fifo");
  const std::string fifo = (scratch / "FIFO.MOV").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(dlg->OpenAndPlay(fifo.c_str()));

  // A double click on either bad entry starts nothing and says nothing.
  for (int row : {0, 1}) {
    wxListEvent ev(wxEVT_LIST_ITEM_ACTIVATED, IDC_PLAYLIST);
    ev.m_itemIndex = row;
    dlg->GetEventHandler()->ProcessEvent(ev);
    EXPECT_FALSE(dlg->m_Player.IsOpen()) << row;
    EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY)) << row;
    EXPECT_EQ(Marks(), MarkAt(4, -1, 0)) << row;
  }
  EXPECT_TRUE(dialogs.boxes.empty());

  // Double-clicking a bad entry while a movie plays: that movie is gone, and
  // the next tick plays the good entry after the bad one.
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(3)));
  wxListEvent bad(wxEVT_LIST_ITEM_ACTIVATED, IDC_PLAYLIST);
  bad.m_itemIndex = 1;
  dlg->GetEventHandler()->ProcessEvent(bad);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  dlg->OnTimer(CVantorDlg::TIMER_PLAY);
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 2);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(4, 2, ROWMARK_PLAYING));

  // While a movie plays, the end of it skips the entries that cannot play
  // and nothing that can.
  dlg->m_PlayList.Add(gone.c_str());
  dlg->m_PlayList.Add(FixtureClip(5).c_str());  // entries: gone, text, 1, 3, gone, 5
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(3)));
  dlg->m_Player.SetCurrentPosition(dlg->m_Player.GetDuration() - 300);
  ASSERT_TRUE(TickPlayTimerUntil(
      dlg, [] { return dlg->m_PlayList.GetCurSel() != 3; }, 5000));
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 5);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(6, 5, ROWMARK_PLAYING));
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PlaybackCommands, ADriveGoesOverTheJoinAtItsRateWithoutReopeningTheMovie) {
  AddClips({1, 2});
  ASSERT_EQ(dlg->m_PlayList.GetDrive(0), dlg->m_PlayList.GetDrive(1));
  Button(dlg, IDC_PLAY);
  Button(dlg, IDC_FAST_FORWARD);
  dlg->m_Player.SetCurrentPosition(dlg->m_Player.GetDuration() - 2000);
  ASSERT_TRUE(TickPlayTimerUntil(
      dlg, [] { return dlg->m_Player.GetPreparedPath() == FixtureClip(2); }, 3000));
  ASSERT_TRUE(TickPlayTimerUntil(dlg, [] { return dlg->m_PlayList.GetCurSel() == 1; }, 3000));
  EXPECT_EQ(dlg->m_Player.GetPath(), FixtureClip(2));
  // Opening the clip anew would have started it at normal speed.
  EXPECT_EQ(dlg->m_Player.GetRate(), 2.0);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(Marks(), MarkAt(2, 1, ROWMARK_PLAYING));
  EXPECT_EQ(dlg->m_sliderPos->GetMax(), 4);  // the second clip's 4 s
}

TEST_F(PlaybackCommands, TheRearCameraGoesOverTheJoinWithTheFrontWithoutABlankInset) {
  const std::string clip = std::string(VANTOR_FIXTURE_DIR) + "/two_cameras/DCIM/100MEDIA/AMBA000";
  ASSERT_EQ(dlg->AddChosenFolder(VANTOR_FIXTURE_DIR "/two_cameras"), 2);
  Button(dlg, IDC_PLAY);
  ASSERT_TRUE(dlg->m_pInset->IsOpen());
  ASSERT_TRUE(PumpUntil([] { return dlg->m_pInset->GetPane()->GetPaintedFrameTime() >= 0; }, 3000));
  dlg->m_Player.SetCurrentPosition(dlg->m_Player.GetDuration() - 2000);
  // The play timer's ticks with the event loop between them, so that the
  // inset follows and paints as it does in use; a reopened inset would be
  // blank for a moment, which the samples between events see.
  bool blank = false;
  auto playUntil = [&](const std::function<bool()>& done) {
    for (int tick = 0; tick < 80 && !done(); ++tick) {
      dlg->OnTimer(CVantorDlg::TIMER_PLAY);
      for (int i = 0; i < 10; ++i) {
        blank |= dlg->m_pInset->GetPane()->GetPaintedFrameTime() < 0;
        PumpEvents(5);
      }
    }
    return done();
  };
  ASSERT_TRUE(playUntil([&] { return dlg->m_pInset->GetPreparedPath() == clip + "2R.MOV"; }));
  ASSERT_TRUE(playUntil([] { return dlg->m_PlayList.GetCurSel() == 1; }));
  ASSERT_TRUE(playUntil([&] { return dlg->m_pInset->GetPlayer().GetPath() == clip + "2R.MOV"; }));
  EXPECT_TRUE(dlg->m_pInset->IsOpen());
  EXPECT_FALSE(blank);
  // Both pictures go on together from the second clip's start.
  ASSERT_TRUE(playUntil([] { return dlg->m_Player.GetCurrentPosition() > 1000; }));
  EXPECT_LE(std::labs(dlg->m_pInset->GetPane()->GetPaintedFrameTime() -
                      dlg->m_pVideoPane->GetPaintedFrameTime()),
            100);
}

TEST_F(PlaybackCommands, CommaOnTheFirstFrameOfAClipStepsToTheLastFrameOfTheOneBefore) {
  AddClips({1, 2});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(1)));
  Button(dlg, IDC_PAUSE);
  dlg->m_Player.SetCurrentPosition(0);
  ASSERT_TRUE(PumpUntil([] { return dlg->m_Player.GetShownFrameTime() == 0; }, 3000));
  SendKey(dlg, ',');
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
  EXPECT_EQ(dlg->m_Player.GetPath(), FixtureClip(1));
  EXPECT_FALSE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(2, 0, ROWMARK_PAUSED));
  // The last frame of the 3 s clip at 30 frames a second starts at 2966 ms.
  ASSERT_TRUE(PumpUntil([] { return dlg->m_Player.GetShownFrameTime() >= 2950; }, 3000))
      << dlg->m_Player.GetShownFrameTime();
  // And Period goes back over the join to the first frame of the second clip.
  SendKey(dlg, '.');
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 1);
  ASSERT_TRUE(PumpUntil([] { return dlg->m_Player.GetShownFrameTime() == 0; }, 3000));
}
