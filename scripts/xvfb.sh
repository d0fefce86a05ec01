# Sourced: starts a private Xvfb on a free display unless one is given with
# CORVANTIS_DISPLAY, exports DISPLAY, and stops it when the shell exits.
# A display that cannot be started is an error, never a reason to skip.
# A script with an exit trap of its own calls corvantis_stop_xvfb from it.

corvantis_start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ] && continue
    Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    CORVANTIS_XVFB_PID=$!
    local tries
    for tries in $(seq 1 100); do
      if [ -e "/tmp/.X11-unix/X${n}" ]; then
        export DISPLAY=":${n}"
        trap corvantis_stop_xvfb EXIT
        return 0
      fi
      kill -0 "$CORVANTIS_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$CORVANTIS_XVFB_PID" 2>/dev/null
  done
  echo "error: no X display could be started with Xvfb" >&2
  return 1
}

corvantis_stop_xvfb() {
  [ -z "${CORVANTIS_XVFB_PID:-}" ] || kill "$CORVANTIS_XVFB_PID" 2>/dev/null || true
}
