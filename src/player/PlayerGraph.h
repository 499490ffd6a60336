#pragma once
// The pipeline of one open movie and everything its streaming threads share
// with the GUI thread. Streaming threads only ever see this object, never the
// player, so the player can move on while they finish. Inside the player only.
//
// Its methods are implemented by the unit of their idea:
//   PlayerBus.cpp       bus messages (one handler per type), appsink frames,
//                       the full-size frames kept for GetCurrentImage
//   StreamBranches.cpp  a branch for each decoded stream
//   OpenStrategies.cpp  the decoder hook-up and preroll
//   Seeking.cpp         the one seek path with its coalescing
//   StepCache.cpp       stepping while paused (with StepCache.h)
//   PlayerGraph.cpp     life time, output and render size, queries
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Result.h"
#include "player/GstHandle.h"
#include "player/MoviePlayer.h"

class CFrameScaler;

namespace vantor::player {

using Clock = std::chrono::steady_clock;
class StepCache;

// What a decoded pad carries, as far as the player cares.
enum class StreamKind { Video, Audio, Other };
StreamKind ClassifyPad(GstPad* pad);

// A stream nobody shows or hears: taken and dropped at once, so that it can
// neither stall the others nor hold up preroll.
GstPtr<GstElement> MakeDiscardSink();
// Brings a branch already in the pipeline to the pipeline's state and feeds
// it from `pad`.
void StartAndLink(GstElement* branch, GstPad* pad);
// Connected to "deep-element-added" of a pipeline: sets libav's threads,
// two for bursts of decoding, and for playing as many as the stream needs
// (DecoderThreadsFor its caps: one, or two for heavy streams and for those
// whose setup is not in the caps).
void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer);
void OnPlayingElementAdded(GstBin*, GstBin*, GstElement* element, gpointer);
int DecoderThreadsFor(const GstCaps* caps);

}  // namespace vantor::player

struct CMoviePlayer::Graph {
 public:
  using Clock = vantor::player::Clock;

  // `output` (may be null) gets the frames at `renderWidth` x `renderHeight`
  // (0 x 0: frames stay as decoded) from the first one on.
  Graph(Clock::time_point deadline, IVideoOutput* output, int renderWidth, int renderHeight);
  ~Graph();
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  // --- Building (OpenStrategies.cpp, StreamBranches.cpp) ---------------
  GstElement* Pipeline() const { return m_pipeline.get(); }
  // A decoding element of the pipeline gives its streams to this graph.
  void ConnectDecoder(GstElement* decoder);
  // Pauses the pipeline and waits for the first picture (or sound) before
  // the deadline; E_FAIL for anything that cannot be played.
  HRESULT Preroll();
  void SetPath(std::string path) { m_path = std::move(path); }
  const std::string& Path() const { return m_path; }

  // --- What the open movie has (PlayerGraph.cpp) -----------------------
  bool HasVideo() const;
  bool HasAudio() const { return m_volume != nullptr; }
  GstElement* Volume() const { return m_volume; }
  void VideoSize(int& width, int& height) const;
  std::int64_t ShownTimeMs() const;
  // One frame's time from the stream's frame rate; 0 when it gives none.
  std::int64_t FrameDurationNs() const;
  std::uint64_t FramesPresented() const;
  std::uint64_t StepCacheHits() const;

  // --- Output (PlayerGraph.cpp) -----------------------------------------
  void SetOutput(IVideoOutput* output);
  bool HasOutput() const;
  // 0 x 0: frames stay as decoded.
  void SetRenderSize(int width, int height);
  // A graph prepared without an output keeps its last picture; once it has
  // an output this hands that picture over at once. False without one.
  bool ShowHeld();
  // The full-size frame on screen, waited for while a seek is decoded.
  std::unique_ptr<std::uint8_t[]> CurrentImage(long* pcbSize);

  // --- State (PlayerBus.cpp) ---------------------------------------------
  // Asks the pipeline for `state`; false when the change fails at once.
  bool RequestState(GstState state);
  // The state asked for last (PAUSED while building).
  GstState RequestedState() const;
  // TRUE when playing; waits up to 500 ms only while a change is pending.
  bool IsRunning();
  // Drains the bus without waiting; true at end of stream or on an error.
  bool TakeCompletion();
  // Called on a streaming thread when the whole pipeline reached its end:
  // the moment the next clip has to start to follow without a gap.
  void SetOnEos(std::function<void()> onEos);

  // --- Seeking (Seeking.cpp) ----------------------------------------------
  // Accurate seek at `rate`; while one is being decoded only the newest
  // target waits.
  void Seek(std::int64_t ns, double rate);
  // Where the position is going: the step shown or the seek in flight.
  std::optional<std::int64_t> PositionGoingTo() const;
  // A paused step shown from (or decoded for) the step cache; false when the
  // pipeline has to seek instead.
  bool StepWhilePaused(std::int64_t ms);
  // Moves the pipeline to the step on screen, if one is.
  void SyncToShown();
  // Playing again: the step cache lets go of its frames.
  void ReleaseSteps();

  // --- Streaming threads ---------------------------------------------------
  static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* msg, gpointer data);
  static GstPadProbeReturn OnFullSizeData(GstPad*, GstPadProbeInfo* info, gpointer data);
  static GstPadProbeReturn OnSinkFlush(GstPad*, GstPadProbeInfo* info, gpointer data);
  static GstFlowReturn OnNewPreroll(GstAppSink* sink, gpointer data);
  static GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data);
  static void OnDecodedPad(GstElement*, GstPad* pad, gpointer data);
  static void OnNoMorePads(GstElement*, gpointer data);

 private:
  friend class vantor::player::StepCache;

  // Bus messages, one handler each (PlayerBus.cpp).
  void HandleError();
  void HandleEos();
  void HandleAsyncDone();
  void HandleStateChanged(GstState now, GstState pending);
  void Present(vantor::GstPtr<GstSample> sample);
  // Full-size frames (PlayerBus.cpp).
  void KeepFullSizeCaps(GstCaps* caps);
  void KeepFullSizeBuffer(GstBuffer* buffer);
  void DropFullSizeQueue();
  void TakeShownFullSize(GstClockTime pts);  // mutex held

  // Branches (StreamBranches.cpp).
  void LinkDecodedPad(GstPad* pad);
  vantor::GstPtr<GstElement> MakeVideoBranch();
  vantor::GstPtr<GstElement> MakeAudioBranch();

  // Seeking (Seeking.cpp), all with the mutex held.
  bool SeekInFlight() const;
  void SeekLocked(std::int64_t ns);
  void StartSeek(std::int64_t ns);
  void HandleSeekRefused();
  void WatchSeekFlushes();
  void SendSeek(std::int64_t ns, double rate, std::uint64_t generation);  // mutex not held
  void SeekInsteadOfStep(std::int64_t ms);                                // mutex not held
  void ApplyRatePolicy();
  void ShowStepFrame(const VideoFramePtr& frame, bool fromCache);

  void Notify() { m_changed.notify_all(); }

  vantor::GstPtr<GstElement> m_pipeline;
  vantor::GstPtr<GstBus> m_bus;
  const Clock::time_point m_deadline;
  std::string m_path;

  mutable std::mutex m_mutex;  // guards everything below
  std::condition_variable m_changed;
  // Building: source pads still to come, branches linked, failures seen.
  bool m_sourcePadsDone = false;
  bool m_error = false;
  bool m_videoEnded = false;  // the picture stream ended, perhaps before any frame
  std::shared_ptr<CFrameScaler> m_scaler;
  GstElement* m_videoSink = nullptr;  // held by the pipeline
  GstElement* m_volume = nullptr;     // held by the pipeline
  int m_videoWidth = 0;
  int m_videoHeight = 0;
  // The pipeline's state as its messages tell it.
  GstState m_state = GST_STATE_NULL;
  GstState m_statePending = GST_STATE_VOID_PENDING;
  GstState m_stateRequested = GST_STATE_NULL;
  // Full-size frames on their way to the sink, and the one last shown; only
  // that one is ever converted (GetCurrentImage), on demand.
  vantor::GstPtr<GstCaps> m_fullCaps;
  std::vector<std::pair<vantor::GstPtr<GstBuffer>, vantor::GstPtr<GstCaps>>> m_fullQueue;
  vantor::GstPtr<GstBuffer> m_shownFull;
  vantor::GstPtr<GstCaps> m_shownCaps;
  GstBuffer* m_lastPresented = nullptr;  // not a reference; only compared
  GstClockTime m_lastPresentedPts = GST_CLOCK_TIME_NONE;
  std::int64_t m_shownTimeMs = -1;
  std::uint64_t m_framesPresented = 0;
  int m_renderWidth = 0;  // 0: no output, frames stay as decoded
  int m_renderHeight = 0;
  // Seeks: one in flight at a time; only the newest waiting target is kept.
  bool m_seekBusy = false;
  std::uint64_t m_seekGeneration = 0;         // one more for every seek started
  guint32 m_seekSeqnum = GST_SEQNUM_INVALID;  // of the seek sent, once it is
  bool m_seekFlushed = false;  // its flush has reached the sinks: the next ASYNC_DONE is its own
  bool m_flushesWatched = false;
  Clock::time_point m_seekStarted;
  std::optional<std::int64_t> m_seekPending;
  std::int64_t m_seekTarget = 0;
  double m_rate = 1.0;
  int m_asyncCalls = 0;
  bool m_closing = false;
  // Set while the picture shown came from the step cache: the pipeline itself
  // has not been moved there yet (see SyncToShown), and its own frames must
  // not replace the one on screen.
  std::optional<std::int64_t> m_staleNs;
  std::uint64_t m_stepCacheHits = 0;

  std::function<void()> m_onEos;

  mutable std::mutex m_outputMutex;  // held while a frame is handed to the output
  IVideoOutput* m_output = nullptr;
  vantor::GstPtr<GstSample> m_held;  // the last picture while there is no output

  std::unique_ptr<vantor::player::StepCache> m_stepCache;  // made at the first paused step
};
