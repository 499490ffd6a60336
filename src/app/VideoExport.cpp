#include "app/VideoExport.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/progdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/GuiText.h"
#include "common/Messages.h"

using vantor::TrWx;

bool AskVideoExportChoices(wxWindow* parent, VideoExportChoices& choices, bool offerInset) {
  wxDialog dlg(parent, wxID_ANY, TrWx("Export video"));
  auto* top = new wxBoxSizer(wxVERTICAL);
  auto* sizeRow = new wxBoxSizer(wxHORIZONTAL);
  sizeRow->Add(new wxStaticText(&dlg, wxID_ANY, TrWx("Picture size:")), 0,
               wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  const int heights[] = {0, 1080, 720};
  auto* size = new wxChoice(&dlg, wxID_ANY);
  size->Append(TrWx("As recorded"));
  size->Append("1080p");
  size->Append("720p");
  size->SetSelection(choices.height == 1080 ? 1 : choices.height == 720 ? 2 : 0);
  sizeRow->Add(size, 1);
  top->Add(sizeRow, 0, wxEXPAND | wxALL, 10);
  top->Add(new wxStaticText(&dlg, wxID_ANY, TrWx("Drawn on the picture:")), 0, wxLEFT | wxRIGHT,
           10);
  vantor::OverlayChoice& o = choices.overlay;
  struct Item {
    const char* label;
    bool* value;
  };
  const Item items[] = {{"Date and time", &o.time},
                        {"Speed", &o.speed},
                        {"Coordinates", &o.position},
                        {"Speed gauge", &o.gauge},
                        {"Route map", &o.route},
                        {"Second camera (small picture)", &o.inset}};
  if (!offerInset) o.inset = false;
  std::vector<wxCheckBox*> boxes;
  for (const Item& item : items) {
    if (item.value == &o.inset && !offerInset) break;
    auto* box = new wxCheckBox(&dlg, wxID_ANY, TrWx(item.label));
    box->SetValue(*item.value);
    top->Add(box, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    boxes.push_back(box);
  }
  top->Add(dlg.CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
  dlg.SetSizerAndFit(top);
  if (dlg.ShowModal() != wxID_OK) return false;
  choices.height = heights[std::max(0, size->GetSelection())];
  for (std::size_t i = 0; i < boxes.size(); ++i) *items[i].value = boxes[i]->GetValue();
  return true;
}

CVideoExport::CVideoExport(wxWindow* parent) : CExportJob(parent) {}

CVideoExport::~CVideoExport() {
  m_status.cancel = true;
  Wait();
}

bool CVideoExport::Start(std::vector<std::string> paths, std::vector<std::string> insets,
                         long fromMs, long toMs,
                         const VideoExportChoices& choices, const vantor::GpsExportStyle& style,
                         const std::string& outPath) {
  if (IsRunning() || paths.empty()) return false;
  m_status.cancel = false;
  m_status.doneNs = 0;
  m_status.totalNs = 0;
  m_outPath = outPath;
  auto request = std::make_shared<vantor::RenderRequest>();
  request->height = choices.height;
  request->overlay = choices.overlay;
  request->style = style;
  request->outPath = outPath;
  insets.resize(paths.size());
  m_progress = new wxProgressDialog(
      TrWx("Export video"), wxString::FromUTF8(outPath), 1000, m_parent,
      wxPD_CAN_ABORT | wxPD_ELAPSED_TIME | wxPD_REMAINING_TIME | wxPD_AUTO_HIDE);
  auto work = [this, request, paths = std::move(paths), insets = std::move(insets), fromMs,
               toMs]() -> std::string {
    std::string error;
    for (std::size_t i = 0; i < paths.size(); ++i) {
      vantor::RenderClip clip;
      if (!vantor::LoadRenderClip(paths[i], clip, error)) break;
      // Also without the inset: the second camera's file may hold the GPS.
      if (!insets[i].empty() && !vantor::LoadRenderInset(insets[i], clip, error)) break;
      request->clips.push_back(std::move(clip));
    }
    if (request->clips.size() == paths.size()) {
      std::int64_t before = 0;
      for (std::size_t i = 0; i + 1 < request->clips.size(); ++i)
        before += request->clips[i].media.durationNs;
      request->fromNs = std::int64_t{fromMs} * 1000000;
      request->toNs = before + std::int64_t{toMs} * 1000000;
      if (request->toNs <= request->fromNs)
        error = vantor::Tr("The out point comes before the in point.");
      else
        vantor::RenderVideo(*request, m_status, error);
    }
    return error;
  };
  Launch(std::move(work), 200);
  return true;
}

void CVideoExport::Cancel() {
  m_status.cancel = true;
}

void CVideoExport::Progress() {
  const double total = static_cast<double>(m_status.totalNs.load());
  const int value = total > 0 ? static_cast<int>(999 * m_status.doneNs.load() / total) : 0;
  if (m_progress && !m_progress->Update(std::clamp(value, 0, 999))) m_status.cancel = true;
}

void CVideoExport::Finished(const std::string& error) {
  if (error.empty())
    vantor::ShowMessageBox(vantor::Tr("The video was written:") + "\n" + m_outPath,
                           vantor::Tr("Export video"), vantor::MessageIcon::Information);
  else
    vantor::ShowMessageBox(error + "\n" + vantor::Tr("Nothing was written."),
                           vantor::Tr("Export video"), vantor::MessageIcon::Error);
}
