#pragma once
// Writes a stretch of one drive as a new MP4 (H.264 + AAC, index at the
// front) with the drive's data drawn on the picture. Needs GStreamer, no
// window: the command line and the window's export both call it.
//
//   RenderRequest r;  r.clips = ...; r.fromNs = ...; r.outPath = "out.mp4";
//   RenderStatus status;               // another thread may read or cancel
//   std::string error;
//   if (!RenderVideo(r, status, error)) report(error);   // no file was left
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gps/GpsExport.h"
#include "gps/GpsLog.h"
#include "gps/GpsSources.h"
#include "render/Overlay.h"

namespace vantor {

// What the media framework says about one movie.
struct ClipMedia {
  std::int64_t durationNs = 0;
  int width = 0, height = 0;
  int fpsNum = 0, fpsDen = 1;
  bool hasAudio = false;
  int audioRate = 0, audioChannels = 0;
};

// False with `error` set when the movie cannot be read or has no picture.
bool ProbeClip(const std::string& path, ClipMedia& media, std::string& error);

struct RenderClip {
  std::string path;
  ClipMedia media;
  // The clip's second camera, drawn as an inset when the overlay asks for
  // it; "" for a clip of one camera.
  std::string insetPath;
  ClipMedia insetMedia;
  GpsRecordTable gps;  // may be empty: the overlay then shows no GPS values
  GpsLoad gpsLoad;
};

// Probes a movie and loads its GPS the way the window does (a camera log
// without a single dated line counts as none). False with `error` set when
// the movie cannot be read.
bool LoadRenderClip(const std::string& path, RenderClip& clip, std::string& error);

// Adds the clip's second camera. Its GPS is taken when the main file has
// none: a two-camera clip logs in one of its files. False with `error` set
// when it cannot be read.
bool LoadRenderInset(const std::string& path, RenderClip& clip, std::string& error);

struct RenderStatus {
  std::atomic<std::int64_t> doneNs{0};   // of the stretch written so far
  std::atomic<std::int64_t> totalNs{0};  // the stretch's length
  std::atomic<bool> cancel{false};       // set from anywhere; the render stops soon
};

struct RenderRequest {
  std::vector<RenderClip> clips;  // one drive, in play order, each probed
  std::int64_t fromNs = 0;        // from the first clip's start, clips end to end
  std::int64_t toNs = -1;         // -1: to the end of the last clip
  int height = 0;                 // 0: the first clip's own size
  OverlayChoice overlay;
  GpsExportStyle style;
  std::string outPath;  // must not exist; written through a temporary file beside it
  std::string encoderPreset = "veryfast";
  // Called on the rendering thread a few times a second (progress display).
  std::function<void(const RenderStatus&)> onTick;
};

// The total length of the clips end to end.
std::int64_t DriveLengthNs(const std::vector<RenderClip>& clips);

// The output size for `height` lines (0: the source's), width kept in
// proportion and even, as H.264 in 4:2:0 needs.
void OutputSize(const ClipMedia& first, int height, int& outWidth, int& outHeight);

// The overlay's values for `clip` at `offsetNs` into it (the window's record
// choice: GPS spread over the movie or at its own times).
OverlayValues OverlayValuesAt(const RenderClip& clip, std::int64_t offsetNs,
                              const GpsExportStyle& style);

// Renders the request. True when `outPath` now holds the whole stretch;
// otherwise `error` says why (cancelled, disk full...) and nothing is left
// at `outPath` or beside it.
bool RenderVideo(const RenderRequest& request, RenderStatus& status, std::string& error);

}  // namespace vantor
