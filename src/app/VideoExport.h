#pragma once
// "Export video...": the dialog that asks for the size and the overlay, and
// the export itself on a thread of its own with a progress dialog (remaining
// time, Cancel) while the window plays on.
#include <wx/event.h>
#include <wx/timer.h>
#include <wx/window.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "render/Render.h"

class wxProgressDialog;

struct VideoExportChoices {
  int height = 0;  // 0: the source's size
  vantor::OverlayChoice overlay;
};

// Asks for the size and what to draw; false when the user cancels. The
// second camera is offered when the stretch has one.
bool AskVideoExportChoices(wxWindow* parent, VideoExportChoices& choices, bool offerInset = false);

class CVideoExport : public wxEvtHandler {
 public:
  explicit CVideoExport(wxWindow* parent);
  ~CVideoExport() override;  // an export still running is cancelled

  // Starts writing `outPath` from `fromMs` into the first movie of `paths` to
  // `toMs` into the last (the movies of one drive, in order). `insets` are
  // their second cameras' files ("" for none; may be shorter). False when one
  // is still running.
  bool Start(std::vector<std::string> paths, std::vector<std::string> insets, long fromMs, long toMs,
             const VideoExportChoices& choices, const vantor::GpsExportStyle& style,
             const std::string& outPath);
  bool IsRunning() const { return m_thread.joinable(); }
  void Cancel();
  // The outcome of the last export that ended: "" written, else why not.
  const std::string& LastError() const { return m_lastError; }

 private:
  void OnTick(wxTimerEvent& event);
  void Finish();

  wxWindow* m_parent;
  wxTimer m_timer;
  wxProgressDialog* m_progress = nullptr;
  std::thread m_thread;
  vantor::RenderStatus m_status;
  std::atomic<bool> m_done{false};
  std::string m_error;  // written by the thread before m_done
  std::string m_outPath;
  std::string m_lastError;
};
