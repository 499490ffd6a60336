#pragma once
// The program's file-open dialog: several files at once, walked with
// GetStartPosition / GetNextPathName as folder + "/" + name in the order the
// chooser gives them.
#include <wx/filedlg.h>

#include <string>
#include <vector>

#include "common/Result.h"

// Flags of the constructor, with their customary values.
inline constexpr unsigned OFN_OVERWRITEPROMPT = 0x2;
inline constexpr unsigned OFN_HIDEREADONLY = 0x4;
inline constexpr unsigned OFN_ALLOWMULTISELECT = 0x200;
inline constexpr unsigned OFN_FILEMUSTEXIST = 0x1000;

class CFECFileDialog : public wxFileDialog {
 public:
  struct Chosen {
    std::string strFolder;
    std::string strName;
  };
  // Cursor of the selection walk; null after the last name.
  using POSITION = const Chosen*;

  // lpszFilter is "description|pattern|...||" (see vantor::FilterToWildcard);
  // lpszFileName may carry a folder. A default extension is not used by the
  // open chooser and is kept only for a save dialog's caller.
  CFECFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt = nullptr,
                 const char* lpszFileName = nullptr,
                 unsigned dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                 const char* lpszFilter = nullptr, wxWindow* pParentWnd = nullptr);

  // Shows the chooser; wxID_OK with the selection ready to walk, or wxID_CANCEL.
  int DoModal();

  POSITION GetStartPosition() const;
  std::string GetNextPathName(POSITION& pos) const;

  // What the chooser returned, as full paths in its order. DoModal fills it;
  // tests set it directly instead of driving the modal chooser.
  void SetChosenPaths(const std::vector<std::string>& paths);

  const std::string& GetDefaultExtension() const { return m_strDefExt; }

 private:
  static long StyleFor(BOOL bOpen, unsigned dwFlags);

  std::vector<Chosen> m_chosen;
  std::string m_strDefExt;
};
