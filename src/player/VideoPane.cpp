#include "player/VideoPane.h"

#include <cairo.h>
#include <dlfcn.h>
#include <wx/display.h>

namespace {

// The main window runs modally: GTK sends every key and click meant for
// another window of the program to it instead. The full-screen frame takes
// that role over while it is up (GTK stacks modal windows, the newest wins),
// so Escape and the double click reach it. wx has no call for a modal frame;
// the GTK one is looked up in the process (wx loaded GTK already), so the
// program needs no GTK headers.
void MakeModal(wxWindow* frame, bool modal) {
  using SetModal = void (*)(void*, int);
  static const auto setModal =
      reinterpret_cast<SetModal>(::dlsym(RTLD_DEFAULT, "gtk_window_set_modal"));
  if (setModal && frame && frame->GetHandle()) setModal(frame->GetHandle(), modal ? 1 : 0);
}

}  // namespace

// A window of its own on the X server. Otherwise GTK draws a child's refresh
// through the top-level window: every window beneath the pane ran its paint
// handler, clipped to the pane, for every frame (the main window repainted
// its graph and gauge 30 times a second). Realized again after full screen
// moves the pane, so asked for again each time.
void CVideoPane::GTKHandleRealized() {
  wxWindow::GTKHandleRealized();
  using EnsureNative = int (*)(void*);
  static const auto ensureNative =
      reinterpret_cast<EnsureNative>(::dlsym(RTLD_DEFAULT, "gdk_window_ensure_native"));
  if (ensureNative && GTKGetDrawingWindow()) ensureNative(GTKGetDrawingWindow());
}

CVideoPane::CVideoPane(wxWindow* parent, wxWindowID id, const wxRect& rect)
    : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE | wxWANTS_CHARS),
      m_pHome(parent),
      m_rcHome(rect) {
  // Every pixel is painted by OnPaint; no background erase, so no flicker.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetBackgroundColour(*wxBLACK);
  Bind(wxEVT_PAINT, &CVideoPane::OnPaint, this);
  Bind(wxEVT_SIZE, &CVideoPane::OnSize, this);
  Bind(wxEVT_LEFT_DCLICK, &CVideoPane::OnMouse, this);
  Bind(wxEVT_KEY_DOWN, &CVideoPane::OnKey, this);
}

CVideoPane::~CVideoPane() {
  DetachFromPlayer();
  if (m_pFullFrame) {
    // Being destroyed while full screen: the frame is ours to close.
    wxFrame* frame = m_pFullFrame;
    m_pFullFrame = nullptr;
    frame->Unbind(wxEVT_CLOSE_WINDOW, &CVideoPane::OnFullFrameClose, this);
    frame->Unbind(wxEVT_CHAR_HOOK, &CVideoPane::OnFullFrameKey, this);
    MakeModal(frame, false);
    frame->Destroy();
  }
}

void CVideoPane::PresentFrame(VideoFramePtr frame) {
  ++m_nReceived;
  bool queue = false;
  {
    std::lock_guard lock(m_mutex);
    m_pPending = std::move(frame);
    if (!m_bRefreshQueued) queue = m_bRefreshQueued = true;
  }
  // One repaint request at a time: frames that arrive before it is served
  // replace each other in the slot instead of piling up events.
  if (queue)
    CallAfter([this] {
      {
        std::lock_guard lock(m_mutex);
        m_bRefreshQueued = false;
      }
      Refresh(false);
    });
}

void CVideoPane::ClearVideo() {
  {
    std::lock_guard lock(m_mutex);
    m_pPending.reset();
  }
  m_pShown.reset();
  m_nPaintedTime = -1;
  Refresh(false);
}

bool CVideoPane::PlaceVideo(const VideoRect& rc) {
  if (rc.Width() <= 0 || rc.Height() <= 0) return false;
  m_rcHome = wxRect(rc.left, rc.top, rc.Width(), rc.Height());
  if (!m_pFullFrame) SetSize(m_rcHome);
  return true;
}

bool CVideoPane::ShowVideoWindow(bool bShow) {
  Show(bShow);
  return true;
}

void CVideoPane::GetShownSize(int& width, int& height) const {
  GetClientSize(&width, &height);
}

bool CVideoPane::SetFullScreen(bool bFullScreen) {
  if (bFullScreen == (m_pFullFrame != nullptr)) return true;
  if (bFullScreen) {
    int display = wxDisplay::GetFromWindow(m_pHome);
    if (display == wxNOT_FOUND) display = 0;
    const wxRect screen = wxDisplay(static_cast<unsigned>(display)).GetGeometry();
    // A child of the main window, so that the window manager keeps it above
    // that window (which, being modal, stays above everything else of ours).
    wxWindow* top = wxGetTopLevelParent(m_pHome);
    m_pFullFrame = new wxFrame(top, wxID_ANY, top ? top->GetLabel() : m_pHome->GetLabel(),
                               screen.GetPosition(), screen.GetSize(),
                               wxBORDER_NONE | wxFRAME_NO_TASKBAR | wxFRAME_FLOAT_ON_PARENT);
    MakeModal(m_pFullFrame, true);
    m_pFullFrame->SetBackgroundColour(*wxBLACK);
    m_pFullFrame->Bind(wxEVT_CHAR_HOOK, &CVideoPane::OnFullFrameKey, this);
    m_pFullFrame->Bind(wxEVT_CLOSE_WINDOW, &CVideoPane::OnFullFrameClose, this);
    Reparent(m_pFullFrame);
    SetSize(m_pFullFrame->GetClientSize());
    m_pFullFrame->ShowFullScreen(true);
    SetSize(m_pFullFrame->GetClientSize());
    m_pFullFrame->Raise();
    SetFocus();
  } else {
    wxFrame* frame = m_pFullFrame;
    m_pFullFrame = nullptr;
    Reparent(m_pHome);
    SetSize(m_rcHome);
    frame->Unbind(wxEVT_CLOSE_WINDOW, &CVideoPane::OnFullFrameClose, this);
    frame->Unbind(wxEVT_CHAR_HOOK, &CVideoPane::OnFullFrameKey, this);
    MakeModal(frame, false);
    frame->Destroy();
    m_pHome->Raise();
  }
  NotifyShownSizeChanged();
  Refresh(false);
  return true;
}

void CVideoPane::OnSize(wxSizeEvent& event) {
  NotifyShownSizeChanged();
  Refresh(false);
  event.Skip();
}

void CVideoPane::OnPaint(wxPaintEvent&) {
  // GTK's own context for this paint: a wxPaintDC would look up the window's
  // font and colours on every frame, through GTK's style machinery and a
  // round trip to the X server, for nothing this pane draws.
  auto* cr = GTKPaintContext();
  {
    std::lock_guard lock(m_mutex);
    if (m_pPending) {
      m_pShown = std::move(m_pPending);
      ++m_nPainted;
      m_nPaintedTime = m_pShown->TimeMs();
    }
  }
  int w = 0, h = 0;
  GetClientSize(&w, &h);
  if (!cr) return;
  cairo_save(cr);
  if (!m_pShown || m_pShown->Width() <= 0 || m_pShown->Height() <= 0) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    return;
  }
  // The pixels stay where the pipeline put them: cairo reads the frame in
  // place. Scaling only happens for the frames still in flight after a resize.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      const_cast<unsigned char*>(m_pShown->Pixels()), CAIRO_FORMAT_RGB24, m_pShown->Width(),
      m_pShown->Height(), m_pShown->Stride());
  if (m_pShown->Width() != w || m_pShown->Height() != h)
    cairo_scale(cr, double(w) / m_pShown->Width(), double(h) / m_pShown->Height());
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
  // cairo may hold an uploaded picture back in shared memory until the
  // surface is flushed, and GDK copies a native window's buffer to the
  // screen without flushing it: the pane stayed black.
  cairo_surface_flush(cairo_get_target(cr));
}

void CVideoPane::OnMouse(wxMouseEvent& event) {
  // The main window decides what a double click means, in its own
  // coordinates.
  wxMouseEvent forwarded(event);
  const wxPoint inHome = m_pFullFrame ? event.GetPosition() : event.GetPosition() + GetPosition();
  forwarded.SetPosition(inHome);
  forwarded.SetEventObject(m_pHome);
  forwarded.SetId(m_pHome->GetId());
  m_pHome->GetEventHandler()->ProcessEvent(forwarded);
}

void CVideoPane::OnKey(wxKeyEvent& event) {
  wxKeyEvent forwarded(event);
  forwarded.SetEventObject(m_pHome);
  if (!m_pHome->GetEventHandler()->ProcessEvent(forwarded)) event.Skip();
}

void CVideoPane::OnFullFrameKey(wxKeyEvent& event) {
  // The full-screen frame is a top-level window of its own: its keys
  // (Escape above all) belong to the main window.
  wxWindow* top = wxGetTopLevelParent(m_pHome);
  wxKeyEvent forwarded(event);
  forwarded.SetEventObject(top);
  if (!top || !top->GetEventHandler()->ProcessEvent(forwarded)) event.Skip();
}

void CVideoPane::OnFullFrameClose(wxCloseEvent& event) {
  // Closed from outside (window manager): come home rather than die with it.
  if (m_pFullFrame && event.CanVeto()) {
    event.Veto();
    SetFullScreen(false);
    return;
  }
  event.Skip();
}
