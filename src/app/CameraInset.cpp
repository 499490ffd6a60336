#include "app/CameraInset.h"

#include <algorithm>
#include <cstdlib>

#include "player/VideoPane.h"

namespace {

// How often the inset looks at the main player. Short enough that a pause or
// a step shows in both pictures together.
constexpr int kFollowMs = 40;
// The drift allowed on a seek to catch up: one frame at 30 fps.
constexpr long kMaxDriftMs = 33;
// While both play, a drift over half a frame is taken out by moving the
// inset's clock, up to a second of it.
constexpr long kNudgeMs = 16;
constexpr long kMaxShiftMs = 1000;
// How long the inset's own clip may go on after the main one has gone over a
// join before the inset gives up waiting and opens its next clip.
constexpr auto kJoinWait = std::chrono::seconds(1);

}  // namespace

CCameraInset::CCameraInset(CVideoPane* mainPane, CMoviePlayer& mainPlayer)
    : m_pMainPane(mainPane), m_main(mainPlayer), m_pPlayer(std::make_unique<CMoviePlayer>()) {
  m_pPane = new CVideoPane(mainPane, wxID_ANY, wxRect(0, 0, 1, 1));
  m_pPane->SetName("CameraInset");
  m_pPane->Hide();
  // A click swaps the cameras; the keys stay with whatever had them.
  m_pPane->SetCanFocus(false);
  m_pPane->Bind(wxEVT_LEFT_UP, &CCameraInset::OnClick, this);
  m_pMainPane->Bind(wxEVT_SIZE, &CCameraInset::OnMainSize, this);
  m_timer.SetOwner(this);
  Bind(wxEVT_TIMER, &CCameraInset::OnTimer, this);
}

CCameraInset::~CCameraInset() {
  m_timer.Stop();
  m_pPlayer->Close();
  m_pMainPane->Unbind(wxEVT_SIZE, &CCameraInset::OnMainSize, this);
  m_pPane->Unbind(wxEVT_LEFT_UP, &CCameraInset::OnClick, this);
  m_pPane->Destroy();
}

bool CCameraInset::IsOpen() const {
  return m_pPlayer->IsOpen() != FALSE;
}

bool CCameraInset::Open(const std::string& path) {
  Close();
  if (!m_pPlayer->Open(path, m_pPane, VideoRect{0, 0, 160, 90}) || m_pPlayer->IsAudioOnly()) {
    m_pPlayer->Close();
    return false;
  }
  m_path = path;
  // The sound is the main camera's.
  m_pPlayer->Mute(TRUE);
  m_bPlaying = false;
  m_nPausedAt = -1;
  Place();
  Follow();
  m_timer.Start(kFollowMs);
  return true;
}

void CCameraInset::Close() {
  m_timer.Stop();
  m_joinPath.clear();
  m_refusedPath.clear();
  if (m_pPlayer->IsOpen()) m_pPlayer->Close();
  m_pPane->Hide();
  m_path.clear();
  m_bPlaying = false;
}

bool CCameraInset::PrepareNext(const std::string& path) {
  if (!IsOpen() || path == m_refusedPath) return false;
  if (m_pPlayer->PrepareNext(path)) return true;
  m_refusedPath = path;
  return false;
}

std::string CCameraInset::GetPreparedPath() const {
  return m_pPlayer->GetPreparedPath();
}

bool CCameraInset::FollowJoin(const std::string& path) {
  if (!IsOpen() || path.empty() || m_pPlayer->GetPreparedPath() != path) return false;
  m_joinPath = path;
  m_joinSince = std::chrono::steady_clock::now();
  Follow();
  return true;
}

bool CCameraInset::TakeJoin() {
  if (m_pPlayer->TakeHandover()) {
    m_path = std::move(m_joinPath);
    m_joinPath.clear();
    m_refusedPath.clear();
    m_nLeadMs = 0;
    Place();
    return true;
  }
  // The two cameras' clips end within moments of each other; a rear clip that
  // runs on (or a pause at the join) gets its next clip opened instead.
  if (m_pPlayer->IsRunning() && std::chrono::steady_clock::now() - m_joinSince < kJoinWait)
    return false;
  const std::string path = std::move(m_joinPath);
  m_joinPath.clear();
  Open(path);
  return false;
}

void CCameraInset::CycleCorner() {
  m_corner = static_cast<Corner>((m_corner + 1) % kCornerCount);
  Place();
}

void CCameraInset::Place() {
  if (!IsOpen() || m_corner == Hidden) {
    m_pPane->Hide();
    return;
  }
  const wxSize area = m_pMainPane->GetClientSize();
  const int vw = std::max(1, m_pPlayer->GetVideoWidth());
  const int vh = std::max(1, m_pPlayer->GetVideoHeight());
  // A quarter of the pane's width, at the inset movie's own shape, so that its
  // picture needs no bars of its own.
  const int w = std::max(16, area.GetWidth() / 4);
  const int h = std::max(9, w * vh / vw);
  const int margin = std::max(4, area.GetWidth() / 80);
  const bool right = m_corner == BottomRight || m_corner == TopRight;
  const bool bottom = m_corner == BottomRight || m_corner == BottomLeft;
  const int x = right ? area.GetWidth() - w - margin : margin;
  const int y = bottom ? area.GetHeight() - h - margin : margin;
  m_pPlayer->SetVideoPosition(VideoRect{x, y, x + w, y + h});
  m_pPane->Show();
  m_pPane->Raise();
}

void CCameraInset::Follow() {
  if (!IsOpen()) return;
  if (!m_main.IsOpen()) {
    Close();
    return;
  }
  if (!m_joinPath.empty() && !TakeJoin()) return;
  // Near a join the main clock restarts with the next clip a moment before or
  // after the inset's own does: a correction then would seek the wrong clip.
  if (m_bPlaying && m_main.IsRunning() && !m_pPlayer->GetPreparedPath().empty()) return;
  if (m_main.GetRate() != m_pPlayer->GetRate()) m_pPlayer->SetRate(m_main.GetRate());
  const long mainPos = m_main.GetCurrentPosition();
  if (!m_main.IsRunning()) {
    if (m_bPlaying) m_pPlayer->Pause();
    m_bPlaying = false;
    // Paused, stepped or playing backwards: the same picture in both.
    if (mainPos != m_nPausedAt) m_pPlayer->SetCurrentPosition(mainPos);
    m_nPausedAt = mainPos;
    return;
  }
  m_nPausedAt = -1;
  if (!m_bPlaying) {
    if (std::labs(m_pPlayer->GetCurrentPosition() - mainPos) > kMaxDriftMs)
      m_pPlayer->SetCurrentPosition(mainPos);
    m_pPlayer->Play();
    m_bPlaying = true;
    return;
  }
  const long drift = m_pPlayer->GetCurrentPosition() - mainPos;
  if (std::labs(drift) <= kNudgeMs) return;
  // A small drift moves the inset's clock, which shows no stall; only a
  // large one (after a stall of either player) takes a seek.
  if (std::labs(drift) <= kMaxShiftMs && m_pPlayer->ShiftPlayback(drift)) return;
  // A seek while playing lands late by the time it takes; aim that much
  // ahead, learnt from how far off the previous correction came out.
  m_nLeadMs = std::clamp(m_nLeadMs - drift / 2, 0L, 500L);
  m_pPlayer->SetCurrentPosition(mainPos + m_nLeadMs);
}

void CCameraInset::OnMainSize(wxSizeEvent& event) {
  Place();
  event.Skip();  // the pane's own handler scales its picture
}

void CCameraInset::OnClick(wxMouseEvent& event) {
  event.Skip();
  if (m_onClick) m_pMainPane->CallAfter(m_onClick);
}

void CCameraInset::OnTimer(wxTimerEvent&) {
  Follow();
}
