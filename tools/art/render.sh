#!/usr/bin/env bash
# Renders the SVG sources in resources/art into resources/images at the exact
# pixel sizes the program draws them, then checks the sizes.
# Needs rsvg-convert (Debian: librsvg2-bin), ImageMagick (convert, identify)
# and the DejaVu fonts (fonts-dejavu-core) for the text in header and banner.
# Output is deterministic: metadata and timestamps are stripped.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
src="$root/resources/art"
out="$root/resources/images"

for tool in rsvg-convert convert identify; do
    command -v "$tool" >/dev/null || { echo "render.sh: $tool not found" >&2; exit 1; }
done

mkdir -p "$out"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# source-name  output-name  width  height
images=(
    "header        header.png         457  57"
    "banner        banner.jpg         468  60"
    "scan          scan.png            45  46"
    "export        export.png          45  46"
    "import        import.png          45  46"
    "prefs         prefs.png           45  46"
    "bar-left      bar-left.png         5  78"
    "bar-middle    bar-middle.png       5  78"
    "bar-right     bar-right.png        5  78"
    "icon          icon.png           512 512"
    "icon-small    icon-small.png      32  32"
    "prefs-profile prefs-profile.png   48  48"
    "prefs-paths   prefs-paths.png     48  48"
)

status=0
for entry in "${images[@]}"; do
    read -r name file w h <<<"$entry"
    rsvg-convert --width "$w" --height "$h" --format png \
        --output "$tmp/$name.png" "$src/$name.svg"
    case "$file" in
        *.jpg)
            convert "$tmp/$name.png" -background '#000000' -alpha remove -alpha off \
                -strip -sampling-factor 4:4:4 -quality 90 "$out/$file"
            ;;
        *.png)
            convert "$tmp/$name.png" -strip -define png:exclude-chunks=date,time \
                "PNG32:$out/$file"
            ;;
    esac
    size="$(identify -format '%wx%h' "$out/$file")"
    if [[ "$size" != "${w}x${h}" ]]; then
        echo "render.sh: $file is $size, expected ${w}x${h}" >&2
        status=1
    else
        printf '%-18s %s\n' "$file" "$size"
    fi
done
# The icon as the desktops want it: the hicolor sizes of the Debian package
# (resources/linux/icons) and the Windows installer's icon file.
icons="$root/resources/linux/icons"
mkdir -p "$icons"
for size in 16 24 32 48 64 128 256 512; do
    rsvg-convert --width "$size" --height "$size" --format png --output "$tmp/icon-$size.png" "$src/icon.svg"
    convert "$tmp/icon-$size.png" -strip -define png:exclude-chunks=date,time "PNG32:$icons/cobaltline-$size.png"
done
convert "$tmp/icon-16.png" "$tmp/icon-24.png" "$tmp/icon-32.png" "$tmp/icon-48.png" "$tmp/icon-64.png" \
    "$tmp/icon-256.png" "$out/cobaltline.ico"
printf '%-18s %s\n' "cobaltline.ico" "$(identify -format '%wx%h ' "$out/cobaltline.ico")"

exit "$status"
