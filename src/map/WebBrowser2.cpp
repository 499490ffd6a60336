#include "map/WebBrowser2.h"

#include <glib-object.h>
#include <wx/filename.h>
#include <wx/webview.h>

namespace {

// WebKitGTK's "script-dialog" signal: returning TRUE means handled, so
// nothing is shown and the script goes on as if the dialog was dismissed.
gboolean SwallowScriptDialog(GObject*, gpointer, gpointer) {
  return TRUE;
}

}  // namespace

bool CWebBrowser2::Create(wxWindow* parent, int id, const wxRect& rect) {
  if (m_pView || !parent) return m_pView != nullptr;
  if (!wxWebView::IsBackendAvailable(wxWebViewBackendDefault)) return false;
  m_pView = wxWebView::New(parent, id, "about:blank", rect.GetPosition(), rect.GetSize(),
                           wxWebViewBackendDefault, wxBORDER_NONE);
  if (!m_pView) return false;
  m_pView->EnableContextMenu(false);
  m_pView->Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& e) {
    if (e.GetEventObject() == m_pView) {
      m_pView = nullptr;
      m_scriptDialogHandler = 0;
    }
    e.Skip();
  });
  if (m_bSilent) SetSilent(true);
  return true;
}

void CWebBrowser2::Navigate(const wxString& url) {
  if (!m_pView || url.empty()) return;
  wxString target = url;
  if (url.StartsWith("/")) target = wxFileName::FileNameToURL(wxFileName(url));
  m_pView->LoadURL(target);
}

void CWebBrowser2::SetSilent(bool silent) {
  m_bSilent = silent;
  if (!m_pView) return;
  auto* native = static_cast<GObject*>(m_pView->GetNativeBackend());
  if (!native || !G_IS_OBJECT(native)) return;
  if (silent && m_scriptDialogHandler == 0) {
    m_scriptDialogHandler =
        g_signal_connect(native, "script-dialog", G_CALLBACK(SwallowScriptDialog), nullptr);
  } else if (!silent && m_scriptDialogHandler != 0) {
    g_signal_handler_disconnect(native, m_scriptDialogHandler);
    m_scriptDialogHandler = 0;
  }
}
