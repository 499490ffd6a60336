#!/usr/bin/env bash
# Desktop tests: the real program started as a user starts it (`vantor MOVIE`,
# its main window modal), on a private Xvfb display under the openbox window
# manager, driven by real input through XTest (xdotool). What is checked is
# what the user sees: window geometry, stacking and focus as the X server and
# the window manager report them, and pixels of screenshots. The screenshot of
# each state is kept in BUILD/desktop-shots for looking at.
#
#   desktop_test.sh BUILD_DIR CASE     CASE: placement fullscreen filesave delete popup keys cameras
set -Eeuo pipefail

BUILD_DIR=$(cd "$1" && pwd)
DT_CASE=$2
DT_VANTOR="$BUILD_DIR/vantor"
DT_SHOTS="$BUILD_DIR/desktop-shots"
DT_VANTOR_ENV=()
MOVIES="$BUILD_DIR/fixtures/desktop/DCIM/100MEDIA"
source "$(dirname "$0")/desktop_lib.sh"
# A step that fails outside the checks still says where.
trap 'dt_log "FAIL: unexpected failure at line $LINENO: $BASH_COMMAND"' ERR

[[ -x $DT_VANTOR ]] || dt_fail "build $DT_VANTOR first"
[[ -f $MOVIES/AMBA0001.MOV && -f $MOVIES/AMBA0002.MOV ]] ||
  dt_fail "the desktop fixtures are missing: cmake --build $BUILD_DIR --target fixtures"

# Client places of the main window's parts (pixels of the 1024 x 700 client).
VIDEO_X=50 VIDEO_Y=40 VIDEO_W=575 VIDEO_H=390
FILE_SAVE_X=852 FILE_SAVE_Y=623
LIST_X=690 LIST_W=294     # the playlist's columns
ROWS_Y=84 ROW_H=22        # its first row and the height of a row
LIST_BLANK_Y=300          # below the rows of a short list

expect_placed() {
  local what=$1 wa_x wa_y wa_w wa_h x y w h l r t b
  read -r wa_x wa_y wa_w wa_h < <(dt_work_area)
  read -r x y w h < <(dt_geometry "$DT_MAIN")
  read -r l r t b < <(dt_frame_extents "$DT_MAIN")
  dt_shot "$what" >/dev/null
  dt_log "$what: work area $wa_x,$wa_y ${wa_w}x$wa_h; client $x,$y ${w}x$h; frame $l $r $t $b"
  ((w == 1024 && h == 700)) || dt_fail "$what: client area ${w}x$h, not 1024x700"
  ((t > 0)) || dt_fail "$what: the window has no frame from the window manager"
  ((x - l == wa_x && y - t == wa_y)) ||
    dt_fail "$what: frame at $((x - l)),$((y - t)), not at the work area's corner $wa_x,$wa_y"
}

# True once the main window's client is 1024x700 with the frame at the work
# area's corner.
is_placed() {
  local wa_x wa_y x y w h l t
  read -r wa_x wa_y _ _ < <(dt_work_area)
  read -r x y w h < <(dt_geometry "$DT_MAIN")
  read -r l _ t _ < <(dt_frame_extents "$DT_MAIN")
  ((w == 1024 && h == 700 && x - l == wa_x && y - t == wa_y))
}

case_placement() {
  # A work area that does not start at the screen's corner (panels), then the
  # whole screen. The window may take a moment to settle after it is mapped.
  dt_start_desktop
  dt_start_vantor "$MOVIES/AMBA0001.MOV"
  dt_wait 10 is_placed || true # expect_placed says what is wrong
  expect_placed with-panels
  dt_wait_playing
  sleep 1 # nothing moves it later
  expect_placed with-panels-later
  kill "$DT_VANTOR_PID" && wait "$DT_VANTOR_PID" || true
  dt_set_margins 0 0
  dt_reconfigure 0 0
  dt_start_vantor "$MOVIES/AMBA0001.MOV"
  dt_wait 10 is_placed || true
  expect_placed whole-screen
}

# Screen rectangle of the main window's video pane: "x y w h".
video_rect() {
  local x y
  read -r x y < <(dt_main_point "$VIDEO_X" "$VIDEO_Y")
  echo "$x $y $VIDEO_W $VIDEO_H"
}

expect_full_screen_on_top() {
  local what=$1 full top focus shot
  dt_wait 10 dt_find_full_screen >/dev/null || dt_fail "$what: no full-screen window"
  full=$(dt_find_full_screen)
  sleep 0.5
  top=$(dt_top_window)
  dt_same_window "$top" "$full" || dt_fail "$what: full screen is not on top (top $top, full $full)"
  focus=$(dt_focus_window)
  dt_same_window "$focus" "$full" || dt_fail "$what: keyboard focus on $focus, not on full screen $full"
  shot=$(dt_shot "$what")
  # The moving picture covers the screen: where the main window's playlist
  # and map are, the screen changes from one moment to the next.
  sleep 0.4
  local later change
  later=$(dt_shot "$what-later")
  change=$(dt_region_change "$shot" "$later" 0 0 "$DT_SCREEN_W" "$DT_SCREEN_H")
  dt_true "$change > 0.02" || dt_fail "$what: the full screen does not show the moving picture ($change)"
}

expect_back_in_window() {
  local what=$1 vx vy vw vh a b change
  dt_wait 10 dt_no_full_screen || dt_fail "$what: still in full screen"
  dt_vantor_alive
  read -r vx vy vw vh < <(video_rect)
  sleep 0.3
  a=$(dt_shot "$what")
  sleep 0.4
  b=$(dt_shot "$what-later")
  change=$(dt_region_change "$a" "$b" "$vx" "$vy" "$vw" "$vh")
  dt_true "$change > 0.02" || dt_fail "$what: the video pane shows no moving picture ($change)"
}

case_fullscreen() {
  dt_start_desktop
  # Two clips: a slow run must not reach the end of the list meanwhile.
  dt_start_vantor "$MOVIES/AMBA0001.MOV" "$MOVIES/AMBA0002.MOV"
  dt_wait_playing
  dt_double_click_main $((VIDEO_X + VIDEO_W / 2)) $((VIDEO_Y + VIDEO_H / 2))
  expect_full_screen_on_top full-by-double-click
  xdotool key Escape
  expect_back_in_window back-by-escape
  # Escape in the window now stops the movie: it must not have been pressed twice.
  dt_wait_playing 1000
  dt_double_click_main $((VIDEO_X + VIDEO_W / 2)) $((VIDEO_Y + VIDEO_H / 2))
  expect_full_screen_on_top full-again
  xdotool mousemove --sync 640 400 click --repeat 2 --delay 60 1
  expect_back_in_window back-by-double-click
}

# Screen rectangle of playlist row n (0-based), the number column with its mark.
row_mark_rect() {
  local x y
  read -r x y < <(dt_main_point $((LIST_X + 2)) $((ROWS_Y + $2 * ROW_H + 3)))
  echo "$1 $x $y 40 $((ROW_H - 6))"
}

# Share of a row's number column drawn in the play mark's green.
play_mark_share() {
  local shot x y w h
  read -r shot x y w h < <(row_mark_rect "$@")
  convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -fx 'g>0.6 && r<0.55 && b<0.65' \
    -format '%[fx:mean]' info:
}

# Average colour of a row's file name cell: "r g b".
row_colour() {
  local x y
  read -r x y < <(dt_main_point $((LIST_X + 120)) $((ROWS_Y + $2 * ROW_H + ROW_H / 2)))
  dt_region_colour "$1" "$x" "$y" 60 4
}

# Height in pixels of what a slider draws (groove and knob) in a client
# rectangle: the rows that differ from the window's background above them.
slider_rows() {
  local shot=$1 x y
  read -r x y < <(dt_main_point "$2" "$3")
  convert "$shot" -crop "${4}x${5}+${x}+${y}" +repage -colorspace gray -edge 1 -threshold 10% \
    -scale "1x${5}!" -threshold 1% -format '%[fx:mean*h]' info:
}

# Types a path into the GTK chooser's name field and confirms it with Return.
# The chooser may first take Return for its completion of the typed folder;
# a user then presses Return again.
type_into_chooser() {
  xdotool type --delay 15 "$2"
  sleep 0.5
  local tries
  for tries in 1 2 3; do
    xdotool key Return
    dt_wait 2 dt_titled_gone "$1" && return 0
  done
  dt_fail "the chooser '$1' did not take the path on Return"
}

case_filesave() {
  DT_VANTOR_ENV=(VANTOR_COPY_CHUNK_MS=400)
  dt_start_desktop
  dt_start_vantor "$MOVIES/AMBA0001.MOV" "$MOVIES/AMBA0002.MOV"
  dt_wait_playing
  local before
  before=$(dt_shot playing)
  dt_true "$(play_mark_share "$before" 0) > 0.03" || dt_fail "no play mark on the playing row"
  dt_click_main "$FILE_SAVE_X" "$FILE_SAVE_Y"
  dt_wait 15 dt_titled_shown 'Save As' || dt_fail "File Save showed no chooser"
  sleep 0.7
  dt_shot chooser >/dev/null
  type_into_chooser 'Save As' "$DT_WORK/out/copy"
  dt_wait 10 dt_titled_shown 'File Save' || dt_fail "no progress dialog after Return"
  sleep 0.7
  local during
  during=$(dt_shot progress)
  [[ -n $(ls -A "$DT_WORK/out") ]] || dt_fail "no copy is being written"
  # The disabled sliders look disabled but keep their size.
  local s_before s_during
  for slider in "50 440 590 24" "620 625 170 26"; do
    s_before=$(slider_rows "$before" $slider)
    s_during=$(slider_rows "$during" $slider)
    dt_log "slider at $slider: $s_before rows drawn before, $s_during during the copy"
    dt_true "$s_during >= $s_before - 1" || dt_fail "a slider shrank during the copy ($s_before -> $s_during)"
  done
  # Cancel, clicked where the progress dialog shows it: its bottom right.
  local dlg dx dy dw dh
  dlg=$(dt_find_titled 'File Save')
  read -r dx dy dw dh < <(dt_geometry "$dlg")
  xdotool mousemove --sync $((dx + dw - 60)) $((dy + dh - 25)) click 1
  dt_wait 10 dt_titled_gone 'File Save' || dt_fail "the progress dialog stayed after Cancel"
  sleep 1
  local after
  after=$(dt_shot cancelled)
  [[ -z $(ls -A "$DT_WORK/out") ]] || dt_fail "Cancel left files: $(ls -A "$DT_WORK/out")"
  [[ $(dt_playing_index) == 0 ]] || dt_fail "the first movie no longer plays: $(dt_status)"
  dt_true "$(play_mark_share "$after" 0) > 0.03" ||
    dt_fail "the playing row lost its play mark after Cancel"
}

case_delete() {
  dt_start_desktop
  dt_start_vantor "$MOVIES/AMBA0001.MOV" "$MOVIES/AMBA0002.MOV"
  dt_wait_playing
  local before
  before=$(dt_shot two-rows)
  local row_bg blank_bg
  row_bg=$(row_colour "$before" 1)
  dt_click_main $((LIST_X + 150)) $((ROWS_Y + ROW_H + ROW_H / 2))
  sleep 0.3
  xdotool key Delete
  dt_wait 10 dt_titled_shown 'Vantor' || dt_fail "Delete asked no question"
  sleep 0.5
  dt_shot question >/dev/null
  xdotool key Return # Yes is the question's default answer
  dt_wait 10 dt_titled_gone 'Vantor' || dt_fail "the question stayed after Return"
  sleep 0.8
  local after
  after=$(dt_shot one-row)
  blank_bg=$(row_colour "$after" 1)
  dt_log "second row's colour $row_bg before, $blank_bg after"
  [[ $row_bg != "$blank_bg" ]] || dt_fail "the second row is still there"
  [[ $(dt_playing_index) == 0 ]] || dt_fail "the playing movie was affected: $(dt_status)"
  [[ -f $MOVIES/AMBA0002.MOV ]] || dt_fail "the movie file itself was deleted"
}

# Right-click at client x,y of the main window; an open popup menu must show,
# and Escape closes it.
expect_popup_at() {
  local what=$1
  dt_click_main "$2" "$3" 3
  # On a loaded machine GTK can still be letting go of the last menu's grab
  # and drop the click; a user clicks again, and so does this, once.
  if ! dt_wait 5 dt_menu_open; then
    dt_log "$what: no popup menu after the first click; clicking again"
    dt_click_main "$2" "$3" 3
    dt_wait 8 dt_menu_open || dt_fail "$what: no popup menu"
  fi
  dt_shot "$what" >/dev/null
  xdotool key Escape
  dt_wait 8 dt_menu_closed || dt_fail "$what: the popup menu stayed after Escape"
  sleep 0.5 # the menu lets go of the pointer
}

# The first row is drawn in the rows' dark colour (the empty list is light).
first_row_shown() {
  local r g b
  read -r r g b < <(row_colour "$(dt_shot list)" 0)
  ((r < 100 && g < 100 && b < 100))
}

case_popup() {
  dt_start_desktop
  dt_start_vantor
  sleep 1
  dt_vantor_alive
  expect_popup_at empty-list $((LIST_X + 150)) "$LIST_BLANK_Y"
  expect_popup_at empty-list-top $((LIST_X + 150)) $((ROWS_Y + 5))
  dt_click_main 914 34 # Open File
  dt_wait 15 dt_titled_shown 'Open' || dt_fail "Open File showed no chooser"
  sleep 0.7
  type_into_chooser 'Open' "$MOVIES/AMBA0001.MOV"
  dt_wait 10 first_row_shown || dt_fail "the chosen movie did not join the list"
  grep -qxF "open_folder=$MOVIES" "$XDG_CONFIG_HOME/vantor/vantor.conf" ||
    dt_fail "the chosen folder is not remembered: $(cat "$XDG_CONFIG_HOME/vantor/vantor.conf" 2>&1)"
  expect_popup_at on-row $((LIST_X + 150)) $((ROWS_Y + ROW_H / 2))
  expect_popup_at below-rows $((LIST_X + 150)) "$LIST_BLANK_Y"
}

PAUSE_X=173 PAUSE_Y=623 MUTE_X=598 MUTE_Y=624 BACKWARD_X=590 BACKWARD_Y=496
ZOOM_UP_X=710 ZOOM_UP_Y=576 ZOOM_TEXT_X=730 ZOOM_TEXT_Y=568 PAGE_PLUS_X=719 PAGE_PLUS_Y=391

position_is_not() { [[ $(dt_position) != "$1" ]]; }
position_below() {
  local p
  p=$(dt_position)
  [[ -n $p ]] && ((p < $1))
}
map_writes() { dt_status | awk '{print $5}'; }
map_writes_beyond() {
  local w
  w=$(map_writes)
  [[ -n $w ]] && ((w > $1))
}

# Change between two screenshots over the video pane.
video_change() {
  local vx vy vw vh
  read -r vx vy vw vh < <(video_rect)
  dt_region_change "$1" "$2" "$vx" "$vy" "$vw" "$vh"
}

case_keys() {
  dt_start_desktop
  dt_start_vantor "$MOVIES/AMBA0001.MOV" "$MOVIES/AMBA0002.MOV"
  dt_wait_playing 1500
  # Paused with the mouse: the button keeps the focus, and every key below
  # must still reach the window.
  dt_click_main "$PAUSE_X" "$PAUSE_Y"
  sleep 1.2
  local p0 p1 p2 paused forward back change
  p0=$(dt_position)
  paused=$(dt_shot paused)
  xdotool key period
  dt_wait 5 position_is_not "$p0" || dt_fail "Period did not step: still at $p0 ms"
  sleep 0.6
  p1=$(dt_position)
  forward=$(dt_shot frame-forward)
  dt_log "one frame forward: $p0 -> $p1 ms"
  # The position paused at is the pipeline's, a little behind the picture.
  ((p1 - p0 >= 17 && p1 - p0 <= 100)) || dt_fail "Period moved $p0 -> $p1 ms, not one frame"
  change=$(video_change "$paused" "$forward")
  dt_true "$change > 0.0005" || dt_fail "Period showed the same picture ($change)"
  xdotool key comma
  dt_wait 5 position_is_not "$p1" || dt_fail "Comma did not step: still at $p1 ms"
  sleep 0.6
  back=$(dt_shot frame-back)
  change=$(video_change "$paused" "$back")
  dt_true "$change < 0.0005" || dt_fail "Comma did not come back to the picture paused at ($change)"

  # Space plays on from the picture shown.
  p2=$(dt_position)
  xdotool key space
  dt_wait 5 dt_position_beyond $((p2 + 400)) || dt_fail "Space did not play on from $p2 ms"
  (($(dt_position) < p2 + 3000)) || dt_fail "Space played on from elsewhere: $p2 -> $(dt_position) ms"

  # Backward play, paused, then played on: the movie goes on from the picture
  # shown, not from where backward play began.
  local started ps pa pb resumed at_start at_pause
  dt_wait 10 dt_position_beyond $((p2 + 2500)) || dt_fail "the movie stopped playing"
  started=$(dt_shot backward-start)
  ps=$(dt_position)
  dt_click_main "$BACKWARD_X" "$BACKWARD_Y"
  sleep 1.2
  dt_click_main "$PAUSE_X" "$PAUSE_Y"
  sleep 1
  at_pause=$(dt_shot backward-paused)
  pa=$(dt_position)
  ((pa < ps - 500)) || dt_fail "backward play did not go back from $ps ms (at $pa ms)"
  xdotool key space
  sleep 0.3
  xdotool key space
  sleep 1
  resumed=$(dt_shot backward-resumed)
  pb=$(dt_position)
  dt_log "backward play: began at $ps ms, paused at $pa ms, played on to $pb ms"
  ((pb >= pa - 100 && pb < pa + 1500)) || dt_fail "played on from $pb ms, not from $pa ms"
  at_start=$(video_change "$at_pause" "$started")
  change=$(video_change "$at_pause" "$resumed")
  dt_true "$change < $at_start" ||
    dt_fail "the picture played on is not near the one paused at ($change, vs $at_start to where backward play began)"

  # M: the mute button is pressed in while muted, and comes back out.
  local loud muted unmuted mx my
  read -r mx my < <(dt_main_point $((MUTE_X - 12)) $((MUTE_Y - 12)))
  loud=$(dt_shot sound-on)
  xdotool key m
  sleep 0.5
  muted=$(dt_shot muted)
  change=$(dt_region_change "$loud" "$muted" "$mx" "$my" 24 24)
  dt_true "$change > 0.05" || dt_fail "the mute button looks the same muted ($change)"
  xdotool key m
  sleep 0.5
  unmuted=$(dt_shot unmuted)
  change=$(dt_region_change "$loud" "$unmuted" "$mx" "$my" 24 24)
  dt_true "$change < 0.02" || dt_fail "the mute button stayed pressed ($change)"
  xdotool key Down Down

  # Right and Left, paused: 5 s forward and back at once.
  local p3 p4
  p3=$(dt_position)
  xdotool key Right
  dt_wait 5 dt_position_beyond $((p3 + 4000)) || dt_fail "Right did not go 5 s on from $p3 ms"
  p4=$(dt_position)
  xdotool key Left
  dt_wait 5 position_below $((p4 - 4000)) || dt_fail "Left did not go 5 s back from $p4 ms"
  # F: full screen and back.
  xdotool key f
  dt_wait 10 dt_find_full_screen >/dev/null || dt_fail "F did not enter full screen"
  xdotool key f
  dt_wait 10 dt_no_full_screen || dt_fail "F did not leave full screen"

  # The zoom number's arrow, paused: the map page is written at once.
  local w0 zx zy before_zoom after_zoom
  sleep 0.6
  w0=$(map_writes)
  dt_click_main "$ZOOM_UP_X" "$ZOOM_UP_Y"
  dt_wait 5 map_writes_beyond "$w0" || dt_fail "the zoom arrow did not redraw the map while paused"
  # The page's own +: the window's zoom number follows it.
  sleep 1.5
  read -r zx zy < <(dt_main_point "$ZOOM_TEXT_X" "$ZOOM_TEXT_Y")
  before_zoom=$(dt_shot zoom-arrow)
  dt_click_main "$PAGE_PLUS_X" "$PAGE_PLUS_Y"
  sleep 1.5
  after_zoom=$(dt_shot zoom-page-plus)
  change=$(dt_region_change "$before_zoom" "$after_zoom" "$zx" "$zy" 30 18)
  dt_true "$change > 0.02" || dt_fail "the zoom number did not follow the page's + ($change)"
  dt_click_main "$PAUSE_X" "$PAUSE_Y" # the focus back on a button, still paused

  # Escape, with the Pause button still focused, stops and closes the movie.
  xdotool key Escape
  sleep 1
  local closed vx vy vw vh mean
  closed=$(dt_shot escaped)
  read -r vx vy vw vh < <(video_rect)
  mean=$(dt_region_stats "$closed" "$vx" "$vy" "$vw" "$vh" | awk '{print $1}')
  dt_true "$mean < 0.05" || dt_fail "Escape left a picture in the video pane (brightness $mean)"

  # Closed by the window manager: the volume is there for the next run.
  xdotool key alt+F4
  dt_wait 10 bash -c "! kill -0 $DT_VANTOR_PID 2>/dev/null" || dt_fail "Alt+F4 did not close the window"
  grep -qx 'volume=80' "$XDG_CONFIG_HOME/vantor/vantor.conf" ||
    dt_fail "the volume is not remembered: $(cat "$XDG_CONFIG_HOME/vantor/vantor.conf" 2>&1)"
}

# Mean colour saturation (0..1) of a rectangle of the main window's client:
# which camera shows there, whatever the rear's white ball happens to cover.
client_saturation() {
  local x y
  read -r x y < <(dt_main_point "$2" "$3")
  convert "$1" -crop "${4}x${5}+${x}+${y}" +repage -colorspace HSL -channel G -separate \
    -format '%[fx:mean]' info:
}

case_cameras() {
  # Front: saturated colour bars; rear: a white ball on black, no colour. The
  # inset is a quarter of the pane's width in a corner; these are its inner
  # parts.
  local cards="$BUILD_DIR/fixtures/two_cameras/DCIM/100MEDIA"
  local BR_X=485 BR_Y=326 BL_X=67 IN_W=120 IN_H=85 MID_X=250 MID_Y=150
  dt_start_desktop
  dt_start_vantor "$cards/AMBA0001F.MOV"
  dt_wait_playing 500
  dt_click_main "$PAUSE_X" "$PAUSE_Y"
  sleep 1
  local shot inset main
  shot=$(dt_shot front-with-rear-inset)
  inset=$(client_saturation "$shot" $BR_X $BR_Y $IN_W $IN_H)
  main=$(client_saturation "$shot" $MID_X $MID_Y $IN_W $IN_H)
  dt_log "colour of the pane ($main), of the inset ($inset)"
  dt_true "$main > 0.3 && $inset < 0.1" || dt_fail "no rear inset over the front camera"

  # A click on the inset swaps the cameras, still paused.
  dt_click_main $((BR_X + 60)) $((BR_Y + 40))
  sleep 1.5
  shot=$(dt_shot rear-with-front-inset)
  inset=$(client_saturation "$shot" $BR_X $BR_Y $IN_W $IN_H)
  main=$(client_saturation "$shot" $MID_X $MID_Y $IN_W $IN_H)
  dt_log "after the click: colour of the pane ($main), of the inset ($inset)"
  dt_true "$main < 0.1 && $inset > 0.3" || dt_fail "the click did not swap the cameras"

  # Tab moves the inset to the next corner; four presses on, it is hidden.
  xdotool key Tab
  sleep 0.5
  shot=$(dt_shot inset-bottom-left)
  dt_true "$(client_saturation "$shot" $BL_X $BR_Y $IN_W $IN_H) > 0.3" ||
    dt_fail "Tab did not move the inset to the bottom left"
  dt_true "$(client_saturation "$shot" $BR_X $BR_Y $IN_W $IN_H) < 0.1" ||
    dt_fail "the inset stayed in the bottom right"
  xdotool key Tab Tab Tab
  sleep 0.5
  shot=$(dt_shot inset-hidden)
  dt_true "$(client_saturation "$shot" 50 40 575 390) < 0.1" || dt_fail "Tab did not hide the inset"
}

"case_$DT_CASE"
dt_log "ok"
