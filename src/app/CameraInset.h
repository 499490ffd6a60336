#pragma once
// The second camera of a clip (the rear one, most often), shown small in a
// corner of the video pane while the main camera fills it. It has a player of
// its own that follows the main one: play, pause, rate, seeks and steps show
// up in the inset within a tick of its timer, and a drift of more than a
// frame while both play is taken out by a seek.
//
//   m_pInset = std::make_unique<CCameraInset>(m_pVideoPane, m_Player);
//   m_pInset->Open(rearPath);            // after m_Player opened the front
//   m_pInset->CycleCorner();             // Tab
//   m_pInset->Close();                   // before the main player closes
#include <wx/timer.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "player/MoviePlayer.h"

class CVideoPane;

class CCameraInset : public wxEvtHandler {
 public:
  // Where the inset sits; Hidden keeps it playing without showing it, so that
  // it is in step the moment it comes back.
  enum Corner { BottomRight, BottomLeft, TopLeft, TopRight, Hidden, kCornerCount };

  CCameraInset(CVideoPane* mainPane, CMoviePlayer& mainPlayer);
  ~CCameraInset() override;

  // Opens the other camera's movie at the main player's position; false when
  // it cannot be played (the main camera then plays alone).
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const;
  const std::string& GetPath() const { return m_path; }

  // The other camera of the next clip of a drive, prerolled beside the
  // playing one so that the inset goes over the join with the main picture.
  bool PrepareNext(const std::string& path);
  std::string GetPreparedPath() const;
  // The main picture has gone over the join: the inset goes on with the clip
  // prepared for `path` once its own clip has ended. False when nothing was
  // prepared for it (the caller then opens it).
  bool FollowJoin(const std::string& path);

  // Tab: the next corner, then hidden, then the first corner again.
  void CycleCorner();
  Corner GetCorner() const { return m_corner; }
  // Called when the inset is clicked (the window swaps the cameras).
  void SetOnClick(std::function<void()> onClick) { m_onClick = std::move(onClick); }

  // Brings the inset to the main player's state and position now; the timer
  // does this every few dozen milliseconds.
  void Follow();

  // For tests and the benchmark.
  CMoviePlayer& GetPlayer() { return *m_pPlayer; }
  CVideoPane* GetPane() const { return m_pPane; }

 private:
  void Place();
  void OnMainSize(wxSizeEvent& event);
  void OnClick(wxMouseEvent& event);
  void OnTimer(wxTimerEvent& event);
  bool TakeJoin();

  CVideoPane* m_pMainPane;
  CMoviePlayer& m_main;
  CVideoPane* m_pPane = nullptr;  // a child of the main pane
  std::unique_ptr<CMoviePlayer> m_pPlayer;
  std::string m_path;
  Corner m_corner = BottomRight;
  wxTimer m_timer;
  std::function<void()> m_onClick;
  bool m_bPlaying = false;
  long m_nPausedAt = -1;  // the main position last followed while paused
  long m_nLeadMs = 0;     // how far ahead a correcting seek aims: its own delay
  std::string m_joinPath;  // the clip the inset is going over to
  std::string m_refusedPath;  // a next clip that could not be prepared
  std::chrono::steady_clock::time_point m_joinSince;
};
