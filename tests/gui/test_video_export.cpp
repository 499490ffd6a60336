// In and out marks in the main window and "Export video..." of the stretch
// between them, across a clip join, on the fixture drive.
#include <wx/slider.h>

#include <filesystem>

#include "PlaybackTestUtil.h"
#include "app/Resource.h"
#include "app/VideoExport.h"
#include "support/ScratchFolder.h"

using namespace vantor;
using namespace vantor::res;
using namespace vantor::test;
namespace fs = std::filesystem;

namespace {

class VideoExport : public MainWindowPlayback {
 protected:
  // In at 2 s of the first clip, out at 1 s of the second, by the keys.
  static void MarkAcrossTheJoin() {
    AddClips({1, 2});
    Button(dlg, IDC_PLAY);
    Button(dlg, IDC_PLAY);  // paused
    dlg->m_Player.SetCurrentPosition(2000);
    SendKey(dlg, 'I');
    Button(dlg, IDC_NEXT_ITEM);
    Button(dlg, IDC_PLAY);
    dlg->m_Player.SetCurrentPosition(1000);
    SendKey(dlg, 'O');
  }
  static bool Finished() {
    return PumpUntil([] { return !dlg->m_pVideoExport->IsRunning(); }, 60000);
  }
};

TEST_F(VideoExport, MarksOrderIsCheckedAndTheStretchIsWrittenOrCancelledWithNothingLeft) {
  CapturedDialogs dialogs;
  MarkAcrossTheJoin();
  EXPECT_EQ(dlg->m_markIn.entry, 0);
  EXPECT_EQ(dlg->m_markIn.ms, 2000);
  EXPECT_EQ(dlg->m_markOut.entry, 1);
  EXPECT_EQ(dlg->m_markOut.ms, 1000);
  EXPECT_EQ(dlg->ExportMarksShown(), std::vector<double>{1.0});  // the clip on screen's only

  // The marks swapped: refused with a message, no dialog asked.
  std::swap(dlg->m_markIn, dlg->m_markOut);
  dlg->RunExportVideo();
  std::vector<MessageBoxRequest> shown = dialogs.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].text.find("before the in point"), std::string::npos) << shown[0].text;
  std::swap(dlg->m_markIn, dlg->m_markOut);

  ScratchFolder dir("window-export");
  VideoExportChoices choices;
  choices.overlay.gauge = true;
  const std::string out = (dir / "stretch.mp4").string();
  ASSERT_TRUE(dlg->StartVideoExport(out, choices));
  ASSERT_TRUE(Finished());
  EXPECT_EQ(dlg->m_pVideoExport->LastError(), "");
  EXPECT_GT(fs::file_size(out), 0u);
  shown = dialogs.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].icon, MessageIcon::Information);

  const std::string other = (dir / "cancelled.mp4").string();
  ASSERT_TRUE(dlg->StartVideoExport(other, choices));
  dlg->m_pVideoExport->Cancel();
  ASSERT_TRUE(Finished());
  EXPECT_NE(dlg->m_pVideoExport->LastError().find("cancelled"), std::string::npos);
  EXPECT_EQ(dialogs.Take().size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
