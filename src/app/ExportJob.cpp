#include "app/ExportJob.h"

#include <wx/progdlg.h>

CExportJob::CExportJob(wxWindow* parent) : m_parent(parent), m_timer(this) {
  Bind(wxEVT_TIMER, &CExportJob::OnTick, this);
}

CExportJob::~CExportJob() {
  Wait();
}

void CExportJob::Launch(std::function<std::string()> work, int tickMs) {
  m_done = false;
  m_error.clear();
  m_thread = std::thread([this, work = std::move(work)] {
    m_error = work();
    m_done = true;
  });
  m_timer.Start(tickMs);
}

void CExportJob::Wait() {
  m_timer.Stop();
  if (m_thread.joinable()) m_thread.join();
  if (m_progress) m_progress->Destroy();
  m_progress = nullptr;
}

void CExportJob::OnTick(wxTimerEvent&) {
  if (!m_done) {
    Progress();
    return;
  }
  Wait();
  m_lastError = m_error;
  Finished(m_lastError);
}
