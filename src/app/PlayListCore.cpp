#include "app/PlayListCore.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/Utf8.h"

CPlayListCore::CPlayListCore() = default;

CPlayListCore::~CPlayListCore() {
  // The rows' window may already be gone, and a closing window has no use for
  // row updates anyway.
  m_pMirror = nullptr;
  RemoveAll();
}

std::string CPlayListCore::DisplayNameOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t start = (slash == std::string_view::npos) ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  // A dot in a folder name lies before the name's start and cuts nothing.
  const std::size_t end = (dot != std::string_view::npos && dot >= start) ? dot : path.size();
  // The name is shown, and a file name on Linux is bytes: what is not UTF-8
  // shows as replacement characters rather than as nothing.
  return vantor::ToValidUtf8(path.substr(start, end - start));
}

IPlayListMirror* CPlayListCore::LiveMirror() const {
  return (m_pMirror && m_pMirror->IsAlive()) ? m_pMirror : nullptr;
}

CPlayListNode* CPlayListCore::NodeAt(int nIndex) const {
  if (nIndex >= m_nCount) return nullptr;
  if (nIndex > m_nCount / 2) {
    // From the tail: RemoveAll and the last rows are then no walk at all.
    CPlayListNode* p = m_pTail;
    for (int i = m_nCount - 1; i > nIndex && p; --i) p = p->pPrev;
    return p;
  }
  CPlayListNode* p = m_pHead.get();
  for (int i = 0; i < nIndex && p; ++i) p = p->pNext.get();
  return p;
}

std::unique_ptr<CPlayListNode> CPlayListCore::Unlink(CPlayListNode* pNode) {
  std::unique_ptr<CPlayListNode>& owner = pNode->pPrev ? pNode->pPrev->pNext : m_pHead;
  std::unique_ptr<CPlayListNode> taken = std::move(owner);
  owner = std::move(taken->pNext);
  if (owner)
    owner->pPrev = taken->pPrev;
  else
    m_pTail = taken->pPrev;
  taken->pPrev = nullptr;
  auto forget = [&](const std::string& path) {
    if (auto it = m_keyCount.find(path); it != m_keyCount.end() && --it->second <= 0)
      m_keyCount.erase(it);
  };
  forget(taken->pszPath);
  for (const std::string& path : taken->otherChannels) forget(path);
  --m_nCount;
  return taken;
}

void CPlayListCore::RenumberRows(IPlayListMirror* pMirror, int nFrom) {
  const int rows = pMirror->GetRowCount();
  for (int i = nFrom < 0 ? 0 : nFrom; i < rows; ++i)
    pMirror->SetRowNumber(i, std::to_string(i + 1));
}

void CPlayListCore::Regroup(CPlayListNode* p, bool untilSettled) {
  for (; p; p = p->pNext.get()) {
    const CPlayListNode* prev = p->pPrev;
    const int drive =
        !prev
            ? 0
            : prev->nDrive +
                  (vantor::ContinuesDrive(prev->pszPath, prev->span, p->pszPath, p->span) ? 0 : 1);
    if (untilSettled && drive == p->nDrive) return;
    p->nDrive = drive;
  }
}

BOOL CPlayListCore::Add(const char* pszPath) {
  if (!pszPath || !*pszPath) return FALSE;
  return Add(pszPath, vantor::QuickClipSpan(pszPath));
}

BOOL CPlayListCore::Add(const char* pszPath, const vantor::ClipSpan& span) {
  if (!pszPath || !*pszPath) return FALSE;
  vantor::ClipChannels clip;
  clip.paths[0] = pszPath;
  return Add(clip, span);
}

BOOL CPlayListCore::Add(const vantor::ClipChannels& clip, const vantor::ClipSpan& span) {
  if (clip.Main().empty()) return FALSE;
  auto node = std::make_unique<CPlayListNode>();
  node->pszPath = clip.Main();
  node->pszName = DisplayNameOf(node->pszPath);
  node->span = span;
  node->otherChannels = clip.Others();
  node->strRemark = clip.Remark();
  if (node->pszName.empty()) return FALSE;  // ".mov" alone, or a folder ("…/")
  CPlayListNode* p = node.get();
  {
    std::lock_guard lock(m_cs);
    if (m_nCount == INT32_MAX) return FALSE;
    p->pPrev = m_pTail;
    Regroup(p, false);
    (m_pTail ? m_pTail->pNext : m_pHead) = std::move(node);
    m_pTail = p;
    ++m_keyCount[p->pszPath];
    for (const std::string& path : p->otherChannels) ++m_keyCount[path];
    // An index past the end (after Stop, or the end of the list) stays past
    // the end rather than naming the new entry.
    if (m_nCurSel >= m_nCount && m_nCurSel < INT32_MAX) ++m_nCurSel;
    ++m_nCount;
  }
  if (IPlayListMirror* mirror = LiveMirror()) {
    const int n = mirror->GetRowCount();
    mirror->InsertRow(n, std::to_string(n + 1), p->pszName, p);
  }
  return TRUE;
}

int CPlayListCore::Find(const char* pszPath) const {
  if (!pszPath) return -1;
  const std::string key = pszPath;
  std::lock_guard lock(m_cs);
  if (!m_keyCount.contains(key)) return -1;
  int i = 0;
  for (const CPlayListNode* p = m_pHead.get(); p; p = p->pNext.get(), ++i) {
    if (p->pszPath == key ||
        std::find(p->otherChannels.begin(), p->otherChannels.end(), key) != p->otherChannels.end())
      return i;
  }
  return -1;
}

bool CPlayListCore::Contains(const char* pszPath) const {
  if (!pszPath) return false;
  std::lock_guard lock(m_cs);
  return m_keyCount.contains(pszPath);
}

const char* CPlayListCore::GetPath(int nIndex) const {
  std::lock_guard lock(m_cs);
  const CPlayListNode* p = NodeAt(nIndex);
  return p ? p->pszPath.c_str() : nullptr;
}

int CPlayListCore::GetDrive(int nIndex) const {
  std::lock_guard lock(m_cs);
  const CPlayListNode* p = nIndex < 0 ? nullptr : NodeAt(nIndex);
  return p ? p->nDrive : -1;
}

std::vector<std::string> CPlayListCore::GetOtherChannels(int nIndex) const {
  std::lock_guard lock(m_cs);
  const CPlayListNode* p = nIndex < 0 ? nullptr : NodeAt(nIndex);
  return p ? p->otherChannels : std::vector<std::string>();
}

const char* CPlayListCore::SetCurSel(int nIndex) {
  SetItemMark(m_nCurSel, ROWMARK_NONE);
  SetItemMark(nIndex, ROWMARK_PLAYING);
  m_nCurSel = nIndex;
  return GetPath(nIndex);
}

const char* CPlayListCore::GetNextPath() {
  // An index past the end stays there rather than wrapping round.
  return SetCurSel(m_nCurSel == INT32_MAX ? m_nCurSel : m_nCurSel + 1);
}

void CPlayListCore::SetItemMark(int nIndex, int nMark) {
  if (nIndex < 0 || nIndex >= m_nCount) return;
  IPlayListMirror* mirror = LiveMirror();
  if (!mirror || nIndex >= mirror->GetRowCount()) return;
  mirror->SetRowMark(nIndex, nMark);
}

BOOL CPlayListCore::RemoveAt(int nIndex) {
  std::unique_ptr<CPlayListNode> gone;
  {
    std::lock_guard lock(m_cs);
    if (nIndex < 0) return FALSE;
    CPlayListNode* p = NodeAt(nIndex);
    if (!p) return FALSE;
    CPlayListNode* after = p->pNext.get();
    gone = Unlink(p);
    Regroup(after, true);
    // The current index follows its entry, so its mark and the next advance
    // stay right.
    if (nIndex == m_nCurSel)
      m_nCurSel = -1;
    else if (nIndex < m_nCurSel)
      --m_nCurSel;
  }
  // The row goes before its entry does: the list control may still read the
  // row's remark (through its entry) while it deletes the row.
  if (IPlayListMirror* mirror = LiveMirror(); mirror && nIndex < mirror->GetRowCount()) {
    mirror->BeginUpdate();
    mirror->DeleteRow(nIndex);
    RenumberRows(mirror, nIndex);
    mirror->EndUpdate();
  }
  gone.reset();
  return TRUE;
}

void CPlayListCore::RemoveAll() {
  IPlayListMirror* mirror = LiveMirror();
  if (mirror) mirror->BeginUpdate();
  // From the tail: each removal then renumbers nothing.
  while (m_nCount != 0) RemoveAt(m_nCount - 1);
  if (mirror) mirror->EndUpdate();
}

BOOL CPlayListCore::RemoveSelected() {
  IPlayListMirror* mirror = LiveMirror();
  if (!mirror) return FALSE;
  std::lock_guard lock(m_cs);
  const int nSelected = mirror->GetSelectedCount();
  if (nSelected <= 0) return FALSE;

  std::vector<int> rows;
  rows.reserve(nSelected);
  for (int r = mirror->GetNextSelected(-1); r >= 0 && static_cast<int>(rows.size()) < nSelected;
       r = mirror->GetNextSelected(r)) {
    rows.push_back(r);
  }
  if (rows.empty()) return FALSE;

  // Rows and chain are in the same order: one walk finds every selected node.
  std::vector<CPlayListNode*> nodes(rows.size(), nullptr);
  {
    CPlayListNode* p = m_pHead.get();
    int i = 0;
    for (std::size_t k = 0; k < rows.size() && p; ++k) {
      while (p && i < rows[k]) p = p->pNext.get(), ++i;
      nodes[k] = p;
    }
  }

  BOOL bCurrentRemoved = FALSE;
  int nBefore = 0;
  for (int r : rows) {
    if (r == m_nCurSel)
      bCurrentRemoved = TRUE;
    else if (r < m_nCurSel)
      ++nBefore;
  }

  mirror->BeginUpdate();
  mirror->DeleteRows(rows);
  for (std::size_t k = rows.size(); k-- > 0;) {
    if (nodes[k]) Unlink(nodes[k]);
  }
  Regroup(m_pHead.get(), false);
  RenumberRows(mirror, rows.front());
  mirror->EndUpdate();

  if (bCurrentRemoved)
    m_nCurSel = -1;
  else
    m_nCurSel -= nBefore;
  return bCurrentRemoved;
}

int AddToPlayList(CPlayListCore& list, const char* pszPath) {
  const int nFound = list.Find(pszPath);
  if (nFound >= 0) return nFound;
  return list.Add(pszPath);
}

int AddPathsToPlayList(CPlayListCore& list, std::span<const std::string> paths) {
  // The new files: folders opened up, a clip's other cameras brought in,
  // listed and repeated paths left out.
  std::vector<std::string> files;
  std::unordered_set<std::string> seen;
  auto take = [&](const std::string& path) {
    if (list.Contains(path.c_str()) || !seen.insert(path).second) return;
    files.push_back(path);
    for (std::string& other : vantor::OtherChannelFiles(path))
      if (!list.Contains(other.c_str()) && seen.insert(other).second)
        files.push_back(std::move(other));
  };
  for (const std::string& path : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      take(path);
      continue;
    }
    std::vector<std::string> movies;
    std::string error;
    // A folder that cannot be read adds nothing, as a file that cannot.
    if (vantor::MoviesUnderFolder(path, movies, error))
      for (const std::string& movie : movies) take(movie);
  }
  const std::vector<vantor::ClipChannels> channels = vantor::GroupChannels(files);
  std::vector<vantor::DriveClip> clips;
  for (const vantor::ClipChannels& clip : channels)
    clips.push_back({clip.Main(), vantor::QuickClipSpan(clip.Main())});
  IPlayListMirror* mirror = list.GetMirror();
  if (mirror && !mirror->IsAlive()) mirror = nullptr;
  if (mirror) mirror->BeginUpdate();
  int nAdded = 0;
  for (std::size_t i : vantor::OrderForDrives(clips)) {
    if (list.Add(channels[i], clips[i].span)) ++nAdded;
  }
  if (mirror) mirror->EndUpdate();
  return nAdded;
}
