#pragma once
// The Snapshot, Print Image and File Save commands of the main window, with the
// dialogs behind an interface: the wx layer shows real ones, tests answer them.
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/Snapshot.h"

namespace vantor {

struct SaveDialogRequest {
  std::string proposedName;      // empty: none
  std::string defaultExtension;  // empty: none
  std::string filter;            // "Description|pattern|...||"
  bool overwritePrompt = false;
};

class CSnapshotUi {
 public:
  virtual ~CSnapshotUi() = default;
  // The chosen path, or nullopt when the user cancels.
  virtual std::optional<std::string> AskSavePath(const SaveDialogRequest& request) = 0;
  // Asked when the default extension was added after the dialog closed and the
  // resulting file exists (the dialog's own prompt saw the name without it).
  virtual bool ConfirmOverwrite(const std::string& path) = 0;
  // Shows the print dialog and prints `frame` on one page.
  virtual void PrintImage(const RgbImage& frame) = 0;
  // Starts copying `source` to `destination` (never overwriting) with progress.
  virtual void StartCopy(const std::string& source, const std::string& destination) = 0;
};

enum class CommandOutcome { NotAvailable, Cancelled, Done, Failed };

using GrabFrameFn = std::function<CapturedFrame()>;

// The save dialog filters, in the message language.
std::string SnapshotFilter();
std::string MovieFilter();

// Snapshot: frame, counter, save dialog, BMP file; "Failed to create output file"
// when the file cannot be written.
CommandOutcome RunSnapshot(const GrabFrameFn& grab, CSnapshotUi& ui);
// Print Image: nothing without an open movie or a frame.
CommandOutcome RunPrintImage(bool movieOpen, const GrabFrameFn& grab, CSnapshotUi& ui);
// File Save: only while playing; copies the current entry to the chosen place.
// The files of the clip's other cameras (`otherCameras`) are copied too, each
// beside the chosen copy under the name ChannelCopyPath gives (a file already
// there is reported and kept, as for the main copy).
CommandOutcome RunFileSave(bool playing, const std::string& sourcePath, CSnapshotUi& ui,
                           std::span<const std::string> otherCameras = {});

}  // namespace vantor
