#pragma once
// "Export drive...": the GPS of every clip of one drive written as one CSV,
// GPX or GeoJSON file, by the same code as `vantor --export`, on a thread of
// its own. A progress dialog shows only when it takes longer than half a
// second: most drives are written before the user could read one.
#include <wx/event.h>
#include <wx/timer.h>
#include <wx/window.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

class wxProgressDialog;

class CDriveExport : public wxEvtHandler {
 public:
  explicit CDriveExport(wxWindow* parent);
  ~CDriveExport() override;  // waits for a running export: it cannot be cut short

  // Writes the points of one drive's clips, in order, to `outPath` in
  // `format` ("csv", "gpx" or "geojson"). Each clip is given as its camera
  // files: the first that has GPS gives the clip's points, and a clip none of
  // whose files has any is left out. False when one is still running.
  bool Start(std::vector<std::vector<std::string>> clips, const std::string& format,
             const std::string& outPath);
  bool IsRunning() const { return m_thread.joinable(); }
  // What the last export that ended said: "" written, else why not.
  const std::string& LastError() const { return m_lastError; }

 private:
  void OnTick(wxTimerEvent& event);
  void Finish();

  wxWindow* m_parent;
  wxTimer m_timer;
  wxProgressDialog* m_progress = nullptr;
  std::chrono::steady_clock::time_point m_started;
  std::thread m_thread;
  std::atomic<bool> m_done{false};
  std::string m_error;   // written by the thread before m_done
  std::string m_report;  // the files written, when the drive split into several
  std::string m_outPath;
  std::string m_lastError;
};
