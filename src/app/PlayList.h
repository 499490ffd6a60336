#pragma once
// The playlist store shown in the main window's list control: column 0 the
// row number, column 1 the display name, the item data the entry, the row's
// image index its mark (images from widgets/RowMarks.h).
#include <wx/listctrl.h>
#include <wx/weakref.h>

#include <memory>
#include <string>
#include <vector>

#include "app/PlayListCore.h"

class wxDropFilesEvent;

// The rows of a report-mode wxListCtrl as the store's mirror.
class CListCtrlMirror : public IPlayListMirror {
 public:
  explicit CListCtrlMirror(wxListCtrl* pList) : m_pList(pList) {}
  wxListCtrl* GetList() const { return m_pList.get(); }

  bool IsAlive() const override;
  int GetRowCount() const override;
  int InsertRow(int nRow, const std::string& strNumber, const std::string& strName,
                CPlayListNode* pNode) override;
  void DeleteRow(int nRow) override;
  void SetRowNumber(int nRow, const std::string& strNumber) override;
  int GetRowMark(int nRow) const override;
  void SetRowMark(int nRow, int nMark) override;
  CPlayListNode* GetRowData(int nRow) const override;
  int GetSelectedCount() const override;
  int GetNextSelected(int nAfter) const override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  // Cleared by wx when the control is destroyed, so a store that outlives its
  // window never touches a dead control.
  wxWeakRef<wxListCtrl> m_pList;
  int m_nFrozen = 0;
};

class CPlayList : public CPlayListCore {
 public:
  CPlayList() = default;
  ~CPlayList() override;

  // Shows the entries in pList from now on (null detaches). Not owned. Rows
  // already in the control are left alone; attach before adding.
  void AttachList(wxListCtrl* pList);
  wxListCtrl* GetList() const { return m_pMirror ? m_pMirror->GetList() : nullptr; }

 private:
  std::unique_ptr<CListCtrlMirror> m_pMirror;
};

// A file name from wx as the program keeps paths (UTF-8 bytes).
std::string PathFromWx(const wxString& path);
// Every dropped path, in drop order.
std::vector<std::string> DroppedPaths(const wxDropFilesEvent& event);
// The main window's drop handling: every dropped path in order, duplicates
// skipped. Returns how many entries were added.
int AddDroppedFiles(CPlayList& list, const wxDropFilesEvent& event);
