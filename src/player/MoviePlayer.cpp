// CMoviePlayer: the facade over one movie's pipeline graph (PlayerGraph.h).
// It keeps what outlives a movie (volume, full screen, the output and its
// place) and turns the graph's answers into the player's result conventions.
#include "player/MoviePlayer.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "common/GstInit.h"
#include "common/Messages.h"
#include "player/PlayerGraph.h"

namespace {

// A bad file fails within milliseconds; this only bounds a pipeline that
// hangs, so that Open always comes back within about three seconds.
constexpr auto kOpenBudget = std::chrono::milliseconds(2800);

}  // namespace

// ---------------------------------------------------------------------------
// IVideoOutput

void IVideoOutput::DetachFromPlayer() {
  if (m_pAttachedPlayer) m_pAttachedPlayer->DetachOutput(this);
  m_pAttachedPlayer = nullptr;
}

void IVideoOutput::NotifyShownSizeChanged() {
  if (m_pAttachedPlayer) m_pAttachedPlayer->OnOutputResized(this);
}

// ---------------------------------------------------------------------------
// Life time and Open

CMoviePlayer::CMoviePlayer() = default;

CMoviePlayer::~CMoviePlayer() {
  // The pipeline's threads must be gone before the output can be.
  DestroyGraph();
  if (m_pOwner) m_pOwner->m_pAttachedPlayer = nullptr;
}

std::string CMoviePlayer::AudioSinkName() {
  static std::once_flag once;
  static std::string name = "fakesink";
  std::call_once(once, [] {
    if (!vantor::EnsureGStreamer()) return;
    // A sound server or a device must actually open; an installed plug-in
    // alone proves nothing on a machine without sound.
    for (const char* candidate : {"pulsesink", "alsasink"}) {
      vantor::GstPtr<GstElement> e(gst_element_factory_make(candidate, nullptr));
      if (!e) continue;
      gst_object_ref_sink(e.get());
      const bool ok = gst_element_set_state(e.get(), GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
      gst_element_set_state(e.get(), GST_STATE_NULL);
      if (ok) {
        name = candidate;
        return;
      }
    }
  });
  return name;
}

std::unique_ptr<CMoviePlayer::Graph> CMoviePlayer::NewGraph(
    IVideoOutput* output, int width, int height, std::chrono::steady_clock::time_point deadline) {
  return std::make_unique<Graph>(deadline, output, width, height);
}

void CMoviePlayer::DestroyGraph() {
  DropPrepared();
  // Their threads build with this player's strategies: they end before it does.
  ReapAbandoned(true);
  m_strPrepareFailed.clear();
  m_pRetired.reset();
  m_pGraph.reset();
}

std::unique_ptr<CMoviePlayer::Graph> CMoviePlayer::BuildGraph(
    const std::string& path, IVideoOutput* output, int width, int height,
    std::vector<RenderAttempt>& attempts) {
  // The strategies in their fixed order. Each attempt gets a fresh pipeline:
  // what a failed attempt left behind could only get in the way.
  using Strategy = HRESULT (CMoviePlayer::*)(const std::string&, Graph&);
  const std::pair<const char*, Strategy> strategies[] = {
      {"RenderWmv", &CMoviePlayer::RenderWmv},
      {"RenderFile", &CMoviePlayer::RenderFile},
      {"RenderAvi", &CMoviePlayer::RenderAvi},
      {"RenderWithAsyncReader", &CMoviePlayer::RenderWithAsyncReader},
      {"RenderFile", &CMoviePlayer::RenderFile},
  };
  const auto deadline = std::chrono::steady_clock::now() + kOpenBudget;
  for (const auto& [name, strategy] : strategies) {
    auto candidate = NewGraph(output, width, height, deadline);
    const HRESULT hr = (this->*strategy)(path, *candidate);
    attempts.push_back({name, hr});
    if (SUCCEEDED(hr)) {
      candidate->SetPath(path);
      return candidate;
    }
  }
  return nullptr;
}

BOOL CMoviePlayer::Open(const std::string& path, IVideoOutput* owner, VideoRect rcVideo) {
  m_nVideoWidth = m_nVideoHeight = 0;
  m_attempts.clear();
  if (path.empty()) {
    Close();
    return TRUE;
  }
  DestroyGraph();
  if (!vantor::EnsureGStreamer()) return FALSE;

  const VideoRect previousRect = m_rcVideo;
  if (owner) m_rcVideo = rcVideo;
  // The first frame is decoded during preroll: scale it for the output
  // already, so it is on screen when Open returns.
  int width = 0, height = 0;
  if (owner) {
    width = m_rcVideo.Width();
    height = m_rcVideo.Height();
    if (m_bFullScreen && m_pOwner == owner) owner->GetShownSize(width, height);
  }
  std::unique_ptr<Graph> graph = BuildGraph(path, owner, width, height, m_attempts);
  if (!graph) {
    m_rcVideo = previousRect;
    return FALSE;
  }
  m_pGraph = std::move(graph);
  m_dRate = 1.0;

  if (m_pGraph->HasAudio()) SetVolume(m_nVolume);
  m_pGraph->VideoSize(m_nVideoWidth, m_nVideoHeight);
  if (IsAudioOnly()) m_pGraph->SetOutput(nullptr);
  if (owner) {
    SetOwnerWindow(owner);
    SetVideoPosition(rcVideo);
    ShowVideo(TRUE);
  }
  m_bOpen = TRUE;
  if (m_bFullScreen) EnterFullScreen();
  return TRUE;
}

// ---------------------------------------------------------------------------
// The join of two clips

// Shared by the player and the ending pipeline's streaming thread: whichever
// comes first at the end starts the prepared clip, exactly once, and the
// player can take the prepared clip away safely at any moment.
struct CMoviePlayer::Handoff {
  std::mutex mutex;
  Graph* next = nullptr;
  IVideoOutput* output = nullptr;
  bool started = false;

  void Start() {
    std::lock_guard lock(mutex);
    if (!next || started) return;
    started = true;
    next->SetOutput(output);
    // The pane goes on showing the last picture of the clip that ended until
    // this one replaces it: there is no blank moment in between.
    next->ShowHeld();
    next->RequestState(GST_STATE_PLAYING);
  }
  bool Started() {
    std::lock_guard lock(mutex);
    return started;
  }
  void Forget() {
    std::lock_guard lock(mutex);
    next = nullptr;
  }
};

// One clip being opened for the join on a thread of its own. The thread
// fills in the result; the player takes it, or abandons the preparation, in
// which case the thread lets go of its pipeline itself.
struct CMoviePlayer::Preparation {
  std::string path;
  std::thread thread;
  std::mutex mutex;
  bool done = false;
  bool abandoned = false;
  std::unique_ptr<Graph> graph;
  std::vector<RenderAttempt> attempts;

  bool Done() {
    std::lock_guard lock(mutex);
    return done;
  }
};

BOOL CMoviePlayer::PrepareNext(const std::string& path) {
  if (!m_pGraph || path.empty()) return FALSE;
  if (GetPreparedPath() == path) return TRUE;
  if (path == m_strPrepareFailed) return FALSE;
  DropPrepared();
  // Frames at the size shown now, so the first one needs no work at the join.
  int width = 0, height = 0;
  if (m_pOwner && !IsAudioOnly()) m_pOwner->GetShownSize(width, height);
  m_pPreparing = std::make_unique<Preparation>();
  m_pPreparing->path = path;
  Preparation* job = m_pPreparing.get();
  // The clip before the last join goes down on the same thread: neither its
  // teardown nor the next clip's preroll holds up the window's painting.
  m_pPreparing->thread =
      std::thread([this, job, width, height, retired = std::move(m_pRetired)]() mutable {
        retired.reset();
        std::vector<RenderAttempt> attempts;
        std::unique_ptr<Graph> graph = BuildGraph(job->path, nullptr, width, height, attempts);
        std::unique_lock lock(job->mutex);
        job->done = true;
        if (job->abandoned) {
          lock.unlock();
          return;  // `graph` goes down here, on this thread
        }
        job->graph = std::move(graph);
        job->attempts = std::move(attempts);
      });
  return TRUE;
}

void CMoviePlayer::CollectPrepared(bool wait) {
  if (!m_pPreparing || (!wait && !m_pPreparing->Done())) return;
  std::unique_ptr<Preparation> job = std::move(m_pPreparing);
  job->thread.join();
  if (!job->graph || !m_pGraph) {
    if (!job->graph) m_strPrepareFailed = job->path;
    return;
  }
  std::unique_ptr<Graph> next = std::move(job->graph);
  if (next->HasAudio()) {
    const int volume = GetVolume();
    g_object_set(next->Volume(), "volume", AudioVolumeToLinear(100L * volume - 10000), nullptr);
  }
  // At fast forward the next clip starts at the same pace; its preroll at the
  // new rate is long done by the time this clip ends.
  if (m_dRate != 1.0) next->Seek(0, m_dRate);
  m_pNext = std::move(next);
  m_nextAttempts = std::move(job->attempts);
  m_pHandoff = std::make_shared<Handoff>();
  m_pHandoff->next = m_pNext.get();
  m_pHandoff->output = IsAudioOnly() ? nullptr : m_pOwner;
  m_pGraph->SetOnEos([handoff = m_pHandoff] { handoff->Start(); });
}

void CMoviePlayer::ReapAbandoned(bool wait) {
  std::erase_if(m_abandoned, [wait](std::unique_ptr<Preparation>& job) {
    if (!wait && !job->Done()) return false;
    job->thread.join();
    return true;
  });
}

std::string CMoviePlayer::GetPreparedPath() {
  CollectPrepared(false);
  if (m_pPreparing) return m_pPreparing->path;
  return m_pNext ? m_pNext->Path() : std::string();
}

std::string CMoviePlayer::GetPath() const {
  return m_pGraph ? m_pGraph->Path() : std::string();
}

void CMoviePlayer::DropPrepared() {
  if (m_pGraph) m_pGraph->SetOnEos(nullptr);
  if (m_pHandoff) m_pHandoff->Forget();
  m_pHandoff.reset();
  m_pNext.reset();
  m_nextAttempts.clear();
  if (m_pPreparing) {
    {
      std::lock_guard lock(m_pPreparing->mutex);
      m_pPreparing->abandoned = true;
      m_pPreparing->graph.reset();
    }
    m_abandoned.push_back(std::move(m_pPreparing));
  }
  ReapAbandoned(false);
}

BOOL CMoviePlayer::TakeHandover() {
  CollectPrepared(false);
  if (!m_pNext || !m_pGraph || !m_pHandoff) return FALSE;
  if (!m_pHandoff->Started()) {
    // Prepared after this clip had already ended: start it now.
    if (!m_pGraph->TakeCompletion()) return FALSE;
    m_pHandoff->Start();
  }
  m_pGraph->SetOnEos(nullptr);
  m_pGraph->SetOutput(nullptr);
  m_pHandoff.reset();
  // Tearing the old pipeline down takes a while; it waits until the next
  // clip is prepared, well away from the join.
  m_pRetired = std::move(m_pGraph);
  m_pGraph = std::move(m_pNext);
  m_attempts = std::move(m_nextAttempts);
  m_nextAttempts.clear();
  m_pGraph->VideoSize(m_nVideoWidth, m_nVideoHeight);
  if (IsAudioOnly()) m_pGraph->SetOutput(nullptr);
  UpdateRenderSize();
  m_bOpen = TRUE;
  return TRUE;
}

HRESULT CMoviePlayer::SetOwnerWindow(IVideoOutput* owner) {
  if (!m_pGraph || IsAudioOnly()) return S_OK;
  if (m_pOwner && m_pOwner != owner) {
    m_pOwner->ClearVideo();
    m_pOwner->m_pAttachedPlayer = nullptr;
  }
  m_pOwner = owner;
  owner->m_pAttachedPlayer = this;
  m_pGraph->SetOutput(owner);
  UpdateRenderSize();
  return S_OK;
}

HRESULT CMoviePlayer::Close() {
  Stop();
  DestroyGraph();
  if (m_pOwner) {
    m_pOwner->ClearVideo();
    if (m_bFullScreen) m_pOwner->SetFullScreen(false);
    m_pOwner->m_pAttachedPlayer = nullptr;
    m_pOwner = nullptr;
  }
  m_nVideoHeight = m_nVideoWidth = 0;
  m_bOpen = FALSE;
  m_dRate = 1.0;
  return S_OK;
}

void CMoviePlayer::DetachOutput(IVideoOutput* output) {
  if (m_pOwner != output) return;
  if (m_pGraph) m_pGraph->SetOutput(nullptr);
  m_pOwner = nullptr;
}

void CMoviePlayer::OnOutputResized(IVideoOutput* output) {
  if (output == m_pOwner) UpdateRenderSize();
}

// Full screen scales from the decoded frame again, not from the pane's
// picture: the output says how big it is now.
void CMoviePlayer::UpdateRenderSize() {
  if (!m_pGraph) return;
  int w = 0, h = 0;
  if (m_pOwner) m_pOwner->GetShownSize(w, h);
  m_pGraph->SetRenderSize(w, h);
}

// ---------------------------------------------------------------------------
// Operations

void CMoviePlayer::ShowPlayerError(const char* english) {
  vantor::ShowMessageBox(vantor::Tr(english), "Preview Player", vantor::MessageIcon::Error);
}

bool CMoviePlayer::ChangeState(int gstState) {
  return m_pGraph->RequestState(static_cast<GstState>(gstState));
}

bool CMoviePlayer::QueryPosition(std::int64_t& ns) {
  gint64 v = 0;
  if (!gst_element_query_position(m_pGraph->Pipeline(), GST_FORMAT_TIME, &v) || v < 0) return false;
  ns = v;
  return true;
}

bool CMoviePlayer::QueryDuration(std::int64_t& ns) {
  gint64 v = 0;
  if (!gst_element_query_duration(m_pGraph->Pipeline(), GST_FORMAT_TIME, &v) || v < 0) return false;
  ns = v;
  return true;
}

void CMoviePlayer::Play() {
  if (!m_pGraph) return;
  m_pGraph->SyncToShown();
  m_pGraph->ReleaseSteps();
  if (!ChangeState(GST_STATE_PLAYING)) ShowPlayerError("Failed to play");
}

void CMoviePlayer::Pause() {
  if (!m_pGraph) return;
  if (!ChangeState(GST_STATE_PAUSED)) ShowPlayerError("Failed to pause");
}

void CMoviePlayer::Stop() {
  if (!m_pGraph) return;
  DropPrepared();
  // Paused rather than torn down: the picture stays and Play goes on from here.
  if (!ChangeState(GST_STATE_PAUSED)) ShowPlayerError("Failed to stop");
}

BOOL CMoviePlayer::IsRunning() {
  return m_pGraph && m_pGraph->IsRunning() ? TRUE : FALSE;
}

BOOL CMoviePlayer::CheckComplete() {
  if (!m_pGraph) return TRUE;
  return m_pGraph->TakeCompletion() ? TRUE : FALSE;
}

long CMoviePlayer::GetCurrentPosition() {
  if (!m_pGraph) return 0;
  // While seeks are being decoded the position is where the last one goes.
  if (const auto ns = m_pGraph->PositionGoingTo()) return static_cast<long>(*ns / 1000000);
  std::int64_t ns = 0;
  if (!QueryPosition(ns)) {
    ShowPlayerError("Failed to get play position");
    return 0;
  }
  return static_cast<long>(ns / 1000000);
}

void CMoviePlayer::Seek(std::int64_t ns) {
  if (m_pGraph) m_pGraph->Seek(ns, m_dRate);
}

void CMoviePlayer::SetCurrentPosition(long ms) {
  if (!m_pGraph) return;
  DropPrepared();
  if (ms >= 0 && m_pGraph->StepWhilePaused(ms)) return;
  Seek(std::int64_t(ms) * 1000000);
}

BOOL CMoviePlayer::StepFrame(int nFrames) {
  if (!m_pGraph || IsAudioOnly() || m_pGraph->RequestedState() != GST_STATE_PAUSED) return FALSE;
  // A stream without a rate of its own (variable, or unknown) is taken as 30
  // frames a second: a step then shows the next picture or the one after.
  std::int64_t frameNs = m_pGraph->FrameDurationNs();
  if (frameNs <= 0) frameNs = GST_SECOND / 30;
  std::int64_t baseNs;
  if (const auto going = m_pGraph->PositionGoingTo())
    baseNs = *going;
  else if (const std::int64_t shownMs = m_pGraph->ShownTimeMs(); shownMs >= 0)
    baseNs = shownMs * GST_MSECOND;
  else
    return FALSE;
  // Frame k shows from k frame times on; a shown time is in whole
  // milliseconds, a target sits in the middle of its frame, so both count
  // as their frame. The target is the middle of the frame wanted, which
  // any rounding of the position still finds.
  const std::int64_t index = (baseNs + GST_MSECOND) / frameNs + nFrames;
  std::int64_t targetMs = (index * frameNs + frameNs / 2) / GST_MSECOND;
  const long duration = GetDuration();
  if (duration > 0) targetMs = std::min<std::int64_t>(targetMs, duration - 1);
  SetCurrentPosition(static_cast<long>(std::max<std::int64_t>(targetMs, 0)));
  return TRUE;
}

long CMoviePlayer::GetDuration() {
  if (!m_pGraph) return 0;
  std::int64_t ns = 0;
  if (!QueryDuration(ns)) {
    ShowPlayerError("Failed to get movie duration");
    return 0;
  }
  return static_cast<long>(ns / 1000000);
}

BOOL CMoviePlayer::ShiftPlayback(long ms) {
  if (!m_pGraph || !IsRunning()) return FALSE;
  GstElement* pipeline = m_pGraph->Pipeline();
  const GstClockTime base = gst_element_get_base_time(pipeline);
  // Movie time passes m_dRate times as fast as the clock's.
  const GstClockTimeDiff shift = GstClockTimeDiff(double(ms) / m_dRate * GST_MSECOND);
  if (!GST_CLOCK_TIME_IS_VALID(base) || (shift < 0 && GstClockTime(-shift) > base)) return FALSE;
  GstClockTime moved = base + shift;
  // The pipeline hands its base time to every element only when it starts
  // playing; a change while it plays has to reach each element the same way.
  gst_element_set_base_time(pipeline, moved);
  vantor::GstPtr<GstIterator> elements(gst_bin_iterate_recurse(GST_BIN(pipeline)));
  gst_iterator_foreach(
      elements.get(),
      [](const GValue* item, gpointer time) {
        gst_element_set_base_time(GST_ELEMENT(g_value_get_object(item)),
                                  *static_cast<GstClockTime*>(time));
      },
      &moved);
  return TRUE;
}

BOOL CMoviePlayer::SetRate(double dRate) {
  if (!m_pGraph || !(dRate > 0.0)) return FALSE;
  if (dRate == m_dRate) return TRUE;
  // A step shown at 0:00 is a position like any other: only with no step on
  // screen and no seek under way does the pipeline know where it stands.
  std::int64_t ns = 0;
  if (const auto goingTo = m_pGraph->PositionGoingTo())
    ns = *goingTo;
  else if (!QueryPosition(ns))
    ns = 0;
  m_dRate = dRate;
  DropPrepared();
  Seek(ns);
  return TRUE;
}

double CMoviePlayer::AudioVolumeToLinear(long nVolume) {
  return std::pow(10.0, double(nVolume) / 2000.0);
}

long CMoviePlayer::LinearToAudioVolume(double dLinear) {
  if (!(dLinear > 0.0)) return -10000;
  const long v = std::lround(2000.0 * std::log10(dLinear));
  return std::clamp(v, -10000L, 0L);
}

void CMoviePlayer::PutAudioVolume(long nVolume) {
  if (!m_pGraph || !m_pGraph->HasAudio()) return;
  if (nVolume < -10000 || nVolume > 0) return;
  g_object_set(m_pGraph->Volume(), "volume", AudioVolumeToLinear(nVolume), nullptr);
  if (m_pNext && m_pNext->HasAudio())
    g_object_set(m_pNext->Volume(), "volume", AudioVolumeToLinear(nVolume), nullptr);
}

long CMoviePlayer::GetAudioVolume() {
  if (!m_pGraph || !m_pGraph->HasAudio()) return -10000;
  double linear = 0;
  g_object_get(m_pGraph->Volume(), "volume", &linear, nullptr);
  return LinearToAudioVolume(linear);
}

void CMoviePlayer::SetVolume(int nPercent) {
  if (!m_pGraph || !m_pGraph->HasAudio()) return;
  PutAudioVolume(100L * nPercent - 10000);
}

int CMoviePlayer::GetVolume() {
  long v = -10000;
  if (m_pGraph && m_pGraph->HasAudio()) v = GetAudioVolume();
  return static_cast<int>((v + 10000) / 100);
}

void CMoviePlayer::Mute(BOOL bMute) {
  if (!m_pGraph || !m_pGraph->HasAudio()) return;
  if (bMute) {
    // Muting twice must not remember silence as the volume to come back to.
    if (!IsMuted()) {
      m_nVolume = GetVolume();
      SetVolume(0);
    }
  } else if (IsMuted()) {
    SetVolume(m_nVolume);
  }
}

void CMoviePlayer::ShowVideo(BOOL bShow) {
  if (!m_pGraph || !m_pGraph->HasVideo() || IsAudioOnly()) return;
  if (m_pOwner && !m_pOwner->ShowVideoWindow(bShow != FALSE))
    ShowPlayerError("Failed to show or hide video window");
}

void CMoviePlayer::SetVideoPosition(VideoRect rc) {
  if (!m_pGraph || !m_pGraph->HasVideo() || IsAudioOnly()) return;
  m_rcVideo = rc;
  if (!m_pOwner) return;
  if (!m_pOwner->PlaceVideo(rc)) {
    ShowPlayerError("Failed to set play position");
    return;
  }
  UpdateRenderSize();
}

BOOL CMoviePlayer::EnterFullScreen() {
  if (!m_pGraph) return FALSE;
  // A movie with sound only keeps the wish: the next movie with a picture
  // opens in full screen.
  m_bFullScreen = TRUE;
  if (!m_pGraph->HasVideo() || !m_pOwner || IsAudioOnly()) return FALSE;
  const bool ok = m_pOwner->SetFullScreen(true);
  UpdateRenderSize();
  return ok ? TRUE : FALSE;
}

BOOL CMoviePlayer::LeaveFullScreen() {
  if (!m_pGraph) return FALSE;
  m_bFullScreen = FALSE;
  if (!m_pGraph->HasVideo() || !m_pOwner || IsAudioOnly()) return FALSE;
  const bool ok = m_pOwner->SetFullScreen(false);
  UpdateRenderSize();
  return ok ? TRUE : FALSE;
}

std::int64_t CMoviePlayer::GetShownFrameTime() const {
  return m_pGraph ? m_pGraph->ShownTimeMs() : -1;
}

std::uint64_t CMoviePlayer::GetStepCacheHits() const {
  return m_pGraph ? m_pGraph->StepCacheHits() : 0;
}

std::uint64_t CMoviePlayer::GetFramesPresented() const {
  return m_pGraph ? m_pGraph->FramesPresented() : 0;
}

std::unique_ptr<std::uint8_t[]> CMoviePlayer::GetCurrentImage(long* pcbSize) {
  if (pcbSize) *pcbSize = 0;
  if (!m_pGraph) return nullptr;
  return m_pGraph->CurrentImage(pcbSize);
}
