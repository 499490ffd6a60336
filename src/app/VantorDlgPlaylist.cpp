// The playlist's handlers: files dropped on the window, the popup menu, and
// deleting entries. Only entries go: the movie files on disk are never touched.
#include <wx/listctrl.h>
#include <wx/menu.h>

#include <memory>

#include "app/VantorDlg.h"
#include "common/Messages.h"

namespace {

// Caption of the playlist's messages: the program's name.
constexpr const char* kAppName = "Vantor";

}  // namespace

int CVantorDlg::AddToPlayList(const char* pszPath) {
  return ::AddToPlayList(m_PlayList, pszPath);
}

void CVantorDlg::OnDropFiles(wxDropFilesEvent& event) {
  // Every dropped path in drop order, whatever its type; listed ones skipped.
  AddDroppedFiles(m_PlayList, event);
}

void CVantorDlg::OnListRClick() {
  std::unique_ptr<wxMenu> menu(CreatePlaylistMenu());
  // The menu's commands come back to this window as menu events.
  Raise();
  PopupMenu(menu.get());
}

void CVantorDlg::OnMenuDelete(wxCommandEvent&) {
  DeleteSelectedEntries();
}

void CVantorDlg::DeleteSelectedEntries() {
  if (!m_List || m_List->GetSelectedItemCount() == 0) {
    vantor::ShowMessageBox(vantor::Tr(kMsgSelectFileForDeletion), vantor::Tr(kAppName),
                           vantor::MessageIcon::Information);
    return;
  }
  if (!vantor::AskYesNo(vantor::Tr(kMsgConfirmDeleteFiles), vantor::Tr(kAppName))) return;
  if (m_PlayList.RemoveSelected()) {
    // The playing entry went: its movie goes with it.
    m_timerPlay.Stop();
    m_timerBackward.Stop();
    m_Player.Close();
  }
}
