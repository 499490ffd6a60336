#pragma once
// The playlist store without any window: the chain of entries, their display
// names, the current entry, and the rows it keeps in step through a mirror.
// The wx list control is one mirror (app/PlayList.h); tests use their own.
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/Channels.h"
#include "app/Drives.h"
#include "common/Result.h"

// Row marks, shown as the row's image index.
enum RowMark : int {
  ROWMARK_NONE = 0,     // ordinary row
  ROWMARK_PLAYING = 1,  // current entry, playing
  ROWMARK_PAUSED = 2,   // current entry, paused or stepping backward
};

// Texts of the delete confirmation (translated through vantor::Tr).
inline constexpr const char* kMsgSelectFileForDeletion = "Please select a file for deletion.";
inline constexpr const char* kMsgConfirmDeleteFiles = "Are you sure to delete these files?";

struct CPlayListNode {
  std::string pszPath;    // the full path as it was added
  std::string pszName;    // file name without its last extension
  vantor::ClipSpan span;  // its time, for grouping the entries into drives
  int nDrive = 0;         // counts up from 0 at the first entry, by one at each new drive
  // The files of the clip's other cameras (rear, inside), and which cameras
  // the entry has ("F+R"; "" for a camera of one channel).
  std::vector<std::string> otherChannels;
  std::string strRemark;
  std::unique_ptr<CPlayListNode> pNext;
  CPlayListNode* pPrev = nullptr;
};

// What the store needs of the rows that show it. Row indices are 0-based.
class IPlayListMirror {
 public:
  virtual ~IPlayListMirror() = default;
  // False once the rows' window is gone; the store then leaves the rows alone.
  virtual bool IsAlive() const = 0;
  virtual int GetRowCount() const = 0;
  // Appends/inserts a row with the given number text, name and data; the new
  // row's index, or -1 when no row could be made.
  virtual int InsertRow(int nRow, const std::string& strNumber, const std::string& strName,
                        CPlayListNode* pNode) = 0;
  virtual void DeleteRow(int nRow) = 0;
  // Deletes the given rows (ascending, distinct). Rows are deleted from the
  // last back so that the indices still to come stay valid.
  virtual void DeleteRows(std::span<const int> rowsAscending) {
    for (std::size_t k = rowsAscending.size(); k-- > 0;) DeleteRow(rowsAscending[k]);
  }
  virtual void SetRowNumber(int nRow, const std::string& strNumber) = 0;
  virtual int GetRowMark(int nRow) const = 0;
  virtual void SetRowMark(int nRow, int nMark) = 0;
  virtual CPlayListNode* GetRowData(int nRow) const = 0;
  virtual int GetSelectedCount() const = 0;
  // The next selected row after nAfter (-1 starts at the top), or -1.
  virtual int GetNextSelected(int nAfter) const = 0;
  // Brackets a batch of changes so the rows are redrawn once. Nests.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
};

class CPlayListCore {
 public:
  CPlayListCore();
  virtual ~CPlayListCore();
  CPlayListCore(const CPlayListCore&) = delete;
  CPlayListCore& operator=(const CPlayListCore&) = delete;

  // Not owned; null detaches. Existing rows of the mirror are left as they are.
  void AttachMirror(IPlayListMirror* pMirror) { m_pMirror = pMirror; }
  IPlayListMirror* GetMirror() const { return m_pMirror; }

  // Appends an entry (see DisplayNameOf for the name); FALSE when the path is
  // rejected. Duplicates are not checked here: AddToPlayList does that.
  BOOL Add(const char* pszPath);
  // The same with the entry's time already known (see vantor::QuickClipSpan).
  BOOL Add(const char* pszPath, const vantor::ClipSpan& span);
  // An entry for the cameras of one clip: its main channel plays, Find and
  // Contains know every channel's file.
  BOOL Add(const vantor::ClipChannels& clip, const vantor::ClipSpan& span);
  // Index of the first entry with exactly this path (or a channel of it) (names that differ only in
  // letter case are different files on Linux); -1 if none.
  int Find(const char* pszPath) const;
  // Whether Find would find the path, without walking to its index.
  bool Contains(const char* pszPath) const;
  // Path of entry nIndex (a negative index gives the first entry), or null.
  // Valid until that entry is removed.
  const char* GetPath(int nIndex) const;
  const char* GetCurPath() const { return GetPath(m_nCurSel); }
  // Makes nIndex current: the old current row loses its mark, the new one is
  // marked playing. Returns GetPath(nIndex).
  const char* SetCurSel(int nIndex);
  // SetCurSel(current + 1); null past the last entry.
  const char* GetNextPath();
  int GetCurSel() const { return m_nCurSel; }
  int GetCount() const { return m_nCount; }
  // The drive of entry nIndex (consecutive entries of one drive share it,
  // the next drive has the next number); -1 out of range.
  int GetDrive(int nIndex) const;
  // The files of entry nIndex's other cameras; empty out of range.
  std::vector<std::string> GetOtherChannels(int nIndex) const;
  // Ignored for an index out of range or without a mirror.
  void SetItemMark(int nIndex, int nMark);
  BOOL RemoveAt(int nIndex);
  void RemoveAll();
  // Removes every selected row, from the last one back. TRUE when the current
  // entry was among them (the caller then stops playing it).
  BOOL RemoveSelected();

  // The display name Add gives a path: the text after the last '/', without
  // its last extension, with bytes that are not UTF-8 replaced by U+FFFD; ""
  // when that leaves nothing (rejected).
  static std::string DisplayNameOf(std::string_view path);

 protected:
  IPlayListMirror* LiveMirror() const;

 private:
  CPlayListNode* NodeAt(int nIndex) const;                      // caller holds m_cs
  std::unique_ptr<CPlayListNode> Unlink(CPlayListNode* pNode);  // caller holds m_cs
  void RenumberRows(IPlayListMirror* pMirror, int nFrom);
  // Gives entries from p on their drive after their predecessor changed;
  // with `untilSettled` it stops at the first whose drive stays the same.
  static void Regroup(CPlayListNode* p, bool untilSettled);  // caller holds m_cs

  IPlayListMirror* m_pMirror = nullptr;
  int m_nCount = 0;
  int m_nCurSel = -1;
  std::unique_ptr<CPlayListNode> m_pHead;
  CPlayListNode* m_pTail = nullptr;
  // Folded path -> number of entries with it: Find answers "absent" without a
  // walk, which keeps adding thousands of dropped files linear.
  std::unordered_map<std::string, int> m_keyCount;
  mutable std::recursive_mutex m_cs;
};

// Adds pszPath unless it is listed already: its index when it was listed,
// else the result of Add (TRUE/FALSE).
int AddToPlayList(CPlayListCore& list, const char* pszPath);

// Adds dropped (or chosen) paths, duplicates skipped, with the rows redrawn
// once at the end. A folder stands for every movie under it. The cameras of
// one clip make one entry, also when only one of their files was given. More than one
// new entry are ordered by folder and, within a folder, by time (see
// vantor::OrderForDrives), so that each drive's clips follow each other.
// Returns how many entries were added.
int AddPathsToPlayList(CPlayListCore& list, std::span<const std::string> paths);
