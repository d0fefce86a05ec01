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

# Folders for the bay's drives, and CORVANTIS_BAY pointing the demo at it.
corvantis_prepare_bay() {
  local demo="$corvantis_root/build/demo"
  mkdir -p "$demo"/drives/{e,f,g,j,m}
  cp "$corvantis_root/scripts/demo-bay.txt" "$demo/bay.txt"
  local path="$demo/bay.txt"
  export CORVANTIS_BAY="Z:${path//\//\\}"
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
