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

// A report list that takes its rows from a table of the store instead of
// keeping text per cell (wxLC_VIRTUAL). The generic list control measures the
// text of every cell it is given, which makes 10,000 added rows cost most of
// a second; this one adds them in milliseconds. Columns, colours and images
// are set up as for any wxListCtrl. Item data is not kept: rows are entries by
// their index (CPlayList::GetPath).
class CPlayListCtrl : public wxListCtrl {
 public:
  CPlayListCtrl(wxWindow* pParent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = wxLC_REPORT);

  // Text and background colour of every row. A virtual list keeps no colours
  // per row: they are handed out as each row is drawn. The rows of every
  // other drive are shaded a little towards the text colour, so that where
  // one drive ends and the next begins shows at a glance.
  void SetRowColours(const wxColour& text, const wxColour& background);

 protected:
  wxString OnGetItemText(long item, long column) const override;
  int OnGetItemImage(long item) const override;
  wxItemAttr* OnGetItemAttr(long item) const override;

 private:
  friend class CPlayListCtrlMirror;
  struct Row {
    wxString strName;
    int nMark = 0;
    CPlayListNode* pNode = nullptr;
  };
  std::vector<Row> m_rows;
  mutable wxItemAttr m_rowAttr;     // wx asks for a modifiable one
  mutable wxItemAttr m_shadedAttr;  // rows of every other drive
  bool m_bRowColours = false;
};

// The rows of a CPlayListCtrl as the store's mirror.
class CPlayListCtrlMirror : public IPlayListMirror {
 public:
  explicit CPlayListCtrlMirror(CPlayListCtrl* pList) : m_pList(pList) {}

  bool IsAlive() const override;
  int GetRowCount() const override;
  int InsertRow(int nRow, const std::string& strNumber, const std::string& strName,
                CPlayListNode* pNode) override;
  void DeleteRow(int nRow) override;
  void DeleteRows(std::span<const int> rowsAscending) override;
  void SetRowNumber(int nRow, const std::string& strNumber) override;
  int GetRowMark(int nRow) const override;
  void SetRowMark(int nRow, int nMark) override;
  CPlayListNode* GetRowData(int nRow) const override;
  int GetSelectedCount() const override;
  int GetNextSelected(int nAfter) const override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  void SyncCount();
  wxWeakRef<CPlayListCtrl> m_pList;
  int m_nBatch = 0;
  bool m_bCountStale = false;
};

class CPlayList : public CPlayListCore {
 public:
  CPlayList() = default;
  ~CPlayList() override;

  // Shows the entries in pList from now on (null detaches). Not owned. A
  // CPlayListCtrl is filled from its row table, any other list control cell by
  // cell. Rows already in the control are left alone; attach before adding.
  void AttachList(wxListCtrl* pList);
  wxListCtrl* GetList() const { return m_pList.get(); }

 private:
  wxWeakRef<wxListCtrl> m_pList;
  std::unique_ptr<IPlayListMirror> m_pMirror;
};

// A file name from wx as the program keeps paths (UTF-8 bytes).
std::string PathFromWx(const wxString& path);
// Every dropped path, in drop order.
std::vector<std::string> DroppedPaths(const wxDropFilesEvent& event);
// The main window's drop handling: every dropped path in order, duplicates
// skipped. Returns how many entries were added.
int AddDroppedFiles(CPlayList& list, const wxDropFilesEvent& event);
