#pragma once
// CVideoPane: the child window of the main window in which the player's
// pictures are painted. The player's streaming thread drops each new frame in
// a locked slot and asks for a repaint through CallAfter; painting happens on
// the GUI thread straight from the frame's own pixels (no copy, no scaling
// unless the pane's size just changed). Full screen moves the same pane into
// a borderless full-screen frame and back.
//
//   m_pVideoPane = new CVideoPane(this, wxID_ANY, wxRect(50, 40, 575, 390));
//   m_Player.Open(path, m_pVideoPane, VideoRect{50, 40, 625, 430});
//
// A double click in the pane and the keys pressed while it (or its
// full-screen frame) has the focus go on to the parent window, so the main
// window's handlers see them as their own (its coordinates).
#include <wx/frame.h>
#include <wx/window.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "player/MoviePlayer.h"

class CVideoPane : public wxWindow, public IVideoOutput {
 public:
  CVideoPane(wxWindow* parent, wxWindowID id, const wxRect& rect);
  ~CVideoPane() override;

  // IVideoOutput
  void PresentFrame(VideoFramePtr frame) override;
  bool PlaceVideo(const VideoRect& rc) override;
  bool ShowVideoWindow(bool bShow) override;
  bool SetFullScreen(bool bFullScreen) override;
  void GetShownSize(int& width, int& height) const override;
  void ClearVideo() override;

  bool IsInFullScreen() const { return m_pFullFrame != nullptr; }
  wxWindow* GetHomeParent() const { return m_pHome; }
  // Statistics for tests and benchmarks: frames received from the player,
  // distinct frames painted, and the movie time of the frame last painted (-1
  // when none).
  std::uint64_t GetFramesReceived() const { return m_nReceived.load(); }
  std::uint64_t GetFramesPainted() const { return m_nPainted.load(); }
  std::int64_t GetPaintedFrameTime() const { return m_nPaintedTime.load(); }

 private:
  void GTKHandleRealized() override;
  void OnPaint(wxPaintEvent& event);
  void OnSize(wxSizeEvent& event);
  void OnMouse(wxMouseEvent& event);
  void OnKey(wxKeyEvent& event);
  void OnFullFrameKey(wxKeyEvent& event);
  void OnFullFrameClose(wxCloseEvent& event);

  wxWindow* m_pHome;                // the window the pane belongs in
  wxRect m_rcHome;                  // its place there
  wxFrame* m_pFullFrame = nullptr;  // while in full screen

  std::mutex m_mutex;        // guards the two below
  VideoFramePtr m_pPending;  // newest frame, not painted yet
  bool m_bRefreshQueued = false;
  VideoFramePtr m_pShown;  // GUI thread only
  std::atomic<std::uint64_t> m_nReceived{0};
  std::atomic<std::uint64_t> m_nPainted{0};
  std::atomic<std::int64_t> m_nPaintedTime{-1};
};
