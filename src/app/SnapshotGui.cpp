#include "app/SnapshotGui.h"

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/printdlg.h>
#include <wx/progdlg.h>

#include <algorithm>
#include <cstring>

#include "common/Messages.h"

namespace vantor {

namespace {

constexpr int kProgressRange = 1000;
constexpr int kPollMs = 100;

wxString FromUtf8(const std::string& s) {
  return wxString::FromUTF8(s.c_str());
}
std::string ToUtf8(const wxString& s) {
  return std::string(s.utf8_str());
}

}  // namespace

wxString ToWxWildcard(const std::string& filter) {
  std::string s = filter;
  while (!s.empty() && s.back() == '|') s.pop_back();
  return FromUtf8(s);
}

CFramePrintout::CFramePrintout(const RgbImage& frame) : wxPrintout("Print Window") {
  if (frame.width > 0 && frame.height > 0 &&
      frame.rgb.size() >= std::size_t(frame.width) * frame.height * 3) {
    m_image.Create(frame.width, frame.height, false);
    std::memcpy(m_image.GetData(), frame.rgb.data(), std::size_t(frame.width) * frame.height * 3);
  }
}

void CFramePrintout::GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) {
  *minPage = *maxPage = *pageFrom = *pageTo = 1;
}

bool CFramePrintout::OnPrintPage(int page) {
  wxDC* dc = GetDC();
  if (page != 1 || !dc || !m_image.IsOk()) return false;
  // Device units are printer pixels: no scaling, origin at the paper's corner.
  dc->SetMapMode(wxMM_TEXT);
  dc->SetUserScale(1.0, 1.0);
  dc->SetLogicalOrigin(0, 0);
  dc->SetDeviceOrigin(0, 0);
  dc->DrawBitmap(wxBitmap(m_image), 0, 0, false);
  return true;
}

CFileSaveCopy::CFileSaveCopy(wxWindow* parent, std::string source, std::string destination,
                             CopyOptions options, DoneFn done)
    : m_job(std::move(source), std::move(destination), std::move(options)),
      m_timer(this),
      m_done(std::move(done)) {
  // Without wxPD_APP_MODAL only the main window is disabled: no second copy can
  // be started, but its video and timers go on.
  m_dialog = new wxProgressDialog(
      FromUtf8(Tr("File Save")), FromUtf8(Tr("Copying the movie to") + "\n" + m_job.Destination()),
      kProgressRange, parent,
      wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_ELAPSED_TIME | wxPD_REMAINING_TIME);
  Bind(wxEVT_TIMER, &CFileSaveCopy::OnTimer, this, m_timer.GetId());
  m_job.Start();
  m_timer.Start(kPollMs);
}

CFileSaveCopy::~CFileSaveCopy() {
  m_timer.Stop();
  m_job.Cancel();
  m_job.Wait();
  delete m_dialog.get();
}

void CFileSaveCopy::OnTimer(wxTimerEvent&) {
  if (m_finished) return;
  if (m_job.IsFinished()) {
    Finish();
    return;
  }
  if (!m_dialog) return;
  if (m_dialog->WasCancelled()) {
    // The worker notices between chunks, removes the partial file and finishes.
    m_job.Cancel();
    return;
  }
  const std::uint64_t total = m_job.BytesTotal();
  const std::uint64_t done = m_job.BytesCopied();
  int value = total ? int(done * kProgressRange / total) : 0;
  // Reaching the maximum would close the dialog before the copy is really done.
  value = std::clamp(value, 0, kProgressRange - 1);
  if (!m_dialog->Update(value)) m_job.Cancel();
}

void CFileSaveCopy::Finish() {
  m_timer.Stop();
  m_result = m_job.Wait();
  m_finished = true;
  delete m_dialog.get();
  const std::string message = CopyFailureMessage(m_result, m_job.Source(), m_job.Destination());
  if (!message.empty()) ShowMessageBox(message, "Vantor", MessageIcon::Error);
  if (m_done) m_done(m_result);
}

CWxSnapshotUi::CWxSnapshotUi(wxWindow* owner) : m_owner(owner) {}

CWxSnapshotUi::~CWxSnapshotUi() = default;

std::optional<std::string> CWxSnapshotUi::AskSavePath(const SaveDialogRequest& request) {
  long style = wxFD_SAVE;
  if (request.overwritePrompt) style |= wxFD_OVERWRITE_PROMPT;
  wxFileDialog dialog(m_owner, FromUtf8(Tr("Save As")), wxEmptyString,
                      FromUtf8(request.proposedName), ToWxWildcard(request.filter), style);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return ToUtf8(dialog.GetPath());
}

bool CWxSnapshotUi::ConfirmOverwrite(const std::string& path) {
  const std::string text = path + "\n" + Tr("This file already exists. Replace it?");
  return wxMessageBox(FromUtf8(text), "Vantor", wxYES_NO | wxNO_DEFAULT | wxICON_WARNING,
                      m_owner) == wxYES;
}

void CWxSnapshotUi::PrintImage(const RgbImage& frame) {
  CFramePrintout printout(frame);
  RunPrinter(printout);
}

bool CWxSnapshotUi::RunPrinter(wxPrintout& printout) {
  wxPrintDialogData data;
  data.SetAllPages(true);
  data.SetMinPage(1);
  data.SetMaxPage(1);
  data.SetFromPage(1);
  data.SetToPage(1);
  data.EnablePageNumbers(false);
  data.EnableSelection(false);
  wxPrinter printer(&data);
  return printer.Print(m_owner, &printout, true);
}

void CWxSnapshotUi::StartCopy(const std::string& source, const std::string& destination) {
  // The progress dialog keeps the window disabled while a copy runs: what
  // comes meanwhile is the rest of one File Save, and waits its turn.
  if (m_copy && !m_copy->IsFinished()) {
    m_pendingCopies.emplace_back(source, destination);
    return;
  }
  m_copy.reset();
  m_copy = std::make_unique<CFileSaveCopy>(
      m_owner, source, destination, m_copyOptions, [this](const CopyResult& result) {
        if (m_copyDone) m_copyDone(result);
        // A file in the way of one camera's copy is reported and kept, and
        // the next camera is copied all the same; a cancel or a full or
        // unwritable disk ends the lot.
        if (result.status != CopyStatus::Ok && result.status != CopyStatus::DestinationExists &&
            result.status != CopyStatus::SourceUnreadable)
          m_pendingCopies.clear();
        if (m_pendingCopies.empty()) return;
        // Not from inside the finishing copy, which the next one replaces.
        wxTheApp->CallAfter([this, alive = std::weak_ptr<int>(m_alive)] {
          if (alive.expired() || m_pendingCopies.empty() || (m_copy && !m_copy->IsFinished()))
            return;
          const auto [next, to] = m_pendingCopies.front();
          m_pendingCopies.pop_front();
          StartCopy(next, to);
        });
      });
}

}  // namespace vantor
