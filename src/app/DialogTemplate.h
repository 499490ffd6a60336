#pragma once
// The main window's layout as data: every control of dialog template 102 with
// its place in dialog units, and the pixel places the set-up gives some of the
// buttons. Kept free of any GUI toolkit so the layout rules can be checked
// without a display.
#include <span>
#include <string_view>

namespace vantor {

// Dialog units are converted at a fixed 1.5 pixels per unit in both
// directions: the scale the template was drawn for, whatever the desktop font.
// Each value is scaled and rounded on its own, halves upwards.
constexpr int DialogUnitsToPixels(int units) {
  return units >= 0 ? (units * 3 + 1) / 2 : -((-units * 3 + 1) / 2);
}

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  constexpr int Right() const { return x + width; }
  constexpr int Bottom() const { return y + height; }
  constexpr bool Intersects(const PixelRect& o) const {
    return x < o.Right() && o.x < Right() && y < o.Bottom() && o.y < Bottom();
  }
  constexpr bool operator==(const PixelRect&) const = default;
};

enum class ControlKind {
  ImageButton,  // owner-drawn bitmap button
  WebBrowser,   // the map browser
  Slider,
  List,          // report-mode list
  Label,         // static text, left-aligned
  CentredLabel,  // static text, centred
  Frame,         // static with a black frame (the meter's place)
  GroupBox,
  Spin,
  Choice,  // drop-down list
};

struct TemplateControl {
  int id;
  ControlKind kind;
  std::string_view text;
  int x, y, width, height;  // dialog units
  bool visible;

  constexpr PixelRect PixelPlace() const {
    return {DialogUnitsToPixels(x), DialogUnitsToPixels(y), DialogUnitsToPixels(width),
            DialogUnitsToPixels(height)};
  }
};

// Controls of template 102 in template order. The "Search List" label has the
// id -1 (no id of its own).
std::span<const TemplateControl> MainDialogControls();

// The template entry of `id`, or null.
const TemplateControl* FindTemplateControl(int id);

struct ButtonPlacement {
  int id;
  PixelRect place;  // client pixels
};

// Buttons the set-up moves to pixel places, in the order they are moved.
std::span<const ButtonPlacement> MainDialogButtonPlacements();

struct ButtonArtwork {
  int id;
  int normal, over, disabled, down;  // artwork ids
  std::string_view tooltip;          // empty: no tooltip
};

// The bitmaps and tooltips of the sixteen bitmap buttons.
std::span<const ButtonArtwork> MainDialogButtonArtwork();

// The outer size and the title of the main window.
inline constexpr int kMainWindowWidth = 1024;
inline constexpr int kMainWindowHeight = 700;
inline constexpr std::string_view kMainWindowTitle = "GPS Video Player";

// Where the speed gauge picture goes (client pixels) and the video area.
inline constexpr PixelRect kSpeedDialPlace{268, 500, 227, 164};
inline constexpr PixelRect kVideoPlace{50, 40, 575, 390};

// The final client place of control `id`: its pixel placement if the set-up
// moves it, else its template place converted to pixels. {0,0,0,0} for an
// unknown id.
PixelRect MainDialogControlPlace(int id);

}  // namespace vantor
