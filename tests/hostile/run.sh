#!/usr/bin/env bash
# Hostile files, paths and outputs, tried on the real program: devices, FIFOs,
# links, hard links, modes, an input as its own output, signals mid-export,
# long and odd names, garbage logs. With a display, also the window: a FIFO
# named as a movie, SIGTERM, stale map folders.
#   tests/hostile/run.sh BUILD_DIR
# Prints one line per case and exits 1 when any failed.
set -u
BUILD=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
V=$BUILD/vantor
[[ -x $V ]] || { echo "no program at $V"; exit 1; }
T=$(mktemp -d "${TMPDIR:-/tmp}/vantor-hostile.XXXXXX")
# What the window remembers between runs stays in the scratch folder.
export XDG_CONFIG_HOME=$T/config
cleanup() {
  chmod -R u+w "$T" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT
failures=0
pass() { echo "ok   $1"; }
fail() {
  echo "FAIL $1"
  failures=$((failures + 1))
}
# check NAME COMMAND...: the command's success is the case's.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}
# run ARGS...: the program's status in $rc, its streams in $T/out and $T/err.
run() {
  "$V" "$@" >"$T/out" 2>"$T/err"
  rc=$?
}
is_root() { [[ $(id -u) == 0 ]]; }
mode_of() { stat -c %a "$1"; }

# A card: a movie (its bytes do not matter to an export) and its log, which
# crosses midnight.
C=$T/card
mkdir -p "$C/DCIM/100MEDIA" "$C/DCIM/101MEDIA" "$C/GPS"
head -c 100000 /dev/zero >"$C/DCIM/100MEDIA/AMBA0001.MOV"
LINE='121.473701,31.230416,120,88,35,9,12,4,68,6,65535,0,0,47,1,0,0,12345,0'
printf '2012/05/17-23:59:58,%s\n2012/05/17-23:59:59,%s\n2012/05/18-00:00:01,%s\n' \
  "$LINE" "$LINE" "$LINE" >"$C/GPS/GPS0001.txt"
MOVIE=$C/DCIM/100MEDIA/AMBA0001.MOV
LOG=$C/GPS/GPS0001.txt
EXPECTED=$("$V" --export csv "$LOG")

# --- outputs that are not plain files --------------------------------------
if is_root && mknod "$T/null" c 1 3 2>/dev/null && mknod "$T/full" c 1 7 2>/dev/null; then
  run --export csv "$LOG" -o "$T/null"
  check "-o a null device: status 0, still a device" test $rc = 0 -a -c "$T/null"
  run --export csv "$LOG" -o "$T/full"
  check "-o a full device: status 1, 'No space left', still a device" \
    test $rc = 1 -a -c "$T/full" -a -n "$(grep 'No space left' "$T/err")"
else
  echo "skip device nodes (need root)"
fi
out=$("$V" --export csv "$LOG" -o /dev/stdout | cat)
check "-o /dev/stdout into a pipe: the data arrives" test "$out" = "$EXPECTED"
"$V" --export csv "$LOG" -o /dev/stdout >"$T/redirected.csv"
check "-o /dev/stdout into a file: the data arrives, /dev/stdout stays a link" \
  test "$(cat "$T/redirected.csv")" = "$EXPECTED" -a -L /dev/stdout

mkfifo "$T/fifo"
cat "$T/fifo" >"$T/from-fifo" &
reader=$!
run --export csv "$LOG" -o "$T/fifo"
wait $reader
check "-o FIFO: its reader gets the data, the FIFO stays" \
  test $rc = 0 -a -p "$T/fifo" -a "$(cat "$T/from-fifo")" = "$EXPECTED"

mkdir "$T/links" "$T/links/real"
echo old >"$T/links/real/target.csv"
ln -s real/target.csv "$T/links/link.csv"
run --export csv "$LOG" -o "$T/links/link.csv"
check "-o a symbolic link: the target is written, the link stays, nothing else" \
  test $rc = 0 -a -L "$T/links/link.csv" -a "$(cat "$T/links/real/target.csv")" = "$EXPECTED" \
  -a "$(ls -A "$T/links" | wc -l)" = 2 -a "$(ls -A "$T/links/real" | wc -l)" = 1
echo old >"$T/links/a.csv"
ln "$T/links/a.csv" "$T/links/b.csv"
run --export csv "$LOG" -o "$T/links/a.csv"
check "-o a hard-linked file: both names see the export" \
  test $rc = 0 -a "$(cat "$T/links/b.csv")" = "$EXPECTED" -a "$(stat -c %h "$T/links/a.csv")" = 2

echo x >"$T/priv.csv"
chmod 600 "$T/priv.csv"
is_root && chown 65534:65534 "$T/priv.csv"
run --export csv "$LOG" -o "$T/priv.csv"
check "replacing a private file keeps mode 600" test $rc = 0 -a "$(mode_of "$T/priv.csv")" = 600
if is_root; then
  check "replacing a file as root keeps its owner" test "$(stat -c %u:%g "$T/priv.csv")" = 65534:65534
fi

run --export csv "$LOG" -o "$T"
check "-o a folder: status 1, 'Is a directory'" test $rc = 1 -a -n "$(grep 'Is a directory' "$T/err")"

# --- an input as its own output ---------------------------------------------
cp "$MOVIE" "$T/movie.copy"
ln -s "$MOVIE" "$T/movie-link.MOV"
ln "$LOG" "$T/log-hard.txt"
for out in "$MOVIE" "$LOG" "$T/movie-link.MOV" "$T/log-hard.txt"; do
  run --export csv "$MOVIE" -o "$out"
  check "-o $(basename "$out") (an input): status 1, refused" \
    test $rc = 1 -a -n "$(grep 'refusing to overwrite' "$T/err")"
done
check "the movie and its log are untouched" cmp -s "$MOVIE" "$T/movie.copy"
check "the log is untouched" test "$("$V" --export csv "$LOG")" = "$EXPECTED"

# --- interrupted exports and long names ---------------------------------------
# 350,000 records: long enough to be stopped part-way.
yes "2012/05/17-10:00:00,$LINE" | head -n 350000 >"$T/big.txt"
for sig in TERM INT; do
  mkdir "$T/sig$sig"
  "$V" --export gpx "$T/big.txt" -o "$T/sig$sig/out.gpx" 2>/dev/null &
  pid=$!
  sleep 0.3
  kill -$sig $pid 2>/dev/null
  wait $pid 2>/dev/null
  left=$(ls -A "$T/sig$sig")
  check "SIG$sig mid-export leaves nothing but a whole OUT" \
    test -z "$left" -o "$left" = out.gpx
done
name=$(printf 'n%.0s' {1..251}).csv
run --export csv "$LOG" -o "$T/$name"
check "a 255-byte OUT name works and leaves nothing else" \
  test $rc = 0 -a "$(cat "$T/$name")" = "$EXPECTED" -a "$(ls -A "$T" | grep -c '^\.vt')" = 0

# --- garbage logs -----------------------------------------------------------
head -c 2000000 /dev/urandom >"$T/random.txt"
printf '   \n\t\n  \n' >"$T/blank.txt"
head -c 10000000 /dev/zero | tr '\0' '\n' >"$T/newlines.txt"
for f in random blank newlines; do
  run --export csv "$T/$f.txt"
  check "a log of $f bytes: status 1, 'holds no GPS records'" \
    test $rc = 1 -a -n "$(grep 'holds no GPS records' "$T/err")" -a ! -s "$T/out"
done
if [[ -x /usr/bin/time ]]; then
  kb=$(/usr/bin/time -f %M "$V" --export csv "$T/newlines.txt" 2>&1 >/dev/null | tail -1)
  check "10 MB of line feeds cost little memory (${kb} KB)" test "$kb" -lt 200000
fi
printf '2012/05/17-10:00:00,121.5,95.25,1\n2021/13/45-10:00:01,inf,nan,1\n2012/05/17-10:00:02,121.5,31.25,1\n' \
  >"$T/odd.txt"
run --export csv "$T/odd.txt"
check "CSV: no position and no date are empty cells" \
  test "$(sed -n 2,3p "$T/out" | cut -d, -f2-6 | tr '\n' ' ')" = "2012-05-17,10:00:00,0,, ,10:00:01,1,, "
run --export gpx "$T/odd.txt"
check "GPX: only the point with a position" \
  test "$(grep -c '<trkpt' "$T/out")" = 1 -a -z "$(grep -e 95.25 -e nan -e inf "$T/out")"
run --export geojson "$T/odd.txt"
check "GeoJSON: only the coordinate there is" grep -q '"coordinates":\[\[121.5,31.25\]\]' "$T/out"
run --export csv "$LOG"
check "seconds across midnight count on: 0 1 3" \
  test "$(tail -n +2 "$T/out" | cut -d, -f4 | tr '\n' ' ')" = "0 1 3 "

# --- odd names ----------------------------------------------------------------
mkdir "$T/trip%s%n"
run --export csv "$T/trip%s%n/no such file.txt"
check "%s in a path is printed as it is" \
  test "$(cat "$T/err")" = "vantor: $T/trip%s%n/no such file.txt: no such file"
bad=$'GPS\xff\xfe'
cp "$LOG" "$T/$bad.txt"
run --export gpx "$T/$bad.txt"
check "a name that is not UTF-8 makes well-formed UTF-8 GPX" iconv -f UTF-8 -t UTF-8 "$T/out" -o /dev/null
if command -v xmllint >/dev/null; then check "xmllint accepts it" xmllint --noout "$T/out"; fi
run --export geojson "$T/$bad.txt"
check "and valid UTF-8 GeoJSON" iconv -f UTF-8 -t UTF-8 "$T/out" -o /dev/null
(cd "$C/DCIM/100MEDIA" && "$V" --export csv ./AMBA0001.MOV >"$T/out" 2>"$T/err")
check "./AMBA0001.MOV finds its log" test $? = 0 -a "$(cat "$T/out")" = "$EXPECTED"
(cd "$C/DCIM/101MEDIA" && "$V" --export csv ../100MEDIA/AMBA0001.MOV >"$T/out" 2>"$T/err")
check "../100MEDIA/AMBA0001.MOV from a sibling folder finds its log" \
  test $? = 0 -a "$(cat "$T/out")" = "$EXPECTED"

# --- the window (needs a display) ----------------------------------------------
if [[ -n ${DISPLAY:-} ]]; then
  export XDG_RUNTIME_DIR=$T/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  clip=$BUILD/fixtures/DCIM/100MEDIA/AMBA0001.MOV
  [[ -f $clip ]] || clip=
  # A FIFO named as a movie is refused at once and the list goes on: to a
  # fixture clip when there is one (its log is loaded, the list ends, the
  # window closes), else the window must still paint and close.
  mkfifo "$T/fifo.MOV"
  if [[ -n $clip ]]; then
    VANTOR_EXIT_AT_END=1 VANTOR_STATUS_FILE=$T/status timeout 60 "$V" "$T/fifo.MOV" "$clip" \
      >/dev/null 2>&1
    rc=$?
    check "a FIFO as a movie is passed over for the next entry (status $rc: $(cat "$T/status"))" \
      test $rc = 0 -a "$(cut -d' ' -f1,4 "$T/status")" = "end 3"
  else
    VANTOR_EXIT_AFTER_MS=1000 timeout 60 "$V" "$T/fifo.MOV" >/dev/null 2>&1
    rc=$?
    check "a FIFO as a movie does not block the window (status $rc)" test $rc = 0
  fi
  # A movie name that is not UTF-8 once stopped start-up at a modal box the
  # toolkit raised; the window must come up (and close on its own).
  echo "not a movie" >"$T/$bad.MOV"
  VANTOR_EXIT_AFTER_MS=500 timeout 60 "$V" "$T/$bad.MOV" >/dev/null 2>&1
  rc=$?
  check "a movie name that is not UTF-8 brings up no box before the window (status $rc)" test $rc = 0
  # Stale map folders of processes that are gone go at start; SIGTERM closes
  # the window as its close box does.
  ( exit 0 ) &
  dead=$!
  wait $dead
  mkdir "$XDG_RUNTIME_DIR/vantor-$dead"
  echo page >"$XDG_RUNTIME_DIR/vantor-$dead/Google-earth.html"
  # With the fixture clip the map page is up when the signal comes.
  "$V" ${clip:+"$clip"} >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 100; i++)); do [[ -d $XDG_RUNTIME_DIR/vantor-$dead ]] || break; sleep 0.1; done
  check "a stale map folder is removed at start" test ! -d "$XDG_RUNTIME_DIR/vantor-$dead"
  if [[ -n $clip ]]; then
    for ((i = 0; i < 150; i++)); do
      [[ -f $XDG_RUNTIME_DIR/vantor-$pid/Google-earth.html ]] && break
      sleep 0.1
    done
    check "the map page is written while the movie plays" \
      test -f "$XDG_RUNTIME_DIR/vantor-$pid/Google-earth.html"
  else
    sleep 2
  fi
  kill -TERM $pid
  wait $pid
  rc=$?
  check "SIGTERM closes the window cleanly (status $rc)" test $rc = 0
  check "and leaves no map folder" test -z "$(ls -A "$XDG_RUNTIME_DIR" | grep '^vantor-')"
else
  echo "skip the window cases (no display)"
fi

echo "$failures failed"
[[ $failures == 0 ]]
