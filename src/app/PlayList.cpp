#include "app/PlayList.h"

#include <wx/event.h>

bool CListCtrlMirror::IsAlive() const {
  const wxListCtrl* list = m_pList.get();
  return list && !list->IsBeingDeleted();
}

int CListCtrlMirror::GetRowCount() const { return m_pList->GetItemCount(); }

int CListCtrlMirror::InsertRow(int nRow, const std::string& strNumber, const std::string& strName,
                               CPlayListNode* pNode) {
  wxListItem item;
  item.SetId(nRow);
  item.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_IMAGE | wxLIST_MASK_DATA);
  item.SetText(wxString::FromUTF8(strNumber));
  item.SetImage(ROWMARK_NONE);
  item.SetData(pNode);
  const long nIndex = m_pList->InsertItem(item);
  if (nIndex < 0) return -1;
  m_pList->SetItem(nIndex, 1, wxString::FromUTF8(strName));
  return static_cast<int>(nIndex);
}

void CListCtrlMirror::DeleteRow(int nRow) {
  // The generic list control forgets to drop a deleted row from its selected
  // count; deselecting first keeps GetSelectedItemCount true for the next Delete.
  if (m_pList->GetItemState(nRow, wxLIST_STATE_SELECTED) != 0)
    m_pList->SetItemState(nRow, 0, wxLIST_STATE_SELECTED);
  m_pList->DeleteItem(nRow);
}

void CListCtrlMirror::SetRowNumber(int nRow, const std::string& strNumber) {
  const wxString text = wxString::FromUTF8(strNumber);
  // Most rows keep their number; leaving them alone saves a redraw each.
  if (m_pList->GetItemText(nRow, 0) != text) m_pList->SetItemText(nRow, text);
}

int CListCtrlMirror::GetRowMark(int nRow) const {
  wxListItem item;
  item.SetId(nRow);
  item.SetMask(wxLIST_MASK_IMAGE);
  if (!m_pList->GetItem(item)) return -1;
  return item.GetImage();
}

void CListCtrlMirror::SetRowMark(int nRow, int nMark) { m_pList->SetItemImage(nRow, nMark); }

CPlayListNode* CListCtrlMirror::GetRowData(int nRow) const {
  return reinterpret_cast<CPlayListNode*>(m_pList->GetItemData(nRow));
}

int CListCtrlMirror::GetSelectedCount() const { return m_pList->GetSelectedItemCount(); }

int CListCtrlMirror::GetNextSelected(int nAfter) const {
  return static_cast<int>(m_pList->GetNextItem(nAfter, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

void CListCtrlMirror::BeginUpdate() {
  // Thousands of dropped files would otherwise relayout and repaint per row.
  if (m_nFrozen++ == 0 && IsAlive()) m_pList->Freeze();
}

void CListCtrlMirror::EndUpdate() {
  if (m_nFrozen > 0 && --m_nFrozen == 0 && IsAlive()) m_pList->Thaw();
}

CPlayList::~CPlayList() {
  // The store's own destructor clears the entries; the rows go with the window.
  AttachMirror(nullptr);
}

void CPlayList::AttachList(wxListCtrl* pList) {
  AttachMirror(nullptr);
  m_pMirror = pList ? std::make_unique<CListCtrlMirror>(pList) : nullptr;
  AttachMirror(m_pMirror.get());
}

std::string PathFromWx(const wxString& path) {
  const wxScopedCharBuffer utf8 = path.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

std::vector<std::string> DroppedPaths(const wxDropFilesEvent& event) {
  std::vector<std::string> paths;
  const wxString* files = event.GetFiles();
  const int n = event.GetNumberOfFiles();
  if (!files || n <= 0) return paths;
  paths.reserve(n);
  for (int i = 0; i < n; ++i) paths.push_back(PathFromWx(files[i]));
  return paths;
}

int AddDroppedFiles(CPlayList& list, const wxDropFilesEvent& event) {
  const std::vector<std::string> paths = DroppedPaths(event);
  return AddPathsToPlayList(list, paths);
}
