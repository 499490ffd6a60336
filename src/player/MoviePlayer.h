#pragma once
// CMoviePlayer plays one movie file at a time through a GStreamer pipeline and
// hands its pictures to a video output (the main window's video pane). It has
// no window of its own and works without any output at all (tests, command
// line).
//
// Typical use from the main window (all calls on the GUI thread):
//
//   CVideoPane* pane = new CVideoPane(this, wxID_ANY, wxRect(50, 40, 575, 390));
//   VideoRect rc{50, 40, 625, 430};            // left, top, right, bottom
//   if (m_Player.Open(path, pane, rc)) {       // stopped on its first frame
//     long ms = m_Player.GetDuration();
//     m_Player.SetVolume(volume);
//     m_Player.Play();
//   }
//   ... m_Player.CheckComplete() / IsRunning() / GetCurrentPosition() from a timer ...
//   m_Player.Close();                          // before the pane goes away
//
// Result conventions: BOOL / HRESULT from common/Result.h; positions and
// durations in milliseconds; volume in percent 0..100. Failures of Play, Pause,
// Stop, GetCurrentPosition, GetDuration, SetVideoPosition and ShowVideo are
// shown to the user by the player itself (caption "Preview Player", through
// vantor::ShowMessageBox); callers show nothing. With no movie open every
// operation quietly does nothing.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Result.h"

class CMoviePlayer;

// A rectangle in the owner's client coordinates, edges as left/top/right/bottom.
struct VideoRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// One picture ready to be drawn: 32-bit pixels in memory order B, G, R, x (the
// layout of CAIRO_FORMAT_RGB24 and of a 32-bit DIB), already scaled to the size
// the output asked for. It holds the pipeline's own buffer; no copy is made.
class CVideoFrame {
 public:
  ~CVideoFrame();
  CVideoFrame(const CVideoFrame&) = delete;
  CVideoFrame& operator=(const CVideoFrame&) = delete;

  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  int Stride() const { return m_nStride; }
  const std::uint8_t* Pixels() const { return m_pPixels; }
  // Position of the frame in the movie, milliseconds.
  std::int64_t TimeMs() const { return m_nTimeMs; }

 private:
  friend struct VideoFrameAccess;
  CVideoFrame() = default;

 public:
  struct Mapping;  // opaque: the pipeline buffer behind the pixels

 private:
  std::unique_ptr<Mapping> m_pMapping;
  int m_nWidth = 0;
  int m_nHeight = 0;
  int m_nStride = 0;
  const std::uint8_t* m_pPixels = nullptr;
  std::int64_t m_nTimeMs = 0;
};
using VideoFramePtr = std::shared_ptr<const CVideoFrame>;

// Where the player shows its pictures: implemented by the GUI's video pane.
// PresentFrame is called on a GStreamer streaming thread; everything else on
// the GUI thread.
class IVideoOutput {
 public:
  virtual ~IVideoOutput() = default;

  // Streaming thread: keep the frame and arrange for it to be painted on the
  // output's own thread. Must not block and must not touch GUI objects.
  virtual void PresentFrame(VideoFramePtr frame) = 0;
  // Place the video at `rc` (owner client coordinates) while not full screen.
  virtual bool PlaceVideo(const VideoRect& rc) = 0;
  virtual bool ShowVideoWindow(bool bShow) = 0;
  // Show the video over the whole screen, or put it back at its place.
  virtual bool SetFullScreen(bool bFullScreen) = 0;
  // The size, in pixels, frames should have to be drawn without scaling.
  virtual void GetShownSize(int& width, int& height) const = 0;
  // The player lets go of the output: forget the last frame.
  virtual void ClearVideo() = 0;

 protected:
  // Implementations call this first thing in their destructor, so that no
  // frame arrives while the object is half destroyed.
  void DetachFromPlayer();
  // Implementations call this when their shown size changed (window resized,
  // full screen reached), so the player scales to the new size.
  void NotifyShownSizeChanged();

 private:
  friend class CMoviePlayer;
  CMoviePlayer* m_pAttachedPlayer = nullptr;  // GUI thread only
};

class CMoviePlayer {
 public:
  CMoviePlayer();
  virtual ~CMoviePlayer();
  CMoviePlayer(const CMoviePlayer&) = delete;
  CMoviePlayer& operator=(const CMoviePlayer&) = delete;

  // Opens `path` (native file name, UTF-8) and prerolls it: when TRUE comes
  // back the duration and the video size are known, the first frame has been
  // handed to `owner` (may be null) at `rcVideo`, and the movie is not
  // running. An empty path closes the player and returns TRUE. FALSE when the
  // file cannot be played; no message is shown. Re-enters full screen when it
  // was on.
  BOOL Open(const std::string& path, IVideoOutput* owner, VideoRect rcVideo);
  // Stops and releases the movie; the full-screen flag and the volume stay.
  HRESULT Close();

  // Playing across the join of two clips: while the open movie plays, the
  // next one is opened and prerolled beside it, silent and off screen, at
  // the output's size, the rate and the volume of this one. When this movie
  // ends, the next one starts on the spot (from a streaming thread, so no
  // timer stands between the two), its first picture going to the output
  // that still shows the last one, so the pane is never blank.
  //
  //   if (m_Player.GetDuration() - m_Player.GetCurrentPosition() < 3000)
  //     m_Player.PrepareNext(nextPath);
  //   ... on the timer, before CheckComplete:
  //   if (m_Player.TakeHandover()) { /* the next clip is the open movie now */ }
  //
  // The clip is opened and prerolled on a thread of its own, so the window
  // goes on painting meanwhile. A seek, Stop, SetRate, Close and Open drop
  // the prepared clip. FALSE when nothing is open, and when the clip was tried
  // before and could not be played.
  BOOL PrepareNext(const std::string& path);
  // The clip waiting for the handover, or being prepared for it; empty when
  // none (a preparation that failed leaves none).
  std::string GetPreparedPath();
  void DropPrepared();
  // TRUE once the open movie has ended and the prepared clip took over: it
  // is the open movie from now on (path, duration, position, frames).
  BOOL TakeHandover();
  // The path of the open movie; empty when none.
  std::string GetPath() const;

  void Play();
  void Pause();
  // Halts playback and keeps the position and the picture shown.
  void Stop();
  BOOL IsOpen() const { return m_bOpen; }
  // TRUE when playing; waits up to 500 ms for a state change in progress.
  BOOL IsRunning();
  // Takes every pending pipeline message without waiting; TRUE when the movie
  // reached its end (or failed for good) and when nothing is open.
  BOOL CheckComplete();

  long GetCurrentPosition();
  // Seeks accurately. While an earlier seek is still being decoded, only the
  // newest target is kept, so a slider dragged fast never queues up seeks.
  // While paused with an output, the frames decoded on the way to a target
  // are kept at the shown size, so stepping back through them is a lookup.
  void SetCurrentPosition(long ms);
  long GetDuration();
  // While paused: shows the frame nFrames away from the one shown (or from
  // the one a step still being decoded goes to), exactly, within the movie.
  // FALSE when not paused or without a picture.
  BOOL StepFrame(int nFrames);
  // 1.0 normal, 2.0 fast forward (the sound keeps its pitch). TRUE on success.
  BOOL SetRate(double dRate);
  double GetRate() const { return m_dRate; }
  // While playing: holds the movie back by ms of movie time (hurries it on
  // when negative) without a seek, so a picture that keeps step with another
  // player's is corrected with no stall. FALSE when not playing.
  BOOL ShiftPlayback(long ms);

  void SetVolume(int nPercent);
  int GetVolume();
  BOOL IsMuted() { return GetVolume() == 0; }
  void Mute(BOOL bMute);

  void ShowVideo(BOOL bShow);
  void SetVideoPosition(VideoRect rc);
  BOOL EnterFullScreen();
  BOOL LeaveFullScreen();
  BOOL IsFullScreen() const { return m_bFullScreen; }

  // The frame on screen at the video's own size as a packed DIB: a 40-byte
  // BITMAPINFOHEADER (24 bits per pixel, no compression) followed by the rows
  // bottom-up, each padded to 4 bytes. Null without a video frame. The caller
  // owns the block; *pcbSize receives its size (0 on failure).
  std::unique_ptr<std::uint8_t[]> GetCurrentImage(long* pcbSize);

  BOOL IsAudioOnly() const { return m_nVideoWidth == 0; }
  int GetVideoWidth() const { return m_nVideoWidth; }
  int GetVideoHeight() const { return m_nVideoHeight; }

  // Audio volume in hundredths of a decibel, -10000 (silence) .. 0 (full), as
  // the percentages above map onto it. Out-of-range values are refused.
  void PutAudioVolume(long nVolume);
  long GetAudioVolume();
  static double AudioVolumeToLinear(long nVolume);
  static long LinearToAudioVolume(double dLinear);

  // For tests and benchmarks: the movie position of the last frame handed out
  // (-1 when none), how many frames went out since Open, which rendering
  // strategies were tried by the last Open and with what result, and which
  // audio sink this process plays through ("fakesink" without a sound device).
  std::int64_t GetShownFrameTime() const;
  std::uint64_t GetFramesPresented() const;
  // Paused seeks served from frames decoded for an earlier step.
  std::uint64_t GetStepCacheHits() const;
  struct RenderAttempt {
    std::string name;
    HRESULT hr;
  };
  const std::vector<RenderAttempt>& GetRenderAttempts() const { return m_attempts; }
  static std::string AudioSinkName();

  // The output is going away (called through IVideoOutput::DetachFromPlayer).
  void DetachOutput(IVideoOutput* output);

  // The pipeline of the open movie (opaque outside the player).
  struct Graph;

 protected:
  // The rendering strategies, tried in this order by Open. Each builds its
  // own source part into `graph` and prerolls it before `deadline`.
  HRESULT RenderWmv(const std::string& path, Graph& graph);
  HRESULT RenderFile(const std::string& path, Graph& graph);
  HRESULT RenderAvi(const std::string& path, Graph& graph);
  HRESULT RenderWithAsyncReader(const std::string& path, Graph& graph);

  // Pipeline operations whose failures reach the user; virtual so tests can
  // make them fail.
  virtual bool ChangeState(int gstState);
  virtual bool QueryPosition(std::int64_t& ns);
  virtual bool QueryDuration(std::int64_t& ns);

  static void ShowPlayerError(const char* english);

 private:
  void DestroyGraph();
  // A fresh pipeline for one attempt of Open, frames scaled to width x height
  // (0 x 0: as decoded) and handed to `output` (may be null).
  std::unique_ptr<Graph> NewGraph(IVideoOutput* output, int width, int height,
                                  std::chrono::steady_clock::time_point deadline);
  // Tries the rendering strategies in order; null when none plays `path`.
  std::unique_ptr<Graph> BuildGraph(const std::string& path, IVideoOutput* output, int width,
                                    int height, std::vector<RenderAttempt>& attempts);
  struct Handoff;
  struct Preparation;
  // Takes over the preparation once its thread has finished; `wait` waits
  // for it.
  void CollectPrepared(bool wait);
  void ReapAbandoned(bool wait);
  HRESULT SetOwnerWindow(IVideoOutput* owner);
  void UpdateRenderSize();
  void Seek(std::int64_t ns);
  void OnOutputResized(IVideoOutput* output);
  friend class IVideoOutput;

  int m_nVideoWidth = 0;
  int m_nVideoHeight = 0;
  BOOL m_bOpen = FALSE;
  BOOL m_bFullScreen = FALSE;
  int m_nVolume = 100;
  std::unique_ptr<Graph> m_pGraph;
  IVideoOutput* m_pOwner = nullptr;
  VideoRect m_rcVideo;
  double m_dRate = 1.0;
  std::vector<RenderAttempt> m_attempts;
  // The clip prepared for the join, what starts it, and the clip it
  // replaced (let go of later, not in the middle of the join).
  std::unique_ptr<Graph> m_pNext;
  std::shared_ptr<Handoff> m_pHandoff;
  std::vector<RenderAttempt> m_nextAttempts;
  std::unique_ptr<Graph> m_pRetired;
  // The preparation under way, those dropped while their thread still ran,
  // and the last clip whose preparation failed (not tried again).
  std::unique_ptr<Preparation> m_pPreparing;
  std::vector<std::unique_ptr<Preparation>> m_abandoned;
  std::string m_strPrepareFailed;
};
