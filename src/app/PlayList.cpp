#include "app/PlayList.h"

#include <wx/event.h>

bool CListCtrlMirror::IsAlive() const {
  const wxListCtrl* list = m_pList.get();
  return list && !list->IsBeingDeleted();
}

int CListCtrlMirror::GetRowCount() const {
  return m_pList->GetItemCount();
}

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

void CListCtrlMirror::SetRowMark(int nRow, int nMark) {
  m_pList->SetItemImage(nRow, nMark);
}

CPlayListNode* CListCtrlMirror::GetRowData(int nRow) const {
  return reinterpret_cast<CPlayListNode*>(m_pList->GetItemData(nRow));
}

int CListCtrlMirror::GetSelectedCount() const {
  return m_pList->GetSelectedItemCount();
}

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

CPlayListCtrl::CPlayListCtrl(wxWindow* pParent, wxWindowID id, const wxPoint& pos,
                             const wxSize& size, long style)
    : wxListCtrl(
          pParent, id, pos, size,
          (style & ~(wxLC_ICON | wxLC_SMALL_ICON | wxLC_LIST)) | wxLC_REPORT | wxLC_VIRTUAL) {}

wxString CPlayListCtrl::OnGetItemText(long item, long column) const {
  if (item < 0 || item >= static_cast<long>(m_rows.size())) return wxString();
  // The number is the row's place, so removals renumber without touching a cell.
  if (column == 0) return wxString::Format("%ld", item + 1);
  if (column == 1) return m_rows[item].strName;
  const CPlayListNode* node = m_rows[item].pNode;
  return node ? wxString::FromUTF8(node->strRemark) : wxString();
}

int CPlayListCtrl::OnGetItemImage(long item) const {
  if (item < 0 || item >= static_cast<long>(m_rows.size())) return -1;
  return m_rows[item].nMark;
}

void CPlayListCtrl::SetRowColours(const wxColour& text, const wxColour& background) {
  m_rowAttr = wxItemAttr(text, background, wxNullFont);
  m_bRowColours = true;
  Refresh();
}

wxItemAttr* CPlayListCtrl::OnGetItemAttr(long item) const {
  if (item < 0 || item >= static_cast<long>(m_rows.size())) return nullptr;
  const CPlayListNode* node = m_rows[item].pNode;
  if (!node || node->nDrive % 2 == 0) return m_bRowColours ? &m_rowAttr : nullptr;
  const wxColour text = m_bRowColours ? m_rowAttr.GetTextColour() : GetForegroundColour();
  const wxColour back = m_bRowColours ? m_rowAttr.GetBackgroundColour() : GetBackgroundColour();
  // An eighth of the way to the text colour: visible on a light list and on
  // a dark one, and the text keeps its contrast.
  auto mix = [](unsigned char b, unsigned char t) {
    return static_cast<unsigned char>((b * 7 + t) / 8);
  };
  m_shadedAttr = wxItemAttr(text,
                            wxColour(mix(back.Red(), text.Red()), mix(back.Green(), text.Green()),
                                     mix(back.Blue(), text.Blue())),
                            wxNullFont);
  return &m_shadedAttr;
}

bool CPlayListCtrlMirror::IsAlive() const {
  const CPlayListCtrl* list = m_pList.get();
  return list && !list->IsBeingDeleted();
}

int CPlayListCtrlMirror::GetRowCount() const {
  return static_cast<int>(m_pList->m_rows.size());
}

void CPlayListCtrlMirror::SyncCount() {
  m_pList->SetItemCount(static_cast<long>(m_pList->m_rows.size()));
  m_bCountStale = false;
}

int CPlayListCtrlMirror::InsertRow(int nRow, const std::string&, const std::string& strName,
                                   CPlayListNode* pNode) {
  auto& rows = m_pList->m_rows;
  if (nRow < 0 || nRow > static_cast<int>(rows.size())) return -1;
  rows.insert(rows.begin() + nRow, CPlayListCtrl::Row{wxString::FromUTF8(strName), 0, pNode});
  // Inside a batch the control learns the new count once, at the end.
  if (m_nBatch > 0)
    m_bCountStale = true;
  else
    SyncCount();
  if (m_nBatch == 0) m_pList->RefreshItems(nRow, static_cast<long>(rows.size()) - 1);
  return nRow;
}

void CPlayListCtrlMirror::DeleteRow(int nRow) {
  auto& rows = m_pList->m_rows;
  if (nRow < 0 || nRow >= static_cast<int>(rows.size())) return;
  if (m_bCountStale) SyncCount();
  // The control shifts its selection and count itself; the table follows.
  m_pList->DeleteItem(nRow);
  rows.erase(rows.begin() + nRow);
}

void CPlayListCtrlMirror::DeleteRows(std::span<const int> rowsAscending) {
  auto& rows = m_pList->m_rows;
  if (rowsAscending.size() < 2) {
    for (int r : rowsAscending) DeleteRow(r);
    return;
  }
  // Many rows at once (a selection of thousands): one pass over the table and
  // one new count, instead of a shift of table and selection per row.
  std::vector<char> gone(rows.size(), 0);
  for (int r : rowsAscending)
    if (r >= 0 && r < static_cast<int>(rows.size())) gone[r] = 1;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (!gone[i]) rows[kept++] = std::move(rows[i]);
  rows.resize(kept);
  // The deleted rows were the selected ones: nothing stays selected.
  m_pList->SetItemState(-1, 0, wxLIST_STATE_SELECTED);
  SyncCount();
  m_pList->Refresh();
}

void CPlayListCtrlMirror::SetRowNumber(int, const std::string&) {}

int CPlayListCtrlMirror::GetRowMark(int nRow) const {
  return m_pList->m_rows.at(nRow).nMark;
}

void CPlayListCtrlMirror::SetRowMark(int nRow, int nMark) {
  m_pList->m_rows.at(nRow).nMark = nMark;
  if (!m_bCountStale) m_pList->RefreshItem(nRow);
}

CPlayListNode* CPlayListCtrlMirror::GetRowData(int nRow) const {
  return m_pList->m_rows.at(nRow).pNode;
}

int CPlayListCtrlMirror::GetSelectedCount() const {
  return m_pList->GetSelectedItemCount();
}

int CPlayListCtrlMirror::GetNextSelected(int nAfter) const {
  return static_cast<int>(m_pList->GetNextItem(nAfter, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

void CPlayListCtrlMirror::BeginUpdate() {
  if (m_nBatch++ == 0 && IsAlive()) m_pList->Freeze();
}

void CPlayListCtrlMirror::EndUpdate() {
  if (m_nBatch <= 0 || --m_nBatch > 0 || !IsAlive()) return;
  if (m_bCountStale) SyncCount();
  m_pList->Thaw();
  m_pList->Refresh();
}

CPlayList::~CPlayList() {
  // The store's own destructor clears the entries; the rows go with the window.
  AttachMirror(nullptr);
}

void CPlayList::AttachList(wxListCtrl* pList) {
  AttachMirror(nullptr);
  m_pList = pList;
  if (auto* own = dynamic_cast<CPlayListCtrl*>(pList)) {
    m_pMirror = std::make_unique<CPlayListCtrlMirror>(own);
  } else if (pList) {
    m_pMirror = std::make_unique<CListCtrlMirror>(pList);
  } else {
    m_pMirror.reset();
  }
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
