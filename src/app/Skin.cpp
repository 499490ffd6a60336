#include "app/Skin.h"

#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/window.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/SkinFile.h"
#include "common/DataPaths.h"
#include "widgets/ArrowSpin.h"

namespace vantor {

namespace {

struct SkinState {
  bool initialised = false;
  std::string appName;
  std::optional<SkinFile> skin;
  std::vector<wxWindow*> excluded;
};

SkinState& State() {
  static SkinState state;
  return state;
}

wxColour ToWx(const SkinColour& c) {
  return wxColour(c.r, c.g, c.b);
}

bool IsExcluded(const wxWindow* w) {
  const auto& ex = State().excluded;
  return std::find(ex.begin(), ex.end(), w) != ex.end();
}

// Colours and font of one skin object on one window.
void ApplyObject(const SkinFile& skin, const std::string& object, wxWindow* w) {
  if (auto bg = skin.Colour(object, "background")) w->SetBackgroundColour(ToWx(*bg));
  if (auto fg = skin.Colour(object, "text")) w->SetForegroundColour(ToWx(*fg));
  if (auto f = skin.Font(object)) {
    wxFontInfo info(f->pointSize);
    if (f->bold) info.Bold();
    if (!f->family.empty()) info.FaceName(wxString::FromUTF8(f->family));
    w->SetFont(wxFont(info));
  }
}

// The object for a child: one named after the window itself wins over the
// one for its class. dynamic_cast, not wxDynamicCast: the wx macro
// static_casts down before it checks, which is undefined for other classes.
std::string ObjectFor(const SkinFile& skin, wxWindow* w) {
  std::string byName = w->GetName().utf8_string();  // not const: returned by move
  if (!byName.empty() && skin.HasObject(byName)) return byName;
  if (dynamic_cast<wxStaticText*>(w)) return "Label";
  if (dynamic_cast<wxSlider*>(w)) return "Slider";
  if (dynamic_cast<wxChoice*>(w)) return "Choice";
  if (dynamic_cast<wxListCtrl*>(w)) return "List";
  if (dynamic_cast<CArrowSpin*>(w)) return "Spin";
  return {};
}

void ApplyToChildren(const SkinFile& skin, wxWindow* parent) {
  for (wxWindow* child : parent->GetChildren()) {
    if (IsExcluded(child) || child->IsTopLevel()) continue;
    const std::string object = ObjectFor(skin, child);
    if (!object.empty() && skin.HasObject(object)) ApplyObject(skin, object, child);
    // Composite controls (the list's header and rows) keep their own insides.
    if (!dynamic_cast<wxListCtrl*>(child)) ApplyToChildren(skin, child);
  }
}

}  // namespace

bool SkinInit(const char* appName, int reserved1, int reserved2) {
  if (!appName || reserved1 != 0 || reserved2 != 0) return false;
  SkinState& s = State();
  s.initialised = true;
  s.appName = appName;
  return true;
}

bool SkinLoadFile(const std::string& path) {
  SkinState& s = State();
  s.skin.reset();
  if (!s.initialised) return false;
  s.skin = SkinFile::Load(path);
  return s.skin.has_value();
}

bool SkinSetWindowSkin(wxWindow* window, const char* objectName) {
  const SkinState& s = State();
  if (!window || !objectName || !s.skin || !s.skin->HasObject(objectName)) return false;
  if (IsExcluded(window)) return false;
  ApplyObject(*s.skin, objectName, window);
  ApplyToChildren(*s.skin, window);
  window->Refresh();
  return true;
}

bool SkinExcludeWindow(wxWindow* window) {
  if (!window) return false;
  auto& ex = State().excluded;
  if (!IsExcluded(window)) {
    ex.push_back(window);
    // Forget the window when it goes, so a later window at the same address
    // is not skipped by mistake.
    window->Bind(wxEVT_DESTROY, [window](wxWindowDestroyEvent& e) {
      if (e.GetEventObject() == window) {
        auto& v = State().excluded;
        v.erase(std::remove(v.begin(), v.end(), window), v.end());
      }
      e.Skip();
    });
  }
  return true;
}

bool SkinIsLoaded() {
  return State().skin.has_value();
}

std::string LocateSkinFile() {
  std::string relative = "Skin/Vantor.smf";  // not const: returned by move
  std::error_code ec;
  if (std::filesystem::is_regular_file(relative, ec)) return relative;
  const std::string data = FindDataFile(relative);
  return data.empty() ? relative : data;
}

}  // namespace vantor
