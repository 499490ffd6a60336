#pragma once
// The part the window's exports share: the work on a thread of its own, a
// timer on the GUI thread that follows it, the progress dialog it may show,
// and the outcome kept for the caller once it has ended.
#include <wx/event.h>
#include <wx/timer.h>
#include <wx/window.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class wxProgressDialog;

class CExportJob : public wxEvtHandler {
 public:
  bool IsRunning() const { return m_thread.joinable(); }
  // What the last export that ended said: "" written, else why not.
  const std::string& LastError() const { return m_lastError; }

 protected:
  explicit CExportJob(wxWindow* parent);
  ~CExportJob() override;

  // Runs `work` on the job's thread; what it returns is the error ("" when
  // written). Until it has ended, Progress is called every `tickMs` on the
  // GUI thread; then the progress dialog goes and Finished is called.
  void Launch(std::function<std::string()> work, int tickMs);
  // Waits for the thread. A derived class calls it first in its destructor
  // (after asking its work to stop, if it can), since the work may use the
  // derived class's members.
  void Wait();

  virtual void Progress() {}
  virtual void Finished(const std::string& error) = 0;

  wxWindow* m_parent;
  wxProgressDialog* m_progress = nullptr;

 private:
  void OnTick(wxTimerEvent& event);

  wxTimer m_timer;
  std::thread m_thread;
  std::atomic<bool> m_done{false};
  std::string m_error;  // written by the thread before m_done
  std::string m_lastError;
};
