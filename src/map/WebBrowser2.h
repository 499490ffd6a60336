#pragma once
// CWebBrowser2: the main window's map browser, a thin wrapper of wxWebView
// (WebKitGTK). The wrapper is not a window itself: the web view is a child of
// the dialog with the control's id, and the wrapper only steers it.
#include <wx/gdicmn.h>
#include <wx/string.h>

class wxWebView;
class wxWindow;

class CWebBrowser2 {
 public:
  CWebBrowser2() = default;
  CWebBrowser2(const CWebBrowser2&) = delete;
  CWebBrowser2& operator=(const CWebBrowser2&) = delete;

  // Called once at start-up, before the toolkit starts and before any thread
  // is started (it changes the process's environment): the web engine draws
  // without compositing, and only its own process opens the GL driver.
  static void PrepareProcess();

  // Creates the web view as child `id` of `parent` at `rect`, showing a blank
  // page. False when no web engine is available; the wrapper's calls then do
  // nothing.
  bool Create(wxWindow* parent, int id, const wxRect& rect);

  // Loads `url` (a file path is turned into a file:// address).
  void Navigate(const wxString& url);

  // When silent, the page's script dialogs (alert, confirm, prompt) are
  // suppressed instead of shown.
  void SetSilent(bool silent);
  bool GetSilent() const { return m_bSilent; }

  wxWebView* GetWebView() const { return m_pView; }

 private:
  wxWebView* m_pView = nullptr;  // owned by its parent window
  bool m_bSilent = false;
  unsigned long m_scriptDialogHandler = 0;
};
