#pragma once
// "Export video...": the dialog that asks for the size and the overlay, and
// the export itself on a thread of its own with a progress dialog (remaining
// time, Cancel) while the window plays on.
#include <string>
#include <vector>

#include "app/ExportJob.h"
#include "render/Render.h"

struct VideoExportChoices {
  int height = 0;  // 0: the source's size
  vantor::OverlayChoice overlay;
};

// Asks for the size and what to draw; false when the user cancels. The
// second camera is offered when the stretch has one.
bool AskVideoExportChoices(wxWindow* parent, VideoExportChoices& choices, bool offerInset = false);

class CVideoExport : public CExportJob {
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
  void Cancel();

 private:
  void Progress() override;
  void Finished(const std::string& error) override;

  vantor::RenderStatus m_status;
  std::string m_outPath;
};
