#include <gtest/gtest.h>
#include <wx/frame.h>

#include "GuiTestUtil.h"

// The suite's own start-up: a top-level window can be created, shown and
// painted on the test display.
TEST(GuiSuite, ShowsAWindowOnTheTestDisplay) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "probe", wxPoint(0, 0), wxSize(200, 100));
  frame->Show();
  EXPECT_TRUE(vantor::test::PumpUntil([&] { return frame->IsShownOnScreen(); }, 3000));
  EXPECT_EQ(frame->GetSize().GetWidth() > 0, true);
  frame->Destroy();
  vantor::test::PumpEvents(20);
}
