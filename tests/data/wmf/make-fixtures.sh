#!/bin/sh
# Makes the metafile fixtures with two independent writers, LibreOffice Draw and Inkscape,
# from two drawings written below (shapes with an embedded bitmap, and text), and next to
# each NAME.wmf / NAME.emf its reference rendering NAME-wmf.png / NAME-emf.png made by the
# program that wrote it:
#   lo-*     LibreOffice exports the drawing; LibreOffice renders the metafile on a page,
#            which is cut to the picture (the drawings' light background marks its edges).
#   ink-*    Inkscape exports the drawing; Inkscape renders the metafile at 240 pixels wide.
# ImageMagick reads metafiles but writes neither kind, so it makes only the bitmap.
# Needs libreoffice-draw, inkscape and ImageMagick (for fixtures only, not for the build).
# The versions of the tools that ran are written to tool-versions.txt.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
office() { soffice -env:UserInstallation=file://"$tmp"/profile --headless "$@" >/dev/null 2>&1; }
{ $IM -version | head -1
  soffice -env:UserInstallation=file://"$tmp"/profile --headless --version 2>/dev/null | head -1
  inkscape --version 2>/dev/null | head -1
} > tool-versions.txt

$IM rose: -crop 24x16+20+12 +repage -depth 8 "$tmp/rose.png"
rose=$(base64 -w0 "$tmp/rose.png")

# Filled and outlined shapes: a rectangle, an ellipse, a circle of a path, a triangle, a
# closed bezier, a thick polyline, a rounded square, and the bitmap stretched twofold.
cat > "$tmp/scene.svg" <<EOF
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="240" height="160" viewBox="0 0 240 160">
  <rect x="0" y="0" width="240" height="160" fill="#f0f0e0"/>
  <rect x="10" y="10" width="70" height="44" fill="#e03020" stroke="#000080" stroke-width="4"/>
  <ellipse cx="150" cy="34" rx="50" ry="24" fill="#20a040" stroke="#000000" stroke-width="2"/>
  <path d="M 205 12 A 22 22 0 1 1 204.9 12.1 Z" fill="none" stroke="#803080" stroke-width="3"/>
  <polygon points="14,150 50,80 86,150" fill="#3050d0"/>
  <path d="M 95 150 C 95 90, 150 90, 150 150 Z" fill="#60c0e0" stroke="#204060" stroke-width="2"/>
  <polyline points="160,90 180,130 200,95 230,150" fill="none" stroke="#c08000" stroke-width="6"/>
  <rect x="165" y="120" width="30" height="30" rx="8" fill="#f0d000"/>
  <image x="100" y="72" width="48" height="32" xlink:href="data:image/png;base64,$rose"/>
</svg>
EOF

# Text left, right and centre aligned, in two families, one bold, with a non-ASCII letter.
cat > "$tmp/text.svg" <<'EOF'
<svg xmlns="http://www.w3.org/2000/svg" width="240" height="120" viewBox="0 0 240 120">
  <rect x="0" y="0" width="240" height="120" fill="#f0f0e0"/>
  <text x="10" y="30" font-family="DejaVu Sans" font-size="20" fill="#000000">Vector 2026</text>
  <text x="230" y="60" font-family="DejaVu Sans" font-size="16" fill="#c00000" text-anchor="end">Café 42</text>
  <text x="120" y="100" font-family="DejaVu Serif" font-size="24" font-weight="bold" fill="#0000a0" text-anchor="middle">Bold</text>
</svg>
EOF

# Dashed outlines, a gradient and turned text. LibreOffice writes transparency and such
# into comment records of its own, which a system player ignores, so only Inkscape's
# enhanced metafile (user-styled geometric pens) is kept.
cat > "$tmp/extras.svg" <<'EOF'
<svg xmlns="http://www.w3.org/2000/svg" width="240" height="160" viewBox="0 0 240 160">
  <defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="0"><stop offset="0" stop-color="#ff0000"/><stop offset="1" stop-color="#0000ff"/></linearGradient></defs>
  <rect x="0" y="0" width="240" height="160" fill="#f0f0e0"/>
  <rect x="10" y="10" width="100" height="40" fill="url(#g)"/>
  <line x1="10" y1="70" x2="230" y2="70" stroke="#000000" stroke-width="1" stroke-dasharray="6,3"/>
  <text x="60" y="140" font-family="DejaVu Sans" font-size="18" fill="#006000" transform="rotate(-30 60 140)">Turned</text>
  <circle cx="180" cy="110" r="35" fill="#ffc0c0" stroke="#800000" stroke-width="3" stroke-dasharray="10,5"/>
  <rect x="130" y="10" width="90" height="40" fill="#4080ff"/>
</svg>
EOF
inkscape "$tmp/extras.svg" --export-filename=ink-extras.emf >/dev/null 2>&1
inkscape ink-extras.emf --export-filename="$tmp/ink.png" --export-width=240 --export-height=160 \
  --export-background=white --export-background-opacity=1 >/dev/null 2>&1
$IM "$tmp/ink.png" -alpha off -strip PNG24:ink-extras-emf.png

for drawing in scene text; do
  for kind in wmf emf; do
    office --convert-to $kind --outdir "$tmp" "$tmp/$drawing.svg"
    mv "$tmp/$drawing.$kind" lo-$drawing.$kind
    mkdir -p "$tmp/$kind"
    office --convert-to png --outdir "$tmp/$kind" lo-$drawing.$kind
    $IM "$tmp/$kind/lo-$drawing.png" -trim +repage -background white -alpha remove -alpha off -strip \
      PNG24:lo-$drawing-$kind.png

    inkscape "$tmp/$drawing.svg" --export-filename=ink-$drawing.$kind >/dev/null 2>&1
    height=$([ $drawing = scene ] && echo 160 || echo 120)
    inkscape ink-$drawing.$kind --export-filename="$tmp/ink.png" --export-width=240 --export-height=$height \
      --export-background=white --export-background-opacity=1 >/dev/null 2>&1
    $IM "$tmp/ink.png" -alpha off -strip PNG24:ink-$drawing-$kind.png
  done
done
