# Shared pieces of the Wine test harness; sourced, not run.
# Every process started here is recorded and ended by its id in wine_cleanup.

export PATH="/usr/lib/wine:$PATH"
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/../../tools/devservice/lib.sh"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

WINE_PIDS=()

# Starts Xvfb on a free display number and exports DISPLAY.
start_xvfb() {
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fdfile" >/dev/null 2>&1 &
    WINE_PIDS+=($!)
    local i
    for i in $(seq 1 100); do
        if [ -s "$fdfile" ]; then break; fi
        sleep 0.05
    done
    local display
    display=$(tr -d '\n' <"$fdfile")
    rm -f "$fdfile"
    if [ -z "$display" ]; then
        echo "wine harness: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"
}

# Ends the prefix's Wine processes and every recorded process.
wine_cleanup() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        timeout 20 wineserver -k >/dev/null 2>&1 || true
        timeout 20 wineserver -w >/dev/null 2>&1 || true
    fi
    local pid
    for pid in "${WINE_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${WINE_PIDS[@]}"; do
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    WINE_PIDS=()
}

# Starts a private PulseAudio server whose default source is a pipe fed in real time by
# mic_feeder.py, and exports TOLVEK_TEST_MIC (the Windows path of the feeder's control folder,
# which also receives the fixtures given as arguments).
start_microphone() {
    local dir=$1
    shift
    local here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    mkdir -p "$dir/pulse" "$dir/mic"
    local fixture
    for fixture in "$@"; do cp "$fixture" "$dir/mic/"; done
    cat >"$dir/pulse/default.pa" <<PA
load-module module-native-protocol-unix socket=$dir/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=speaker
load-module module-pipe-source source_name=microphone file=$dir/pulse/mic.fifo format=s16le rate=16000 channels=1
set-default-source microphone
set-default-sink speaker
PA
    HOME="$dir/pulse" XDG_RUNTIME_DIR="$dir/pulse" pulseaudio -n -F "$dir/pulse/default.pa" \
        --exit-idle-time=-1 --daemonize=no --disable-shm=yes --use-pid-file=no \
        --log-target=file:"$dir/pulse/log" >/dev/null 2>&1 &
    WINE_PIDS+=($!)
    local i
    # A loaded machine can take several seconds to bring PulseAudio up.
    for i in $(seq 1 400); do
        [ -p "$dir/pulse/mic.fifo" ] && [ -S "$dir/pulse/native" ] && break
        sleep 0.05
    done
    if [ ! -p "$dir/pulse/mic.fifo" ] || [ ! -S "$dir/pulse/native" ]; then
        echo "wine harness: PulseAudio did not start" >&2
        return 1
    fi
    python3 "$here/mic_feeder.py" "$dir/pulse/mic.fifo" "$dir/mic" &
    WINE_PIDS+=($!)
    export PULSE_SERVER="unix:$dir/pulse/native"
    export TOLVEK_TEST_MIC="Z:${dir//\//\\}\\mic"
}

# Makes the template prefix once (wineboot takes several seconds); later callers copy it.
ensure_template() {
    local template=$1
    mkdir -p "$(dirname "$template")"
    (
        flock 9
        if [ ! -f "$template/.ready" ]; then
            rm -rf "$template"
            mkdir -p "$template"
            WINEPREFIX="$template" DISPLAY= wine64 wineboot -i >/dev/null 2>&1 || true
            WINEPREFIX="$template" wineserver -w >/dev/null 2>&1 || true
            [ -f "$template/system.reg" ] || { echo "wine harness: wineboot failed" >&2; exit 1; }
            touch "$template/.ready"
        fi
    ) 9>"$template.lock"
}

# Gives this run a fresh copy of the template and exports WINEPREFIX.
fresh_prefix() {
    local template=$1 dir=$2
    ensure_template "$template"
    cp -a "$template" "$dir/prefix"
    rm -f "$dir/prefix/.ready"
    # Y: is a second drive letter onto drive C, for the tests of "the same file under another name".
    ln -sfn ../drive_c "$dir/prefix/dosdevices/y:"
    export WINEPREFIX="$dir/prefix"
}
