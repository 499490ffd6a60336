#include "app/DialogTemplate.h"

#include <array>

#include "app/Resource.h"

namespace vantor {

namespace {

using K = ControlKind;
using namespace res;

constexpr std::array kControls{
    TemplateControl{IDC_OPEN_FILE, K::ImageButton, "", 588, 13, 55, 27, true},
    TemplateControl{IDC_PLAY, K::ImageButton, "", 122, 369, 39, 40, true},
    TemplateControl{IDC_MAP_BROWSER, K::WebBrowser, "", 461, 243, 196, 131, true},
    TemplateControl{IDC_PREVIOUS_ITEM, K::ImageButton, "", 7, 451, 39, 40, true},
    TemplateControl{IDC_FAST_BACKWARD, K::ImageButton, "", 48, 451, 39, 40, true},
    TemplateControl{IDC_BACKWARD_PLAY, K::ImageButton, "", 198, 489, 39, 40, true},
    TemplateControl{IDC_PAUSE, K::ImageButton, "", 69, 368, 39, 40, true},
    TemplateControl{IDC_FAST_FORWARD, K::ImageButton, "", 89, 451, 39, 40, true},
    TemplateControl{IDC_NEXT_ITEM, K::ImageButton, "", 133, 447, 39, 40, true},
    TemplateControl{IDC_VOLUME, K::Slider, "Slider2", 408, 402, 113, 45, true},
    TemplateControl{IDC_MUTE, K::ImageButton, "", 390, 408, 18, 17, true},
    TemplateControl{IDC_PRINT_IMAGE, K::ImageButton, "", 364, 418, 15, 17, true},
    TemplateControl{IDC_SNAPSHOT, K::ImageButton, "", 348, 418, 15, 16, true},
    TemplateControl{IDC_FILE_SAVE, K::ImageButton, "", 332, 417, 15, 16, true},
    TemplateControl{IDC_TITLE, K::ImageButton, "", 437, 2, 103, 16, false},
    TemplateControl{IDC_TITLE2, K::ImageButton, "", 543, 2, 91, 16, false},
    TemplateControl{-1, K::Label, "Search List------------------------", 453, 141, 141, 11, false},
    TemplateControl{IDC_PLAYLIST, K::List, "List4", 460, 39, 196, 188, true},
    TemplateControl{IDC_LOAD_RECORD_DB, K::ImageButton, "", 633, 93, 33, 15, false},
    TemplateControl{IDC_METER, K::Frame, "", 193, 344, 125, 125, false},
    TemplateControl{IDC_ANGLE2, K::CentredLabel, "", 346, 352, 41, 13, false},
    TemplateControl{IDC_ANGLE1, K::CentredLabel, "", 394, 352, 41, 13, false},
    TemplateControl{IDC_DIGIT_100000, K::CentredLabel, "2", 231, 426, 8, 14, true},
    TemplateControl{IDC_DIGIT_10000, K::CentredLabel, "", 239, 426, 8, 14, true},
    TemplateControl{IDC_DIGIT_1000, K::CentredLabel, "", 247, 426, 8, 14, true},
    TemplateControl{IDC_DIGIT_100, K::CentredLabel, "", 255, 426, 8, 14, true},
    TemplateControl{IDC_DIGIT_10, K::CentredLabel, "", 263, 426, 8, 14, true},
    TemplateControl{IDC_DIGIT_1, K::CentredLabel, "", 271, 426, 8, 14, true},
    TemplateControl{IDC_GRAPH_FRAME, K::GroupBox, "", 24, 321, 137, 49, false},
    TemplateControl{IDC_POSITION, K::Slider, "Slider1", 26, 287, 402, 15, true},
    TemplateControl{IDC_ZOOM_LABEL, K::Label, "ZOOM", 489, 380, 47, 8, true},
    TemplateControl{IDC_ZOOM_SLIDER, K::Slider, "Slider1", 565, 208, 100, 15, false},
    TemplateControl{IDC_ZOOM_SPIN, K::Spin, "Spin2", 465, 377, 12, 14, true},
    TemplateControl{IDC_DEBUG_TEXT, K::Label, "m_Debug_text", 333, 327, 57, 8, false},
    TemplateControl{IDC_LATITUDE, K::Label, "Latitude", 551, 25, 57, 8, false},
    TemplateControl{IDC_STOP, K::ImageButton, "", 21, 371, 44, 34, true},
    TemplateControl{IDC_MAP_TYPE, K::Choice, "", 554, 376, 104, 62, true},
};

// The transport row along the bottom and the tools on the right, in pixels.
// Fast Backward, Backward Play and Fast Forward would sit below the bottom
// edge of a 700-pixel window at their template places; they go to the free
// strip right of the speed gauge, under the position slider, in the order the
// transport row reads (back, reverse, forward).
constexpr std::array kPlacements{
    ButtonPlacement{IDC_PREVIOUS_ITEM, {0, 593, 54, 61}},
    ButtonPlacement{IDC_STOP, {45, 593, 58, 61}},
    ButtonPlacement{IDC_PLAY, {93, 593, 58, 61}},
    ButtonPlacement{IDC_PAUSE, {144, 593, 58, 61}},
    ButtonPlacement{IDC_NEXT_ITEM, {195, 593, 59, 61}},
    ButtonPlacement{IDC_FILE_SAVE, {820, 593, 64, 61}},
    ButtonPlacement{IDC_SNAPSHOT, {880, 593, 63, 61}},
    ButtonPlacement{IDC_PRINT_IMAGE, {940, 593, 64, 61}},
    ButtonPlacement{IDC_OPEN_FILE, {880, 12, 69, 45}},
    ButtonPlacement{IDC_FAST_BACKWARD, {500, 466, 59, 60}},
    ButtonPlacement{IDC_BACKWARD_PLAY, {561, 466, 59, 60}},
    ButtonPlacement{IDC_FAST_FORWARD, {622, 466, 59, 60}},
};

constexpr std::array kArtwork{
    ButtonArtwork{IDC_OPEN_FILE, 172, 171, 172, 170, "Open File"},
    ButtonArtwork{IDC_PLAY, 150, 151, 150, 150, "Play"},
    ButtonArtwork{IDC_PREVIOUS_ITEM, 135, 136, 135, 135, "Previous Item"},
    ButtonArtwork{IDC_FAST_BACKWARD, 141, 142, 141, 143, "Fast Backward"},
    ButtonArtwork{IDC_LOAD_RECORD_DB, 172, 171, 173, 170, "Load Record DB"},
    ButtonArtwork{IDC_BACKWARD_PLAY, 153, 152, 153, 134, "Backward Play"},
    ButtonArtwork{IDC_PAUSE, 147, 148, 147, 147, "Pause"},
    ButtonArtwork{IDC_FAST_FORWARD, 138, 139, 138, 140, "Fast Forward"},
    ButtonArtwork{IDC_NEXT_ITEM, 144, 145, 144, 144, "Next Item"},
    ButtonArtwork{IDC_MUTE, 156, 157, 156, 154, "Mute"},
    ButtonArtwork{IDC_PRINT_IMAGE, 165, 166, 165, 165, "Print Image"},
    ButtonArtwork{IDC_SNAPSHOT, 162, 163, 162, 162, "Snapshot"},
    ButtonArtwork{IDC_FILE_SAVE, 160, 159, 160, 160, "File Save"},
    ButtonArtwork{IDC_TITLE, 167, 169, 167, 169, ""},
    ButtonArtwork{IDC_TITLE2, 169, 168, 169, 168, ""},
    ButtonArtwork{IDC_STOP, 273, 274, 273, 273, "Stop"},
};

}  // namespace

std::span<const ButtonArtwork> MainDialogButtonArtwork() {
  return kArtwork;
}

std::span<const TemplateControl> MainDialogControls() {
  return kControls;
}

const TemplateControl* FindTemplateControl(int id) {
  for (const auto& c : kControls)
    if (c.id == id) return &c;
  return nullptr;
}

std::span<const ButtonPlacement> MainDialogButtonPlacements() {
  return kPlacements;
}

PixelRect MainDialogControlPlace(int id) {
  for (const auto& p : kPlacements)
    if (p.id == id) return p.place;
  if (const auto* c = FindTemplateControl(id)) return c->PixelPlace();
  return {};
}

}  // namespace vantor
