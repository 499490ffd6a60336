// CImageButton: which picture each state shows, stretched drawing, the
// caption, hover tracking, clicks, the keys it swallows, and its tooltip.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include "GuiTestUtil.h"
#include "widgets/ImageButton.h"

namespace {

wxBitmap Solid(const wxColour& c, int w = 10, int h = 10) {
  wxImage img(w, h);
  img.SetRGB(wxRect(0, 0, w, h), c.Red(), c.Green(), c.Blue());
  return wxBitmap(img);
}

const wxColour kNormal(200, 0, 0), kOver(0, 200, 0), kDisabled(0, 0, 200), kDown(200, 200, 0);

class ImageButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    frame = new wxFrame(nullptr, wxID_ANY, "buttons", wxPoint(0, 0), wxSize(300, 200));
    panel = new wxPanel(frame);
    panel->SetBackgroundColour(wxColour(10, 20, 30));
    button = new CImageButton(panel, 1002, wxPoint(20, 20), wxSize(40, 30));
    button->SetBitmaps(new wxBitmap(Solid(kNormal)), new wxBitmap(Solid(kOver)),
                       new wxBitmap(Solid(kDisabled)), new wxBitmap(Solid(kDown)));
    panel->Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent&) { ++keysReachingParent; });
    panel->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
      if (e.GetId() == 1002) ++clicks;
    });
    panel->Bind(EVT_BUTTON_DRAGOVER, [this](wxCommandEvent&) { ++dragOvers; });
    frame->Show();
    vantor::test::PumpUntil([this] { return frame->IsShownOnScreen(); }, 3000);
  }
  void TearDown() override {
    if (button->HasCapture()) button->ReleaseMouse();
    frame->Destroy();
    vantor::test::PumpEvents(20);
  }

  // Draws the button into a bitmap of its size and returns the pixel at (x, y).
  wxColour DrawnPixel(int x, int y) {
    const wxSize sz = button->GetClientSize();
    wxBitmap target(sz.x, sz.y, 24);
    {
      wxMemoryDC dc(target);
      dc.SetBackground(*wxWHITE_BRUSH);
      dc.Clear();
      button->DrawItem(dc);
    }
    wxImage img = target.ConvertToImage();
    return wxColour(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
  }

  void Mouse(wxEventType type, int x, int y, bool leftDown = false) {
    wxMouseEvent ev(type);
    ev.SetPosition(wxPoint(x, y));
    ev.SetLeftDown(leftDown);
    ev.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(ev);
  }

  void Key(int code) {
    wxKeyEvent ev(wxEVT_CHAR_HOOK);
    ev.m_keyCode = code;
    ev.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(ev);
  }

  wxFrame* frame = nullptr;
  wxPanel* panel = nullptr;
  CImageButton* button = nullptr;
  int keysReachingParent = 0;
  int clicks = 0;
  int dragOvers = 0;
};

}  // namespace

TEST(ButtonStateRule, DisabledBeatsDownBeatsOver) {
  for (bool over : {false, true})
    for (bool down : {false, true})
      EXPECT_EQ(SelectButtonState(over, down, false), ButtonState::Disabled);
  EXPECT_EQ(SelectButtonState(true, true, true), ButtonState::Down);
  EXPECT_EQ(SelectButtonState(false, true, true), ButtonState::Down);
  EXPECT_EQ(SelectButtonState(true, false, true), ButtonState::Over);
  EXPECT_EQ(SelectButtonState(false, false, true), ButtonState::Normal);
}

TEST_F(ImageButtonTest, DrawsThePictureOfItsStateStretchedOverTheButton) {
  // 10 x 10 pictures on a 40 x 30 button: the far corner is covered too.
  EXPECT_EQ(DrawnPixel(0, 0), kNormal);
  EXPECT_EQ(DrawnPixel(39, 29), kNormal);

  Mouse(wxEVT_MOTION, 5, 5);
  EXPECT_TRUE(button->IsMouseOver());
  EXPECT_EQ(DrawnPixel(39, 29), kOver);

  button->SetCheck(true);  // latched: down whether hovered or not
  EXPECT_TRUE(button->GetCheck());
  EXPECT_EQ(DrawnPixel(20, 15), kDown);
  Mouse(wxEVT_LEAVE_WINDOW, 50, 50);
  EXPECT_FALSE(button->IsMouseOver());
  EXPECT_EQ(DrawnPixel(20, 15), kDown);

  Mouse(wxEVT_MOTION, 5, 5);
  button->Disable();  // disabled wins over latched and hovered
  EXPECT_EQ(DrawnPixel(20, 15), kDisabled);
  button->Enable();
  button->SetCheck(false);
  EXPECT_EQ(DrawnPixel(20, 15), kOver);
}

TEST_F(ImageButtonTest, ClickSendsTheCommandOnlyWhenReleasedInside) {
  Mouse(wxEVT_MOTION, 5, 5);
  Mouse(wxEVT_LEFT_DOWN, 5, 5, true);
  EXPECT_FALSE(button->IsMouseOver());  // pressing forgets the hover
  EXPECT_EQ(button->GetDrawState(), ButtonState::Down);
  Mouse(wxEVT_LEFT_UP, 5, 5);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button->GetDrawState(), ButtonState::Normal);

  Mouse(wxEVT_LEFT_DOWN, 5, 5, true);
  Mouse(wxEVT_MOTION, 80, 80, true);  // dragged off: no longer pressed
  EXPECT_NE(button->GetDrawState(), ButtonState::Down);
  Mouse(wxEVT_LEFT_UP, 80, 80);
  EXPECT_EQ(clicks, 1);

  button->Disable();
  Mouse(wxEVT_LEFT_DOWN, 5, 5, true);
  Mouse(wxEVT_LEFT_UP, 5, 5);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button->HasCapture());
}

TEST_F(ImageButtonTest, DraggingOverTellsTheParentAndTheNoticeResetsHover) {
  Mouse(wxEVT_MOTION, 5, 5, false);
  EXPECT_EQ(dragOvers, 0);
  Mouse(wxEVT_MOTION, 6, 6, true);
  EXPECT_EQ(dragOvers, 1);
  EXPECT_TRUE(button->IsMouseOver());
  wxCommandEvent notice(EVT_BUTTON_DRAGOVER, button->GetId());
  button->GetEventHandler()->ProcessEvent(notice);
  EXPECT_FALSE(button->IsMouseOver());
}

TEST_F(ImageButtonTest, SwallowsReturnButPassesOtherKeys) {
  for (int key : {WXK_RETURN, WXK_NUMPAD_ENTER}) Key(key);
  EXPECT_EQ(keysReachingParent, 0);
  EXPECT_EQ(clicks, 0);
  Key('A');
  Key(WXK_DELETE);
  Key(WXK_SPACE);   // the window's play/pause key, never a click
  Key(WXK_ESCAPE);  // the window's stop key
  EXPECT_EQ(keysReachingParent, 4);
  EXPECT_EQ(clicks, 0);
}

TEST_F(ImageButtonTest, CaptionIsDrawnCentredOrFromTheLeftInItsColour) {
  button->SetBitmaps(new wxBitmap(Solid(*wxBLACK)), new wxBitmap(Solid(*wxBLACK)),
                     new wxBitmap(Solid(*wxBLACK)), new wxBitmap(Solid(*wxBLACK)));
  button->SetSize(160, 30);
  button->SetFont(wxFontInfo(14).Bold());
  auto captionColumns = [this](int& first, int& last) {
    const wxSize sz = button->GetClientSize();
    wxBitmap target(sz.x, sz.y, 24);
    {
      wxMemoryDC dc(target);
      button->DrawItem(dc);
    }
    const wxImage img = target.ConvertToImage();
    first = -1;
    last = -1;
    for (int x = 0; x < sz.x; ++x)
      for (int y = 0; y < sz.y; ++y)
        if (std::abs(img.GetRed(x, y) - CImageButton::kCaptionColour.Red()) < 12 &&
            std::abs(img.GetBlue(x, y) - CImageButton::kCaptionColour.Blue()) < 12) {
          if (first < 0) first = x;
          last = x;
        }
  };
  int first, last;
  captionColumns(first, last);
  EXPECT_EQ(first, -1);  // no caption: only the picture

  button->SetLabel("Brindle HD");
  captionColumns(first, last);
  ASSERT_GE(first, 0);
  EXPECT_NEAR(first + last, 160, 8);  // centred

  button->SetTextLeft();
  captionColumns(first, last);
  EXPECT_GE(first, 15);
  EXPECT_LE(first, 18);
}

TEST_F(ImageButtonTest, BitmapSetIsAllOrNothing) {
  EXPECT_EQ(button->GetBitmapSet().GetWidth(), 10);
  button->SetBitmaps(new wxBitmap(Solid(kNormal, 7, 9)), nullptr, new wxBitmap(Solid(kDown)),
                     new wxBitmap(Solid(kDown)));
  EXPECT_TRUE(button->GetBitmapSet().IsEmpty());
  EXPECT_EQ(button->GetBitmapSet().GetWidth(), 0);
  EXPECT_EQ(DrawnPixel(5, 5), wxColour(10, 20, 30));  // the parent's background, no junk
}

TEST_F(ImageButtonTest, PicturesByIdGetObjectsOfTheirOwn) {
  button->SetBitmaps(150, 150, 150, 150);
  const auto& set = button->GetBitmapSet();
  ASSERT_FALSE(set.IsEmpty());
  EXPECT_EQ(set.GetWidth(), 58);
  EXPECT_EQ(set.GetHeight(), 61);
  EXPECT_NE(set.Get(ButtonState::Normal), set.Get(ButtonState::Over));
  EXPECT_NE(set.Get(ButtonState::Disabled), set.Get(ButtonState::Down));

  button->SetBitmaps(9999, 150, 150, 150);  // no such picture
  EXPECT_FALSE(button->GetBitmapSet().IsEmpty());
  EXPECT_EQ(button->GetBitmapSet().GetWidth(), 0);
  EXPECT_EQ(DrawnPixel(5, 5), wxColour(10, 20, 30));
}

TEST_F(ImageButtonTest, TooltipTextAndActivation) {
  button->SetTooltipText("");
  EXPECT_TRUE(button->GetTooltipText().empty());
  EXPECT_EQ(button->GetToolTip(), nullptr);
  button->SetTooltipText("Play", true);
  EXPECT_EQ(button->GetToolTipText(), "Play");
  button->SetTooltipText("Pause", false);
  EXPECT_EQ(button->GetTooltipText(), "Pause");
  EXPECT_EQ(button->GetToolTip(), nullptr);
}

TEST(ButtonColours, DefaultsPerState) {
  CButtonColorSet colours;
  EXPECT_EQ(colours.Get(ButtonState::Normal), wxColour(0, 0, 0));
  EXPECT_EQ(colours.Get(ButtonState::Over), wxColour(0x00, 0x65, 0xCA));
  EXPECT_EQ(colours.Get(ButtonState::Disabled), wxColour(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(colours.Get(ButtonState::Down), wxColour(0x00, 0x4D, 0x9D));
}
