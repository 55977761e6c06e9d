#!/bin/bash
# Renders plc_photo.pov with POV-Ray at 400 x 400 and scales it down to the
# 100 x 100 JPEG the About window shows. Output: assets/plc_photo.jpg.
# Needs the Debian packages povray and imagemagick. Deterministic: no
# jitter, no radiosity, metadata stripped.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d /tmp/zentriq-photo.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# POV-Ray's default file security only writes under /tmp and $HOME, so it
# renders in a scratch directory.
cp "$here/plc_photo.pov" "$work/"
(cd "$work" && povray +Iplc_photo.pov +Orender.png +FN +W400 +H400 \
    +A0.05 +AM2 +R3 -J +Q11 -D -V +WT2 >/dev/null 2>"$work/povray.log") ||
    { cat "$work/povray.log" >&2; exit 1; }

/usr/bin/convert "$work/render.png" -colorspace RGB -filter Lanczos -resize 100x100 \
    -colorspace sRGB -unsharp 0x0.6+0.3+0 -strip -sampling-factor 1x1 -quality 90 \
    "$here/plc_photo.jpg"
