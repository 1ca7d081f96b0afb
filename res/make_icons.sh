#!/usr/bin/env bash
# Renders the fox drawing into the three icon resources (32-bit images):
#   fox.ico            program icon, 16 to 256 px
#   fox-idle.ico       idle tray icon, 16 to 64 px
#   fox-recording.ico  recording tray icon, 16 to 64 px, in the recording colour
# usage: make_icons.sh SOURCE.svg OUTPUT_DIR
set -euo pipefail
svg=$1
out=$2
mkdir -p "$out/png"
sed 's/#F26B1D/#E5484D/g' "$svg" >"$out/png/fox-recording.svg"

render() {  # render SVG NAME SIZE...
    local src=$1 name=$2
    shift 2
    local files=()
    for size in "$@"; do
        rsvg-convert -w "$size" -h "$size" -f png -o "$out/png/$name-$size.png" "$src"
        files+=("$out/png/$name-$size.png")
    done
    printf '%s\n' "${files[@]}"
}

tray_sizes=(16 20 24 32 40 48 64)
mapfile -t program < <(render "$svg" fox "${tray_sizes[@]}" 128 256)
mapfile -t idle < <(render "$svg" idle "${tray_sizes[@]}")
mapfile -t recording < <(render "$out/png/fox-recording.svg" recording "${tray_sizes[@]}")

icotool -c -b 32 -o "$out/fox.ico" "${program[@]}"
icotool -c -b 32 -o "$out/fox-idle.ico" "${idle[@]}"
icotool -c -b 32 -o "$out/fox-recording.ico" "${recording[@]}"
