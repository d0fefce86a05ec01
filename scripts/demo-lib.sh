# Sourced by run.sh and screenshots.sh: build the demo, lay out its drive bay,
# and start, read, photograph and close it under Wine.

corvantis_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
corvantis_prefix="$corvantis_root/build/windows/wineprefix"

corvantis_wine() { "$corvantis_root/scripts/wine-run" "$corvantis_prefix" "$@"; }

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
# to copy; and the demo's settings pointing File Copy at that sample.
corvantis_prepare_bay() {
  local demo="$corvantis_root/build/demo"
  rm -rf "$demo/drives"
  mkdir -p "$demo"/drives/{e,f,g,j,m}
  if [ -n "${CORVANTIS_BAY:-}" ]; then
    corvantis_own_bay=1
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
# waits for its dialog; the probe's report lands in corvantis_report.
corvantis_start_demo() {
  LC_ALL=${1:-C} corvantis_wine "$corvantis_root/build/windows/CorvantisUsbCopyDemo.exe" &
  corvantis_demo_pid=$!
  if ! corvantis_report=$(corvantis_wine "$corvantis_root/build/windows/tests/corvantis_probe.exe" report 120); then
    echo "error: the dialog did not appear" >&2
    kill "$corvantis_demo_pid" 2>/dev/null
    return 1
  fi
}

# corvantis_screenshot FILE: the dialog's frame, cut out of the display.
corvantis_screenshot() {
  local x y w h
  read -r x y w h < <(sed -n 's/^window: //p' <<<"$corvantis_report")
  sleep 0.5   # let the dialog finish painting
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$1"
}

corvantis_close_demo() {
  corvantis_wine "$corvantis_root/build/windows/tests/corvantis_probe.exe" close 30 >/dev/null
  wait "$corvantis_demo_pid"
}
