#include "widgets/ImageButton.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/tooltip.h>

#include "widgets/ResourceBitmap.h"

wxDEFINE_EVENT(EVT_BUTTON_DRAGOVER, wxCommandEvent);

// ---- CButtonBitmapSet -----------------------------------------------------------------

void CButtonBitmapSet::Clear() {
  m_pNormal.reset();
  m_pOver.reset();
  m_pDisabled.reset();
  m_pDown.reset();
  m_nWidth = m_nHeight = 0;
}

void CButtonBitmapSet::Adopt(std::unique_ptr<wxBitmap> normal, std::unique_ptr<wxBitmap> over,
                             std::unique_ptr<wxBitmap> disabled, std::unique_ptr<wxBitmap> down) {
  Clear();
  if (!normal || !over || !disabled || !down) return;
  m_pNormal = std::move(normal);
  m_pOver = std::move(over);
  m_pDisabled = std::move(disabled);
  m_pDown = std::move(down);
  if (m_pNormal->IsOk()) {
    m_nWidth = m_pNormal->GetWidth();
    m_nHeight = m_pNormal->GetHeight();
  }
}

const wxBitmap* CButtonBitmapSet::Get(ButtonState state) const {
  switch (state) {
    case ButtonState::Normal:
      return m_pNormal.get();
    case ButtonState::Over:
      return m_pOver.get();
    case ButtonState::Disabled:
      return m_pDisabled.get();
    case ButtonState::Down:
      return m_pDown.get();
  }
  return nullptr;
}

wxColour CButtonColorSet::Get(ButtonState state) const {
  switch (state) {
    case ButtonState::Normal:
      return m_normal;
    case ButtonState::Over:
      return m_over;
    case ButtonState::Disabled:
      return m_disabled;
    case ButtonState::Down:
      return m_down;
  }
  return m_normal;
}

// ---- CImageButton ---------------------------------------------------------------------

const wxColour CImageButton::kCaptionColour(0xA8, 0xAC, 0xB7);

wxIMPLEMENT_DYNAMIC_CLASS(CImageButton, wxControl);

// clang-format off
wxBEGIN_EVENT_TABLE(CImageButton, wxControl)
  EVT_PAINT(CImageButton::OnPaint)
  EVT_ERASE_BACKGROUND(CImageButton::OnEraseBkgnd)
  EVT_MOTION(CImageButton::OnMouseMove)
  EVT_ENTER_WINDOW(CImageButton::OnMouseEnter)
  EVT_LEAVE_WINDOW(CImageButton::OnMouseLeave)
  EVT_LEFT_DOWN(CImageButton::OnLButtonDown)
  EVT_LEFT_DCLICK(CImageButton::OnLButtonDown)
  EVT_LEFT_UP(CImageButton::OnLButtonUp)
  EVT_MOUSE_CAPTURE_LOST(CImageButton::OnCaptureLost)
  EVT_CHAR_HOOK(CImageButton::OnCharHook)
  EVT_COMMAND(wxID_ANY, EVT_BUTTON_DRAGOVER, CImageButton::OnDragOver)
wxEND_EVENT_TABLE();
// clang-format on

CImageButton::CImageButton(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                           long style) {
  Create(parent, id, pos, size, style);
}

bool CImageButton::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                          long style) {
  // The bitmaps cover the whole button, so nothing is erased underneath them.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  if (!wxControl::Create(parent, id, pos, size, style | wxBORDER_NONE | wxWANTS_CHARS,
                         wxDefaultValidator, "imagebutton"))
    return false;
  return true;
}

void CImageButton::SetBitmaps(unsigned normal, unsigned over, unsigned disabled, unsigned down) {
  // Each slot gets an object of its own, also when the same picture repeats.
  auto load = [](unsigned id) {
    return std::make_unique<wxBitmap>(vantor::LoadResourceBitmap(static_cast<int>(id & 0xFFFF)));
  };
  m_bitmaps.Adopt(load(normal), load(over), load(disabled), load(down));
  Refresh(false);
}

void CImageButton::SetBitmaps(wxBitmap* normal, wxBitmap* over, wxBitmap* disabled,
                              wxBitmap* down) {
  m_bitmaps.Adopt(std::unique_ptr<wxBitmap>(normal), std::unique_ptr<wxBitmap>(over),
                  std::unique_ptr<wxBitmap>(disabled), std::unique_ptr<wxBitmap>(down));
  Refresh(false);
}

void CImageButton::SetTooltipText(const wxString& text, bool activate) {
  if (text.empty()) return;
  // All of the program's tips come up quickly; the delay is a global setting.
  static const bool delaySet = (wxToolTip::SetDelay(100), true);
  (void)delaySet;
  m_strToolTip = text;
  if (activate)
    SetToolTip(text);
  else
    UnsetToolTip();
}

void CImageButton::SetCheck(bool checked) {
  if (checked == m_bChecked) return;
  m_bChecked = checked;
  Refresh(true);
}

void CImageButton::ResetHover() {
  m_bMouseOver = false;
  m_bTracking = false;
  Refresh(false);
}

ButtonState CImageButton::GetDrawState() const {
  return SelectButtonState(m_bMouseOver, m_bChecked || m_bPressed, IsThisEnabled());
}

bool CImageButton::IsSwallowedKey(int keyCode) {
  // Space and Escape go on to the window, whose play/pause and stop keys they
  // are; a button keeps the focus after a click, so swallowing them would
  // lose those keys for good. The window never ends on Escape.
  return keyCode == WXK_RETURN || keyCode == WXK_NUMPAD_ENTER;
}

void CImageButton::SetLabel(const wxString& label) {
  wxControl::SetLabel(label);
  Refresh(false);
}

bool CImageButton::Enable(bool enable) {
  if (!wxControl::Enable(enable)) return false;
  if (!enable) m_bPressed = false;
  Refresh(false);
  return true;
}

wxSize CImageButton::DoGetBestClientSize() const {
  if (m_bitmaps.GetWidth() > 0) return wxSize(m_bitmaps.GetWidth(), m_bitmaps.GetHeight());
  return wxSize(40, 40);
}

void CImageButton::DrawItem(wxDC& dc) {
  const wxSize client = GetClientSize();
  const wxBitmap* bmp = m_bitmaps.Get(GetDrawState());
  if (bmp && bmp->IsOk() && m_bitmaps.GetWidth() > 0 && m_bitmaps.GetHeight() > 0) {
    wxMemoryDC mem;
    mem.SelectObjectAsSource(*bmp);
    if (client.x == m_bitmaps.GetWidth() && client.y == m_bitmaps.GetHeight())
      dc.Blit(0, 0, client.x, client.y, &mem, 0, 0);
    else
      dc.StretchBlit(0, 0, client.x, client.y, &mem, 0, 0, m_bitmaps.GetWidth(),
                     m_bitmaps.GetHeight());
    mem.SelectObject(wxNullBitmap);
  } else {
    // No picture: show the parent's background rather than stale pixels.
    dc.SetBackground(
        wxBrush(GetParent() ? GetParent()->GetBackgroundColour() : GetBackgroundColour()));
    dc.Clear();
  }

  const wxString caption = GetLabel();
  if (caption.empty()) return;
  dc.SetFont(GetFont());
  const wxSize text = dc.GetTextExtent(caption);
  const int x = m_bTextLeft ? 15 : (client.x - text.x) / 2 + 1;
  const int y = (client.y - text.y) / 2;
  dc.SetTextForeground(kCaptionColour);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.DrawText(caption, x, y);
}

void CImageButton::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  DrawItem(dc);
}

void CImageButton::OnEraseBkgnd(wxEraseEvent&) {}

void CImageButton::OnMouseMove(wxMouseEvent& event) {
  if (!m_bMouseOver) {
    m_bMouseOver = true;
    Refresh(false);
  }
  // Leave events arrive for every visit; tracking is asked for once a visit.
  if (!m_bTracking) m_bTracking = true;
  if (HasCapture()) {
    const bool inside = wxRect(GetClientSize()).Contains(event.GetPosition());
    if (inside != m_bPressed) {
      m_bPressed = inside;
      Refresh(false);
    }
  }
  event.Skip();
  if (event.LeftIsDown() && GetParent()) {
    wxCommandEvent drag(EVT_BUTTON_DRAGOVER, GetId());
    drag.SetEventObject(this);
    drag.SetClientData(this);
    GetParent()->GetEventHandler()->ProcessEvent(drag);
  }
}

void CImageButton::OnMouseEnter(wxMouseEvent& event) {
  if (!HasCapture())
    OnMouseMove(event);
  else
    event.Skip();
}

void CImageButton::OnMouseLeave(wxMouseEvent& event) {
  ResetHover();
  event.Skip();
}

void CImageButton::OnLButtonDown(wxMouseEvent& event) {
  if (!IsThisEnabled()) return;
  ResetHover();
  if (AcceptsFocus()) SetFocus();
  if (!HasCapture()) CaptureMouse();
  m_bPressed = true;
  Refresh(false);
  event.Skip();
}

void CImageButton::OnLButtonUp(wxMouseEvent& event) {
  event.Skip();
  if (!HasCapture()) return;
  ReleaseMouse();
  const bool click = m_bPressed && wxRect(GetClientSize()).Contains(event.GetPosition());
  m_bPressed = false;
  Refresh(false);
  if (click && IsThisEnabled()) {
    wxCommandEvent clicked(wxEVT_BUTTON, GetId());
    clicked.SetEventObject(this);
    ProcessWindowEvent(clicked);
  }
}

void CImageButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
  m_bPressed = false;
  Refresh(false);
}

void CImageButton::OnCharHook(wxKeyEvent& event) {
  // Neither a click nor the window's default or cancel handling.
  if (IsSwallowedKey(event.GetKeyCode())) return;
  event.Skip();
}

void CImageButton::OnDragOver(wxCommandEvent&) {
  ResetHover();
}
