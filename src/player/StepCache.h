#pragma once
// Stepping while paused. An accurate seek decodes from the key frame before
// its target, and stepping back 200 ms at a time would decode most of a key
// frame interval again for every step. Instead a second, picture-only
// pipeline of the same file decodes from that key frame up to the target
// once, as fast as it can, keeping every frame already scaled for the output
// (small at the pane's size); the steps that follow inside that stretch are
// lookups. The main pipeline is moved to the position shown only when it is
// needed: before playing, for the full-size image, for a seek the cache
// cannot serve.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "player/PlayerGraph.h"

namespace vantor::player {

class StepCache {
 public:
  StepCache(CMoviePlayer::Graph* graph, std::string path);
  ~StepCache();
  StepCache(const StepCache&) = delete;
  StepCache& operator=(const StepCache&) = delete;

  // GUI thread. The cached frame at or before `ms`, when the stretch decoded
  // last covers it at the size frames are now shown at.
  VideoFramePtr Lookup(std::int64_t ms, int width, int height);
  // GUI thread: decode up to `ms` and show the frame there. Only the newest
  // request waits while a stretch is being decoded.
  void Request(std::int64_t ms);
  // GUI thread: playing again; the frames and the second pipeline go, so
  // they cost no memory while the movie plays.
  void Release();

 private:
  void Run();
  bool Build();
  void TearDown();
  // `ahead`: the stretch before the frames kept, decoded before it is asked
  // for; nothing is shown and nothing falls back to the pipeline.
  void Decode(std::int64_t ms, std::uint64_t seq, bool ahead);
  bool ServeFromFrames(std::int64_t ms);
  void KeepBefore(std::vector<VideoFramePtr> frames, std::size_t bytes, int width, int height);
  VideoFramePtr Find(std::int64_t ms, int width, int height);  // m_mutex held
  void PrefetchIfNear(std::int64_t shownMs);                   // m_mutex held
  static void OnPad(GstElement*, GstPad* pad, gpointer data);
  static gboolean OnAutoplugContinue(GstElement*, GstPad*, GstCaps* caps, gpointer);

  CMoviePlayer::Graph* m_graph;
  const std::string m_path;

  std::mutex m_mutex;  // guards the members down to m_endMs
  std::condition_variable m_cv;
  bool m_quit = false;
  bool m_release = false;
  std::optional<std::int64_t> m_request;
  std::optional<std::int64_t> m_prefetch;  // decode up to here ahead of the steps
  std::int64_t m_prefetchedBefore = -1;    // the front the last prefetch was for
  std::uint64_t m_requestSeq = 0;          // counts every step asked for, served or not
  std::vector<VideoFramePtr> m_frames;     // in time order, one stretch
  int m_width = 0;
  int m_height = 0;
  std::int64_t m_endMs = -1;

  // Worker thread only.
  GstPtr<GstElement> m_pipeline;
  std::shared_ptr<CFrameScaler> m_scaler;
  std::atomic<bool> m_linked{false};
  bool m_failed = false;  // the file cannot be stepped this way; seek instead

  std::thread m_worker;  // last: started once everything above exists
};

}  // namespace vantor::player
