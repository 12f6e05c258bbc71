# Sourced by the tests that run the real viewer: starts Xvfb on a display it picks
# itself (it says which on descriptor 3), in the directory $work, and sets $server
# (its process) and $number (the display).
start_xvfb() {
    mkfifo "$work/display"
    Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 640x480x24 3>"$work/display" 2>/dev/null &
    server=$!
    read -r number <"$work/display"
}
