#include "app/SnapshotFlow.h"

#include <sys/stat.h>

#include "app/Channels.h"
#include "common/Messages.h"

namespace vantor {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// A frame that does not describe itself consistently is no frame.
CapturedFrame Grab(const GrabFrameFn& grab) {
  CapturedFrame frame = grab ? grab() : CapturedFrame{};
  if (!frame || !ParseDib(frame.span())) return {};
  return frame;
}

}  // namespace

std::string SnapshotFilter() {
  return Tr("Bitmap files(*.bmp)|*.bmp||");
}

std::string MovieFilter() {
  return "Movie File(*.mov)|*.mov|All File(*.*)|*.*||";
}

CommandOutcome RunSnapshot(const GrabFrameFn& grab, CSnapshotUi& ui) {
  const CapturedFrame frame = Grab(grab);
  if (!frame) return CommandOutcome::NotAvailable;

  SaveDialogRequest request;
  request.proposedName = SnapshotFileName(TakeSnapshotNumber());
  request.defaultExtension = "bmp";
  request.filter = SnapshotFilter();
  request.overwritePrompt = true;
  const auto chosen = ui.AskSavePath(request);
  if (!chosen || chosen->empty()) return CommandOutcome::Cancelled;

  const std::string path = ApplyDefaultExtension(*chosen, request.defaultExtension);
  if (path != *chosen && Exists(path) && !ui.ConfirmOverwrite(path))
    return CommandOutcome::Cancelled;

  if (!WriteBmpFile(path, frame.span())) {
    ShowMessageBox(Tr("Failed to create output file"), "Vantor", MessageIcon::Error);
    return CommandOutcome::Failed;
  }
  return CommandOutcome::Done;
}

CommandOutcome RunPrintImage(bool movieOpen, const GrabFrameFn& grab, CSnapshotUi& ui) {
  if (!movieOpen) return CommandOutcome::NotAvailable;
  const CapturedFrame frame = Grab(grab);
  if (!frame) return CommandOutcome::NotAvailable;
  const auto image = DibToRgb(frame.span());
  if (!image) return CommandOutcome::NotAvailable;
  ui.PrintImage(*image);
  return CommandOutcome::Done;
}

CommandOutcome RunFileSave(bool playing, const std::string& sourcePath, CSnapshotUi& ui,
                           std::span<const std::string> otherCameras) {
  if (!playing || sourcePath.empty()) return CommandOutcome::NotAvailable;
  SaveDialogRequest request;
  request.filter = MovieFilter();
  const auto chosen = ui.AskSavePath(request);
  if (!chosen || chosen->empty()) return CommandOutcome::Cancelled;
  const std::string destination = FileSaveDestination(*chosen);
  ui.StartCopy(sourcePath, destination);
  for (const std::string& other : otherCameras) {
    const auto named = ChannelOfPath(other);
    if (!named) continue;
    ui.StartCopy(other, ChannelCopyPath(destination, named->channel));
  }
  return CommandOutcome::Done;
}

}  // namespace vantor
