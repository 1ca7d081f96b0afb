# Shared pieces of the Wine test harness; sourced, not run.
# Every process started here is recorded and ended by its id in wine_cleanup.

export PATH="/usr/lib/wine:$PATH"
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
    export WINEPREFIX="$dir/prefix"
}
