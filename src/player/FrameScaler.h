#pragma once
// The way a decoded picture takes to the screen. Converting a full-size frame
// to BGRx costs as much as decoding it, and one bilinear step from 1920 to 575
// pixels skips most of them (the picture shimmers). So the picture is scaled
// in the decoder's own format (4:2:0 for most movies), first halved with
// bilinear while it is at least twice the shown size (an exact halving is an
// average of four pixels), then brought to the shown size and converted to
// BGRx in one last step, so only the small picture is ever converted (for
// 8-bit 4:2:0 by the element of BgrxScaler.h).
//
//   auto scaler = CFrameScaler::Make(/*sync=*/true, /*maxBuffers=*/2);
//   gst_bin_add(pipeline, scaler->Bin());        // fed through its "sink" pad
//   scaler->SetShownSize(575, 390);              // letterboxed BGRx frames
//   ... gst_app_sink_pull_sample(scaler->AppSink()) ...
//   scaler->SetShownSize(0, 0);                  // frames stay as decoded
#include <gst/gst.h>

#include <memory>
#include <mutex>
#include <vector>

#include "player/GstHandle.h"

struct PictureSize {
  int width = 0;
  int height = 0;
  bool operator==(const PictureSize&) const = default;
};

// The largest picture of `source`'s shape (pixel aspect `parN`/`parD`) that
// fits in `box` with square pixels; the rest of the box is border.
PictureSize FitPicture(PictureSize source, int parN, int parD, PictureSize box);

// The sizes `source` is halved to before the last step to `shown`: halving
// goes on while both sides are at least twice the shown ones, so no step
// ever drops below the shown size.
std::vector<PictureSize> HalvingSteps(PictureSize source, PictureSize shown);

class CFrameScaler {
 public:
  // Halving steps the bin can take; past them the last step skips pixels,
  // which only a picture over eight times the shown size would notice.
  static constexpr int kMaxHalvings = 3;

  // The appsink at the end syncs to the clock when `sync`, and holds up to
  // `maxBuffers` frames (0: no limit); it keeps no last sample.
  static std::shared_ptr<CFrameScaler> Make(bool sync, unsigned maxBuffers);

  GstElement* Bin() const { return m_bin.get(); }
  GstElement* AppSink() const { return m_appSink.get(); }
  // The bin's input, where full-size frames pass.
  vantor::GstPtr<GstPad> SinkPad() const;

  // Any thread. Frames come as BGRx of exactly this size with the picture
  // letterboxed in it; 0 x 0 leaves them as decoded.
  void SetShownSize(int width, int height);

 private:
  // What the caps probe on the bin's input shares with the scaler. The
  // probe must not hold the bin itself, or the bin would never go.
  struct Steps {
    std::mutex mutex;
    vantor::GstPtr<GstElement> fast;  // see BgrxScaler.h
    vantor::GstPtr<GstElement> halvingCaps[kMaxHalvings];
    vantor::GstPtr<GstElement> shownCaps;
    PictureSize source;  // from the caps arriving at the bin
    int parN = 1;
    int parD = 1;
    PictureSize shown;
    void Apply();  // mutex held
  };
  static GstPadProbeReturn OnSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer data);

  CFrameScaler() = default;
  vantor::GstPtr<GstElement> m_bin;
  vantor::GstPtr<GstElement> m_appSink;
  std::shared_ptr<Steps> m_steps;
};
