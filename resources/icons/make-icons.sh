#!/usr/bin/env bash
# Renders the application icon (net.zorvik.RemoteControl.svg, drawn for this project) into
# the PNG sizes desktops look for. Needs rsvg-convert (Debian: librsvg2-bin).
#   resources/icons/make-icons.sh
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" net.zorvik.RemoteControl.svg \
        --output "hicolor/${size}x${size}/apps/net.zorvik.RemoteControl.png"
done
