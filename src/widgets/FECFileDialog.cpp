#include "widgets/FECFileDialog.h"

#include "common/Messages.h"
#include "widgets/FileFilter.h"

namespace {

std::string ToUtf8(const wxString& s) {
  const wxScopedCharBuffer utf8 = s.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

wxString FolderOf(const char* path) {
  if (!path || !*path) return wxString();
  auto [folder, name] = vantor::SplitFolderAndName(path);
  return wxString::FromUTF8(folder);
}

wxString NameOf(const char* path) {
  if (!path || !*path) return wxString();
  auto [folder, name] = vantor::SplitFolderAndName(path);
  return wxString::FromUTF8(name);
}

}  // namespace

CFECFileDialog::CFECFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt,
                               const char* lpszFileName, unsigned dwFlags, const char* lpszFilter,
                               wxWindow* pParentWnd)
    : wxFileDialog(pParentWnd, wxString::FromUTF8(vantor::Tr(bOpenFileDialog ? "Open" : "Save As")),
                   FolderOf(lpszFileName), NameOf(lpszFileName),
                   lpszFilter ? wxString::FromUTF8(vantor::FilterToWildcard(lpszFilter))
                              : wxString(wxFileSelectorDefaultWildcardStr),
                   StyleFor(bOpenFileDialog, dwFlags)),
      m_strDefExt(lpszDefExt ? lpszDefExt : "") {}

long CFECFileDialog::StyleFor(BOOL bOpen, unsigned dwFlags) {
  long style = bOpen ? wxFD_OPEN : wxFD_SAVE;
  if (bOpen && (dwFlags & OFN_ALLOWMULTISELECT)) style |= wxFD_MULTIPLE;
  if (bOpen && (dwFlags & OFN_FILEMUSTEXIST)) style |= wxFD_FILE_MUST_EXIST;
  if (!bOpen && (dwFlags & OFN_OVERWRITEPROMPT)) style |= wxFD_OVERWRITE_PROMPT;
  // Read-only files are no concern of the GTK chooser: OFN_HIDEREADONLY needs nothing.
  return style;
}

int CFECFileDialog::DoModal() {
  m_chosen.clear();
  if (ShowModal() != wxID_OK) return wxID_CANCEL;
  wxArrayString paths;
  if (HasFlag(wxFD_MULTIPLE))
    GetPaths(paths);
  else
    paths.Add(GetPath());
  std::vector<std::string> chosen;
  for (const wxString& p : paths) {
    if (!p.empty()) chosen.push_back(ToUtf8(p));
  }
  SetChosenPaths(chosen);
  return wxID_OK;
}

void CFECFileDialog::SetChosenPaths(const std::vector<std::string>& paths) {
  m_chosen.clear();
  m_chosen.reserve(paths.size());
  // Each path keeps its own folder: the chooser's Recent and search views
  // return files from several folders at once.
  for (const std::string& p : paths) {
    if (p.empty()) continue;
    auto [folder, name] = vantor::SplitFolderAndName(p);
    m_chosen.push_back({std::move(folder), std::move(name)});
  }
}

CFECFileDialog::POSITION CFECFileDialog::GetStartPosition() const {
  return m_chosen.empty() ? nullptr : m_chosen.data();
}

std::string CFECFileDialog::GetNextPathName(POSITION& pos) const {
  if (!pos) return std::string();
  const Chosen& c = *pos;
  const Chosen* next = pos + 1;
  pos = (next < m_chosen.data() + m_chosen.size()) ? next : nullptr;
  return vantor::JoinFolderAndName(c.strFolder, c.strName);
}
