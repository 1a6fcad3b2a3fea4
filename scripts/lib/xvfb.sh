# A virtual X server for the screenshots and the ping probe, sourced by both.
#   start_xvfb WORK GEOMETRY     (GEOMETRY as Xvfb takes it: 1280x900x24)
# The first free display number from 90 the first time, the same one after; sets DISPLAY and
# XVFB_PID, and waits until the server answers. Needs xdotool.
start_xvfb() {
  local work=$1 geometry=$2
  if [ -z "${DISPLAY_NUMBER:-}" ]; then
    DISPLAY_NUMBER=90
    while [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] || [ -e "/tmp/.X$DISPLAY_NUMBER-lock" ]; do
      DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
    done
  fi
  Xvfb ":$DISPLAY_NUMBER" -screen 0 "$geometry" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$DISPLAY_NUMBER"
  for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}
