# Sourced by run.sh and screenshots.sh: build the demo, lay out its drive bay,
# and start, read, photograph and close it under Wine. Every wait is bounded:
# a message box of the program is printed and the demo ended, never waited on.

corvantis_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
corvantis_prefix="$corvantis_root/build/windows/wineprefix"

corvantis_wine() { "$corvantis_root/scripts/wine-run" "$corvantis_prefix" "$@"; }

# corvantis_probe COMMAND SECONDS: the dialog probe (scripts/tools/dialog_probe_win32.cpp),
# which keeps its own bound; ended by force a little after it, should a
# window it asks never answer. Its status: 0 done, 3 the program showed a
# message box (printed on stderr), 124 ended by force, else it failed.
corvantis_probe() {
  local - bound=$(($2 + 30)) status=0
  set -o pipefail
  # wine-run names the probe's failing status; the callers say what it meant.
  { timeout -k 5 "$bound" "$corvantis_root/scripts/wine-run" "$corvantis_prefix" \
      "$corvantis_root/build/windows/tools/corvantis_probe.exe" "$@" 2>&1 1>&3 3>&- \
      | sed -u -E 's/\r$//; /^wine-run: corvantis_probe\.exe (ended with exit status|was ended by signal) [0-9]+$/d' >&2
  } 3>&1 || status=$?
  [ "$status" -ne 124 ] || echo "error: the dialog probe did not end within $bound s" >&2
  return "$status"
}

# corvantis_wait_gone PID SECONDS: true once the process has ended.
corvantis_wait_gone() {
  local pid=$1 tries
  for tries in $(seq 1 $(($2 * 10))); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$pid" 2>/dev/null
}

corvantis_build_demo() {
  local log="$corvantis_root/build/demo-build.log"
  mkdir -p "$corvantis_root/build"
  echo "Building..."
  (cd "$corvantis_root" && cmake --preset windows && cmake --build --preset windows -j2 \
     --target CorvantisUsbCopy CorvantisUsbCopyDemo corvantis_probe) >"$log" 2>&1 \
    || { tail -n 40 "$log"; return 1; }
}

# Windows form of a path on this machine, as Wine's Z: drive shows it.
corvantis_windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# The demo's drive bay (scripts/demo-bay.txt, with fresh empty drive folders)
# unless CORVANTIS_BAY names a description of the user's own; a sample folder
# to copy; and the demo's settings pointing File Copy at that sample, without
# Verify and without a tick left in Used space only.
corvantis_prepare_bay() {
  local demo="$corvantis_root/build/demo"
  rm -rf "$demo/drives"
  mkdir -p "$demo"/drives/{e,f,g,j,m}
  if [ -n "${CORVANTIS_BAY:-}" ]; then
    corvantis_own_bay=1
    # For corvantis_explain_sample_drive; Wine knows where its drives lead.
    corvantis_bay_file=$(corvantis_wine winepath.exe -u "$CORVANTIS_BAY" 2>/dev/null | tr -d '\r') || true
  else
    corvantis_own_bay=0
    cp "$corvantis_root/scripts/demo-bay.txt" "$demo/bay.txt"
    CORVANTIS_BAY=$(corvantis_windows_path "$demo/bay.txt")
    export CORVANTIS_BAY
  fi
  corvantis_make_sample "$demo/sample"
  corvantis_sample=$(corvantis_windows_path "$demo/sample")
  local key='HKCU\Software\Local AppWizard-Generated Applications\CorvantisUsbCopyDemo\UserInterface'
  corvantis_wine reg add "$key" /v TaskType /t REG_DWORD /d 0 /f >/dev/null 2>&1
  corvantis_wine reg add "$key" /v SourceFolder /t REG_SZ /d "$corvantis_sample" /f >/dev/null 2>&1
  corvantis_wine reg add "$key" /v Verify /t REG_DWORD /d 0 /f >/dev/null 2>&1
  corvantis_wine reg add "$key" /v UsedSpaceOnly /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

# The Verify demo's bay (scripts/demo-bay-verify.txt): a 16 MiB master volume
# with something on it, four blank sticks of its size, and the demo's
# settings set to a Sector Copy of the whole master with Verify.
corvantis_prepare_verify_bay() {
  local demo="$corvantis_root/build/demo/verify"
  rm -rf "$demo"
  mkdir -p "$demo"
  head -c 16777216 /dev/urandom >"$demo/s.img"
  local target
  for target in e f g h; do
    truncate -s 16M "$demo/$target.img"
  done
  cp "$corvantis_root/scripts/demo-bay-verify.txt" "$demo/bay.txt"
  CORVANTIS_BAY=$(corvantis_windows_path "$demo/bay.txt")
  export CORVANTIS_BAY
  corvantis_own_bay=0
  local key='HKCU\Software\Local AppWizard-Generated Applications\CorvantisUsbCopyDemo\UserInterface'
  corvantis_wine reg add "$key" /v TaskType /t REG_DWORD /d 1 /f >/dev/null 2>&1
  corvantis_wine reg add "$key" /v SourceVolume /t REG_SZ /d 'S:\' /f >/dev/null 2>&1
  corvantis_wine reg add "$key" /v Verify /t REG_DWORD /d 1 /f >/dev/null 2>&1
  corvantis_wine reg add "$key" /v UsedSpaceOnly /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

# A folder such as an operator copies onto sticks: documents, photos, a video.
corvantis_make_sample() {
  local sample=$1
  rm -rf "$sample"
  mkdir -p "$sample/docs" "$sample/photos" "$sample/video"
  printf 'CORVANTIS USB Copy demo\nEvery drive gets this tree.\n' >"$sample/docs/readme.txt"
  printf 'Price list 2026\n' >"$sample/docs/prices.txt"
  local i
  for i in 1 2 3 4 5; do
    head -c 1048576 /dev/urandom >"$sample/photos/photo-$i.jpg"
  done
  head -c 3145728 /dev/urandom >"$sample/video/intro.mp4"
}

# corvantis_start_demo [LOCALE]: starts the demo (as the user of LOCALE) and
# waits for its dialog; the probe's report lands in corvantis_report. When a
# message box comes instead (its text printed), the demo ends without any
# window, or no dialog comes within 120 s, it says so, ends the demo and
# fails.
corvantis_start_demo() {
  # Its launcher is the background job itself, so that the job's id is the
  # launcher's and the program is the launcher's child.
  LC_ALL=${1:-C} "$corvantis_root/scripts/wine-run" "$corvantis_prefix" \
    "$corvantis_root/build/windows/CorvantisUsbCopyDemo.exe" &
  corvantis_demo_pid=$!
  local errors status deadline=$((SECONDS + 120))
  errors=$(mktemp)
  # Short looks, one after another: a demo that ended without any window
  # would otherwise keep the probe waiting out a long bound in vain.
  for (( ; ; )); do
    status=0
    corvantis_report=$(corvantis_probe report 2 2>"$errors") || status=$?
    [ "$status" -eq 1 ] && [ "$SECONDS" -lt "$deadline" ] || break
    if ! kill -0 "$corvantis_demo_pid" 2>/dev/null; then
      status=0
      wait "$corvantis_demo_pid" || status=$?
      corvantis_demo_pid=
      rm -f "$errors"
      echo "error: the program ended (exit status $status) before its dialog appeared" >&2
      return 1
    fi
  done
  cat "$errors" >&2
  rm -f "$errors"
  [ "$status" -ne 0 ] || return 0
  corvantis_end_demo
  if [ "$status" -eq 3 ]; then
    echo "error: the program showed that message instead of its dialog" >&2
  else
    echo "error: the dialog did not appear" >&2
  fi
  return 1
}

# corvantis_screenshot FILE: the dialog's frame, cut out of the display.
corvantis_screenshot() {
  local x y w h
  read -r x y w h < <(sed -n 's/^window: //p' <<<"$corvantis_report")
  sleep 0.5   # let the dialog finish painting
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$1"
}

# Closes the dialog as its close box does and waits for the demo to end;
# fails, having ended it, when it does not close.
corvantis_close_demo() {
  if corvantis_probe close 30 >/dev/null && corvantis_wait_gone "$corvantis_demo_pid" 30; then
    local status=0
    wait "$corvantis_demo_pid" || status=$?
    corvantis_demo_pid=
    return "$status"
  fi
  corvantis_end_demo
  return 1
}

# Ends the demo whatever holds it: its message boxes answered with Cancel or
# No where they have them, else OK, and its dialog closed; the program
# itself, found among its launcher's children, only when that does not do
# (a run that goes on, a program that no longer answers).
corvantis_end_demo() {
  [ -n "${corvantis_demo_pid:-}" ] || return 0
  if ! { corvantis_probe end 15 >/dev/null && corvantis_wait_gone "$corvantis_demo_pid" 15; }; then
    local program
    program=$(pgrep -P "$corvantis_demo_pid" -f 'CorvantisUsbCopyDemo\.exe' | tr '\n' ' ') || true
    [ -z "$program" ] || kill -KILL $program 2>/dev/null || true
    corvantis_wait_gone "$corvantis_demo_pid" 10 || kill "$corvantis_demo_pid" 2>/dev/null || true
  fi
  wait "$corvantis_demo_pid" 2>/dev/null || true
  corvantis_demo_pid=
}

# corvantis_explain_sample_drive BAY_FILE SAMPLE: when the bay (its
# description on this machine) takes the letter of the drive that holds the
# sample (a Windows path), the program looks for the sample on the bay's
# drive of that letter instead; says which letter to leave free.
corvantis_explain_sample_drive() {
  local bay_file=$1 sample=$2
  local letter=${sample:0:1}
  # A section is "[Z:]" or "[Z]", in either case, spaces allowed.
  if sed '1s/^\xEF\xBB\xBF//' "$bay_file" 2>/dev/null \
      | grep -qiE "^[[:space:]]*\[[[:space:]]*${letter}:?[[:space:]]*\]"; then
    echo "error: the bay description defines $letter:, the drive that holds the sample folder" \
      "($sample); leave $letter: free in it" >&2
  fi
}
