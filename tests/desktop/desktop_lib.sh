# Shared by the desktop tests (sourced by desktop_test.sh): a private Xvfb
# display with the openbox window manager, the real program started as a user
# starts it, real input through XTest (xdotool), and what the user sees read
# back from the X server (window geometry, stacking, focus, screenshot pixels).

DT_CASE=${DT_CASE:-desktop}
DT_SCREEN_W=1280
DT_SCREEN_H=800
DT_TITLE='GPS Video Player'

dt_log() { echo "desktop[$DT_CASE]: $*" >&2; }

dt_fail() {
  dt_log "FAIL: $*"
  [[ -n ${DISPLAY:-} && -n ${DT_SHOTS:-} ]] && dt_shot failure >/dev/null 2>&1
  exit 1
}

# A missing tool is a failure with the package to install, never a pass.
dt_need() {
  local tool=$1 package=$2
  command -v "$tool" >/dev/null 2>&1 ||
    dt_fail "'$tool' is missing: install the Debian package $package (scripts/install-deps.sh does)"
}

# Waits up to $1 seconds for the command after it to succeed.
dt_wait() {
  local secs=$1
  shift
  local end=$((SECONDS + secs))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

dt_cleanup() {
  local pid
  for pid in ${DT_VANTOR_PID:-} ${DT_WM_PID:-} ${DT_XVFB_PID:-}; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  [[ -n ${DT_WORK:-} ]] && rm -rf "$DT_WORK"
  return 0
}

# The display, the window manager and a clean home for the program. The
# openbox configuration keeps margins, so the work area does not start at the
# screen's corner and a window placed at 0,0 instead of the work area shows.
dt_start_desktop() {
  dt_need Xvfb xvfb
  dt_need openbox openbox
  dt_need xdotool xdotool
  dt_need xwininfo x11-utils
  dt_need xprop x11-utils
  dt_need import imagemagick
  dt_need convert imagemagick
  DT_WORK=$(mktemp -d /tmp/vantor-desktop.XXXXXX)
  trap dt_cleanup EXIT
  mkdir -p "$DT_WORK/home" "$DT_WORK/run" "$DT_WORK/out" "$DT_SHOTS"
  rm -f "$DT_SHOTS/$DT_CASE"-*.png # the folder shows the last run only
  chmod 700 "$DT_WORK/run"
  Xvfb -displayfd 3 -screen 0 "${DT_SCREEN_W}x${DT_SCREEN_H}x24" -nolisten tcp \
    3>"$DT_WORK/display" >"$DT_WORK/xvfb.log" 2>&1 &
  DT_XVFB_PID=$!
  dt_wait 15 test -s "$DT_WORK/display" || dt_fail "Xvfb did not start: $(cat "$DT_WORK/xvfb.log")"
  export DISPLAY=":$(head -n1 "$DT_WORK/display")"
  unset WAYLAND_DISPLAY
  export HOME="$DT_WORK/home" XDG_RUNTIME_DIR="$DT_WORK/run" XDG_CONFIG_HOME="$DT_WORK/home/.config"
  export NO_AT_BRIDGE=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 GTK_THEME=Adwaita

  local rc=/etc/xdg/openbox/rc.xml
  [[ -r $rc ]] || dt_fail "openbox's configuration $rc is missing: reinstall the package openbox"
  dt_set_margins "${DT_MARGIN_LEFT:-16}" "${DT_MARGIN_TOP:-24}"
  openbox --sm-disable --config-file "$DT_WORK/rc.xml" >"$DT_WORK/openbox.log" 2>&1 &
  DT_WM_PID=$!
  dt_wait 15 dt_wm_running ||
    dt_fail "the openbox window manager did not take the display: $(cat "$DT_WORK/openbox.log")"
}

# openbox's margins (left, top) in its configuration; dt_reconfigure applies
# a change to the running window manager.
dt_set_margins() {
  sed -e "s|<top>0</top>|<top>$2</top>|" -e "s|<left>0</left>|<left>$1</left>|" \
    /etc/xdg/openbox/rc.xml >"$DT_WORK/rc.xml"
}

dt_reconfigure() {
  openbox --reconfigure
  dt_wait 5 dt_work_area_is "$@" || dt_fail "openbox kept the work area $(dt_work_area)"
}

dt_work_area_is() {
  local x y
  read -r x y _ _ < <(dt_work_area)
  ((x == $1 && y == $2))
}

dt_wm_running() {
  kill -0 "$DT_WM_PID" 2>/dev/null || dt_fail "openbox exited: $(cat "$DT_WORK/openbox.log")"
  local check
  check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '{print $NF}')
  [[ $check == 0x* ]] && xprop -id "$check" _NET_WM_NAME 2>/dev/null | grep -q '"Openbox"'
}

# _NET_WORKAREA of the first desktop: "x y w h".
dt_work_area() {
  xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | awk '{print $1, $2, $3, $4}'
}

# Starts `vantor ARGS...` in the work folder, as a user would.
dt_start_vantor() {
  rm -f "$DT_WORK/status"
  (cd "$DT_WORK" && exec env VANTOR_STATUS_FILE="$DT_WORK/status" \
    "${DT_VANTOR_ENV[@]}" "$DT_VANTOR" "$@" >"$DT_WORK/vantor.log" 2>&1) &
  DT_VANTOR_PID=$!
  dt_wait 30 dt_find_main >/dev/null || dt_fail "the main window did not appear: $(cat "$DT_WORK/vantor.log")"
  DT_MAIN=$(dt_find_main)
}

dt_vantor_alive() {
  kill -0 "$DT_VANTOR_PID" 2>/dev/null || dt_fail "vantor exited: $(tail -n 20 "$DT_WORK/vantor.log")"
}

# The main window: the visible window with the title and the dialog's size.
dt_find_main() {
  local w
  for w in $(xdotool search --onlyvisible --name "^${DT_TITLE}\$" 2>/dev/null || true); do
    read -r _ _ ww wh < <(dt_geometry "$w")
    [[ -n $ww ]] || continue # gone since the search
    if ((ww < DT_SCREEN_W)); then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# A visible window that covers the whole screen (the full-screen video).
dt_find_full_screen() {
  local w
  for w in $(xdotool search --onlyvisible --name "^${DT_TITLE}\$" 2>/dev/null || true); do
    read -r wx wy ww wh < <(dt_geometry "$w")
    [[ -n $wh ]] || continue # gone since the search
    if ((wx == 0 && wy == 0 && ww == DT_SCREEN_W && wh == DT_SCREEN_H)); then
      echo "$w"
      return 0
    fi
  done
  return 1
}

dt_no_full_screen() { ! dt_find_full_screen >/dev/null; }

# Client area of a window on the screen: "x y w h".
dt_geometry() {
  { xwininfo -id "$1" 2>/dev/null || true; } | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width/ {w=$NF} /^  Height/ {h=$NF}
    END {print x, y, w, h}'
}

# _NET_FRAME_EXTENTS: "left right top bottom" (0s without a frame).
dt_frame_extents() {
  local e
  e=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ',')
  echo "${e:-0 0 0 0}"
}

# The window at the top of the window manager's stacking order.
dt_top_window() {
  xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g' | awk '{print $NF}'
}

# The X window that has the keyboard focus, and the top-level window of ours
# it belongs to.
dt_focus_window() { xdotool getwindowfocus 2>/dev/null; }

dt_same_window() { (($(printf '%d' "$1") == $(printf '%d' "$2"))); }

# Mouse at client coordinates of the main window.
dt_main_point() {
  local mx my
  read -r mx my _ _ < <(dt_geometry "$DT_MAIN")
  echo "$((mx + $1)) $((my + $2))"
}

dt_click_main() {
  local x y
  read -r x y < <(dt_main_point "$1" "$2")
  xdotool mousemove --sync "$x" "$y" click "${3:-1}"
}

dt_double_click_main() {
  local x y
  read -r x y < <(dt_main_point "$1" "$2")
  xdotool mousemove --sync "$x" "$y" click --repeat 2 --delay 60 1
}

# A screenshot of the whole screen, kept for looking at; prints its path.
dt_shot() {
  local path="$DT_SHOTS/$DT_CASE-$1.png"
  import -window root "$path"
  echo "$path"
}

# Mean brightness (0..1) and its spread of a screen rectangle of a screenshot.
dt_region_stats() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace gray \
    -format '%[fx:mean] %[fx:standard_deviation]' info:
}

# Share of pixels of a screen rectangle that differ between two screenshots.
dt_region_change() {
  local a=$1 b=$2 g="${5}x${6}+${3}+${4}"
  convert \( "$a" -crop "$g" +repage \) \( "$b" -crop "$g" +repage \) -compose difference \
    -composite -colorspace gray -threshold 8% -format '%[fx:mean]' info:
}

# Average colour of a screen rectangle as "r g b" (0..255).
dt_region_colour() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -scale 1x1\! -depth 8 \
    -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}

# awk as a calculator for the comparisons of fractions.
dt_true() { awk "BEGIN {exit !($1)}"; }

# The status line the program writes on every play tick:
# "index position duration records writes path".
dt_status() { cat "$DT_WORK/status" 2>/dev/null || true; }

dt_playing_index() {
  local s
  s=$(dt_status) || return 1
  [[ -n $s ]] && echo "${s%% *}"
}

# Play position in ms from the status line.
dt_position() { dt_status | awk '{print $2}'; }

dt_wait_playing() {
  dt_wait 20 dt_position_beyond "${1:-300}" ||
    dt_fail "the movie did not play: status '$(dt_status)' $(tail -n 5 "$DT_WORK/vantor.log")"
}

dt_position_beyond() {
  local p
  p=$(dt_position)
  [[ -n $p ]] && ((p > $1))
}

# Viewable override-redirect windows with the popup menu type: an open menu.
dt_menu_open() {
  local w
  for w in $(xwininfo -root -children | awk '/^     0x/ {print $1}'); do
    xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_NET_WM_WINDOW_TYPE_POPUP_MENU\|_NET_WM_WINDOW_TYPE_DROPDOWN_MENU' &&
      return 0
  done
  return 1
}

dt_menu_closed() { ! dt_menu_open; }

# A visible top-level window with exactly this title (a dialog of ours).
dt_find_titled() { { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; } | head -n1; }
dt_titled_shown() { [[ -n $(dt_find_titled "$1") ]]; }
dt_titled_gone() { [[ -z $(dt_find_titled "$1") ]]; }
