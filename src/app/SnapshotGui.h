#pragma once
// The wx side of Snapshot, Print Image and File Save: real dialogs, the printout
// and the copy's progress dialog. The command logic is in SnapshotFlow.
#include <wx/event.h>
#include <wx/image.h>
#include <wx/print.h>
#include <wx/progdlg.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/FileCopier.h"
#include "app/SnapshotFlow.h"

class wxWindow;

namespace vantor {

// "Description|pattern|...||" as the program's texts give filters, made into a
// wx wildcard (wx reads the closing "||" as one more, empty, filter).
wxString ToWxWildcard(const std::string& filter);

// One page named "Print Window": the frame at one frame pixel per printer pixel
// from the paper's top-left corner, nothing else.
class CFramePrintout : public wxPrintout {
 public:
  explicit CFramePrintout(const RgbImage& frame);
  bool HasPage(int page) override { return page == 1; }
  void GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) override;
  bool OnPrintPage(int page) override;
  const wxImage& GetImage() const { return m_image; }

 private:
  wxImage m_image;
};

// A File Save copy in progress: the worker thread, a progress dialog with Cancel
// and a timer on the GUI thread that polls the worker, so the window (and the
// video in it) carries on while gigabytes are copied.
class CFileSaveCopy : public wxEvtHandler {
 public:
  using DoneFn = std::function<void(const CopyResult&)>;
  CFileSaveCopy(wxWindow* parent, std::string source, std::string destination,
                CopyOptions options = {}, DoneFn done = {});
  // Cancels a copy still running, waits for the worker (which removes the
  // partial file) and closes the progress dialog.
  ~CFileSaveCopy() override;

  bool IsFinished() const { return m_finished; }
  const CopyResult& Result() const { return m_result; }
  wxProgressDialog* GetProgressDialog() const { return m_dialog; }
  const CFileCopyJob& Job() const { return m_job; }

 private:
  void OnTimer(wxTimerEvent& event);
  void Finish();

  CFileCopyJob m_job;
  // Weak: the dialog is a child of the main window and goes with it.
  wxWeakRef<wxProgressDialog> m_dialog;
  wxTimer m_timer;
  DoneFn m_done;
  CopyResult m_result;
  bool m_finished = false;
};

// The dialogs of the three commands as the user sees them. The main window keeps
// one for its lifetime; destroying it cancels a copy still running.
class CWxSnapshotUi : public CSnapshotUi {
 public:
  explicit CWxSnapshotUi(wxWindow* owner);
  ~CWxSnapshotUi() override;

  std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;
  bool ConfirmOverwrite(const std::string& path) override;
  void PrintImage(const RgbImage& frame) override;
  void StartCopy(const std::string& source, const std::string& destination) override;

  // Shows the print dialog and prints; tests print to a file instead.
  virtual bool RunPrinter(wxPrintout& printout);

  // The copy started last (finished or not), or null.
  CFileSaveCopy* CurrentCopy() const { return m_copy.get(); }
  void SetCopyOptions(CopyOptions options) { m_copyOptions = std::move(options); }
  void SetCopyDoneCallback(CFileSaveCopy::DoneFn done) { m_copyDone = std::move(done); }

 protected:
  wxWindow* m_owner;

 private:
  std::unique_ptr<CFileSaveCopy> m_copy;
  // Copies asked for while one runs (the other cameras of a clip), each
  // started when the one before it has succeeded.
  std::deque<std::pair<std::string, std::string>> m_pendingCopies;
  std::shared_ptr<int> m_alive = std::make_shared<int>();  // for calls queued to after
  CopyOptions m_copyOptions;
  CFileSaveCopy::DoneFn m_copyDone;
};

}  // namespace vantor
