#include "map/WebBrowser2.h"

#include <dlfcn.h>
#include <glib-object.h>
#include <glib.h>
#include <wx/filename.h>
#include <wx/webview.h>

namespace {

// WebKitGTK's "script-dialog" signal: returning TRUE means handled, so
// nothing is shown and the script goes on as if the dialog was dismissed.
gboolean SwallowScriptDialog(GObject*, gpointer, gpointer) {
  return TRUE;
}

void SetIfPresent(GObject* object, const char* property, gboolean value) {
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(object), property))
    g_object_set(object, property, value, nullptr);
}

// The map is one local page that is loaded once and never left, so WebKit's
// caches for browsing (pages in memory for Back, a large object cache, DNS
// look-ups ahead, storage for web applications) only cost memory. The calls
// are looked up in the process, which has WebKit loaded by now, so the
// program needs no WebKit headers; missing ones leave the defaults.
void TrimForOneLocalPage(GObject* view) {
  using SetCacheModel = void (*)(gpointer context, int model);
  static const auto setCacheModel =
      reinterpret_cast<SetCacheModel>(::dlsym(RTLD_DEFAULT, "webkit_web_context_set_cache_model"));
  constexpr int kDocumentViewer = 0;  // WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER
  GObject* context = nullptr;
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(view), "web-context"))
    g_object_get(view, "web-context", &context, nullptr);
  if (context && setCacheModel) setCacheModel(context, kDocumentViewer);
  if (context) g_object_unref(context);

  // The view's "settings" property can be set but not read: its getter is
  // the way to them (the view keeps its reference).
  using GetSettings = GObject* (*)(gpointer view);
  static const auto getSettings =
      reinterpret_cast<GetSettings>(::dlsym(RTLD_DEFAULT, "webkit_web_view_get_settings"));
  GObject* settings = getSettings ? getSettings(view) : nullptr;
  if (!settings) return;
  SetIfPresent(settings, "enable-page-cache", FALSE);
  SetIfPresent(settings, "enable-dns-prefetching", FALSE);
  SetIfPresent(settings, "enable-offline-web-application-cache", FALSE);
  SetIfPresent(settings, "enable-html5-database", FALSE);
  SetIfPresent(settings, "enable-html5-local-storage", FALSE);
  SetIfPresent(settings, "enable-webgl", FALSE);
  SetIfPresent(settings, "enable-media", FALSE);
  SetIfPresent(settings, "enable-webaudio", FALSE);
  // The same choice as PrepareProcess makes, for engines that read only this.
  constexpr int kAccelerationNever = 2;  // WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(settings), "hardware-acceleration-policy"))
    g_object_set(settings, "hardware-acceleration-policy", kAccelerationNever, nullptr);
}

// glvnd reads its list of EGL drivers once, at the first EGL call of the
// process. Making that call while the list names no driver leaves this
// process without EGL for good; the variable is then put back, so the web
// engine's processes, started later with this environment, load theirs. A
// list the user has set is left alone.
void KeepEglDriversOutOfThisProcess() {
  if (g_getenv("__EGL_VENDOR_LIBRARY_FILENAMES") || g_getenv("__EGL_VENDOR_LIBRARY_DIRS")) return;
  using QueryString = const char* (*)(void* display, int name);
  const auto queryString = reinterpret_cast<QueryString>(::dlsym(RTLD_DEFAULT, "eglQueryString"));
  if (!queryString) return;
  constexpr int kEglExtensions = 0x3055;  // EGL_EXTENSIONS of EGL_NO_DISPLAY
  g_setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/dev/null", TRUE);
  queryString(nullptr, kEglExtensions);
  g_unsetenv("__EGL_VENDOR_LIBRARY_FILENAMES");
}

}  // namespace

// Composited (GL) drawing of a page costs the web process about 20 MB of its
// own memory and 40 MB more of mapped drivers (measured: WebKitGTK 2.50 on
// Xvfb's software GL), for a map that is one small static layer. The setting
// alone comes too late: the web process starts with the first view, before
// its settings can be changed, so the engine is told through its environment,
// which the web process inherits. A value the user has set stays.
//
// This process draws nothing with GL either, yet two parts would open the GL
// driver in it, and with Mesa's software driver that maps LLVM: about 25 MB
// of this process's own memory (measured: 159 MB against 133 MB while
// playing). GTK opens it at start-up only to choose a window visual, which
// GDK_GL=disable skips; WebKit opens it when the first page loads, to learn
// which buffers it could share with the web process, which it does not do
// without compositing. The web process inherits GDK_GL too, but draws the
// page through its own EGL display and keeps its driver.
void CWebBrowser2::PrepareProcess() {
  g_setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", FALSE);
  g_setenv("GDK_GL", "disable", FALSE);
  KeepEglDriversOutOfThisProcess();
}

bool CWebBrowser2::Create(wxWindow* parent, int id, const wxRect& rect) {
  if (m_pView || !parent) return m_pView != nullptr;
  if (!wxWebView::IsBackendAvailable(wxWebViewBackendDefault)) return false;
  m_pView = wxWebView::New(parent, id, "about:blank", rect.GetPosition(), rect.GetSize(),
                           wxWebViewBackendDefault, wxBORDER_NONE);
  if (!m_pView) return false;
  m_pView->EnableContextMenu(false);
  if (auto* native = static_cast<GObject*>(m_pView->GetNativeBackend());
      native && G_IS_OBJECT(native))
    TrimForOneLocalPage(native);
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
