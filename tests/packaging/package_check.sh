#!/usr/bin/env bash
# Builds the .deb with CPack and checks it: every program in it with its man
# page, the piece set, the English catalogue, the icon at both sizes, desktop
# entries whose commands are in the package, desktop-file-validate,
# appstreamcli and lintian without a complaint. Then the launcher runs from
# the unpacked package, with a stand-in for each program, to show how it
# prepares the working folder.
set -euo pipefail
: "${BUILD_DIR:?BUILD_DIR must name the build folder}"

tmp=$(mktemp -d /tmp/diagrams-package.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# ---- build the package ----
if ! cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} = 1 ] && [ -s "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
[ "$(basename "$deb")" = "chess-diagrams_$(dpkg-deb -f "$deb" Version)_$(dpkg --print-architecture).deb" ] ||
    fail "the package is named $(basename "$deb")"
root=$tmp/root
dpkg-deb -x "$deb" "$root"

# ---- contents ----
depends=$(dpkg-deb -f "$deb" Depends)
for library in libgtk2.0-0 libjpeg62-turbo libyaml-cpp0.7 libc6; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library (shlibdeps): $depends"
done
for program in chess-diagrams diagram_editor diagram_sheet12 diagram_sheet6 make_piece_set diagram_batch; do
    [ -x "$root/usr/bin/$program" ] || fail "no /usr/bin/$program"
done
for file in "$root"/usr/bin/*; do
    [ -s "$root/usr/share/man/man1/$(basename "$file").1.gz" ] || fail "no man page for $(basename "$file")"
done
for n in $(seq 1 32); do
    [ -s "$root/usr/share/chess-diagrams/DATA/$n.jpg" ] || fail "the piece set lacks $n.jpg"
done
[ "$(identify -format '%wx%h' "$root/usr/share/chess-diagrams/DATA/1.jpg")" = 50x50 ] ||
    fail "the shipped piece set is not drawn for squares of 50"
icons=$root/usr/share/icons/hicolor
[ "$(identify -format '%m %wx%h' "$icons/48x48/apps/chess-diagrams.png")" = "PNG 48x48" ] || fail "no 48 x 48 PNG icon"
[ "$(identify -format '%m' "$icons/scalable/apps/chess-diagrams.svg")" = SVG ] || fail "no SVG icon"
[ -s "$root/usr/share/doc/chess-diagrams/copyright" ] || fail "no copyright file"
# The English catalogue, where the packaged programs look beside themselves.
catalogue=$root/usr/share/locale/en/LC_MESSAGES/chess-diagrams.mo
[ -s "$catalogue" ] || fail "no English catalogue"
msgunfmt "$catalogue" | grep -qx 'msgstr "Clear board"' || fail "the English catalogue lacks the editor's buttons"
zcat "$root/usr/share/doc/chess-diagrams/changelog.gz" | dpkg-parsechangelog -l - >/dev/null || fail "bad changelog"

entries=("$root"/usr/share/applications/*.desktop)
[ ${#entries[@]} = 3 ] || fail "${#entries[@]} desktop entries"
for entry in "${entries[@]}"; do
    name=$(basename "$entry")
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate $name: $out"
    # Hints (more than one main category, as meant) are not complaints.
    if grep -E ' (error|warning): ' <<<"$out"; then fail "desktop-file-validate complains about $name"; fi
    command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$root/usr/bin/$command" ] || fail "$name starts $command, which is not in the package"
    for key in 'Name\[ru\]' 'Comment\[ru\]' Name Comment; do
        grep -q "^$key=." "$entry" || fail "$name has no $key"
    done
    grep -qx 'Categories=Graphics;Education;GTK;' "$entry" || fail "$name has other categories"
    grep -qx 'Icon=chess-diagrams' "$entry" || fail "$name shows another icon"
    grep -qF "<launchable type=\"desktop-id\">$name</launchable>" "$root"/usr/share/metainfo/*.metainfo.xml ||
        fail "the metainfo does not launch $name"
done

appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
lintian --allow-root --fail-on error,warning --info "$deb" || fail "lintian"

# ---- diagram_batch, from the unpacked package, without a display ----
batch_out=$tmp/batch
echo "8/8/8/4k3/8/8/8/4K3 w - - 0 1 Ничья" |
    env -u DISPLAY "$root/usr/bin/diagram_batch" --pieces "$root/usr/share/chess-diagrams/DATA" -o "$batch_out/" - ||
    fail "the packaged diagram_batch failed"
[ "$(identify -format '%wx%h' "$batch_out/1.jpg")" = 450x475 ] || fail "the packaged diagram_batch drew no diagram"

# ---- the launcher, from the unpacked package ----
# Each program is replaced by a stand-in that tells where it runs.
for program in diagram_editor diagram_sheet12 diagram_sheet6; do
    printf '#!/bin/sh\necho "%s $(pwd) $#"\n' "$program" >"$root/usr/bin/$program"
done
launcher=$root/usr/bin/chess-diagrams
home=$tmp/home
mkdir -p "$home"

out=$(env -u XDG_DATA_HOME HOME="$home" "$launcher")
work=$home/.local/share/chess-diagrams
[ "$out" = "diagram_editor $work 0" ] || fail "the launcher ran: $out"
for folder in SAVE TEMP; do [ -d "$work/$folder" ] || fail "no $folder/ in the working folder"; done
for n in $(seq 1 32); do
    cmp -s "$work/DATA/$n.jpg" "$root/usr/share/chess-diagrams/DATA/$n.jpg" || fail "DATA/$n.jpg is not the shipped one"
done

# A piece set of the user's own is kept; a missing picture comes back.
echo mine >"$work/DATA/5.jpg"
rm "$work/DATA/7.jpg"
echo "a diagram" >"$work/SAVE/d.jpg"
out=$(env -u XDG_DATA_HOME HOME="$home" "$launcher" sheet12)
[ "$out" = "diagram_sheet12 $work 0" ] || fail "the launcher ran: $out"
[ "$(cat "$work/DATA/5.jpg")" = mine ] || fail "the user's picture was replaced"
cmp -s "$work/DATA/7.jpg" "$root/usr/share/chess-diagrams/DATA/7.jpg" || fail "a missing picture was not restored"
[ "$(cat "$work/SAVE/d.jpg")" = "a diagram" ] || fail "SAVE/ was touched"

# XDG_DATA_HOME when absolute, ignored when relative.
out=$(XDG_DATA_HOME="$tmp/xdg" HOME="$home" "$launcher" sheet6)
[ "$out" = "diagram_sheet6 $tmp/xdg/chess-diagrams 0" ] || fail "with XDG_DATA_HOME the launcher ran: $out"
out=$(cd "$tmp" && XDG_DATA_HOME=relative HOME="$home" "$launcher" editor)
[ "$out" = "diagram_editor $work 0" ] || fail "with a relative XDG_DATA_HOME the launcher ran: $out"
[ ! -e "$tmp/relative" ] || fail "a relative XDG_DATA_HOME was used"

# Started through a symbolic link, as from another folder on the PATH.
ln -s "$launcher" "$tmp/link"
out=$(env -u XDG_DATA_HOME HOME="$home" "$tmp/link")
[ "$out" = "diagram_editor $work 0" ] || fail "through a link the launcher ran: $out"

# Wrong use: status 2 and the usage; nothing to work in: status 1.
set +e
env HOME="$home" "$launcher" sheet7 >/dev/null 2>"$tmp/err"
status=$?
env -u HOME -u XDG_DATA_HOME "$launcher" >/dev/null 2>>"$tmp/err"
status2=$?
set -e
[ "$status" = 2 ] && grep -q '^usage: chess-diagrams' "$tmp/err" || fail "an unknown argument gave status $status"
[ "$status2" = 1 ] || fail "without HOME the launcher gave status $status2"
echo "package: $(basename "$deb") checked, launcher prepares the working folder"
