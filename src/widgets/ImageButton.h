#pragma once
// CImageButton: a push button drawn entirely from four bitmaps (normal, mouse
// over, disabled, pressed or latched), stretched to the button, with an
// optional caption and tooltip. It sends wxEVT_BUTTON with its id when
// clicked; the keyboard never clicks it.
#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/control.h>

#include <memory>

// Sent to the parent while the left button is held down and the mouse moves
// over a button. A button receiving it forgets its hover state.
wxDECLARE_EVENT(EVT_BUTTON_DRAGOVER, wxCommandEvent);

enum class ButtonState { Normal, Over, Disabled, Down };

// The state a button is drawn in: disabled beats down, down beats over.
constexpr ButtonState SelectButtonState(bool mouseOver, bool down, bool enabled) {
  if (!enabled) return ButtonState::Disabled;
  if (down) return ButtonState::Down;
  if (mouseOver) return ButtonState::Over;
  return ButtonState::Normal;
}

// The four state bitmaps of a button, owned; the size is the normal bitmap's.
class CButtonBitmapSet {
 public:
  virtual ~CButtonBitmapSet() = default;
  void Clear();
  // Takes all four or none: with any of them missing the set stays empty.
  void Adopt(std::unique_ptr<wxBitmap> normal, std::unique_ptr<wxBitmap> over,
             std::unique_ptr<wxBitmap> disabled, std::unique_ptr<wxBitmap> down);
  const wxBitmap* Get(ButtonState state) const;
  bool IsEmpty() const { return !m_pNormal; }
  int GetWidth() const { return m_nWidth; }
  int GetHeight() const { return m_nHeight; }

 private:
  std::unique_ptr<wxBitmap> m_pNormal, m_pOver, m_pDisabled, m_pDown;
  int m_nWidth = 0, m_nHeight = 0;
};

// Caption colours per state. Stored for callers that want them; the caption
// itself is always drawn in kCaptionColour.
class CButtonColorSet {
 public:
  virtual ~CButtonColorSet() = default;
  wxColour Get(ButtonState state) const;
  wxColour m_normal{0x00, 0x00, 0x00};
  wxColour m_over{0x00, 0x65, 0xCA};
  wxColour m_disabled{0xC0, 0xC0, 0xC0};
  wxColour m_down{0x00, 0x4D, 0x9D};
};

class CImageButton : public wxControl {
 public:
  static const wxColour kCaptionColour;  // light grey-blue, every state

  CImageButton() = default;
  CImageButton(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
               const wxSize& size = wxDefaultSize, long style = 0);
  bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize, long style = 0);

  // Loads the four bitmaps by artwork ID (normal, over, disabled, down). A
  // missing picture leaves an empty bitmap in its slot, drawn as nothing.
  void SetBitmaps(unsigned normal, unsigned over, unsigned disabled, unsigned down);
  // Takes ownership of four bitmaps; if any is null the set is left empty.
  void SetBitmaps(wxBitmap* normal, wxBitmap* over, wxBitmap* disabled, wxBitmap* down);

  // An empty text does nothing; `activate` false keeps the text but shows no tip.
  void SetTooltipText(const wxString& text, bool activate = true);
  const wxString& GetTooltipText() const { return m_strToolTip; }

  void SetCheck(bool checked);
  bool GetCheck() const { return m_bChecked; }
  void SetTextLeft() { m_bTextLeft = true; }
  void ResetHover();

  bool IsMouseOver() const { return m_bMouseOver; }
  ButtonState GetDrawState() const;
  const CButtonBitmapSet& GetBitmapSet() const { return m_bitmaps; }
  const CButtonColorSet& GetColorSet() const { return m_colors; }

  // Draws the button as it is now onto `dc` (the paint handler's work).
  void DrawItem(wxDC& dc);

  // The keys a focused button swallows: Return and keypad Enter. Neither clicks.
  static bool IsSwallowedKey(int keyCode);

  void SetLabel(const wxString& label) override;
  bool AcceptsFocusFromKeyboard() const override { return true; }
  bool Enable(bool enable = true) override;

 protected:
  wxSize DoGetBestClientSize() const override;

 private:
  void OnPaint(wxPaintEvent& event);
  void OnEraseBkgnd(wxEraseEvent& event);
  void OnMouseMove(wxMouseEvent& event);
  void OnMouseEnter(wxMouseEvent& event);
  void OnMouseLeave(wxMouseEvent& event);
  void OnLButtonDown(wxMouseEvent& event);
  void OnLButtonUp(wxMouseEvent& event);
  void OnCaptureLost(wxMouseCaptureLostEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnDragOver(wxCommandEvent& event);

  bool m_bTextLeft = false;
  CButtonBitmapSet m_bitmaps;
  wxString m_strToolTip;
  bool m_bMouseOver = false;
  bool m_bChecked = false;
  bool m_bTracking = false;
  CButtonColorSet m_colors;
  bool m_bPressed = false;  // left button held down inside the button

  wxDECLARE_DYNAMIC_CLASS(CImageButton);
  wxDECLARE_EVENT_TABLE();
};
