#!/usr/bin/env bash
# The desktop programs' texts and their catalogues: every text xgettext
# finds in the sources listed in po/POTFILES is in each catalogue of
# po/LINGUAS with a translation, no catalogue keeps a text the programs no
# longer have, every source of editor/, composer/ and toolkit/ that marks
# texts (a literal in a mark) is listed, and no Russian literal there escapes _(), N_() or
# ngettext(). The check that fails names the file and line.
set -euo pipefail
: "${SOURCE_DIR:?SOURCE_DIR must name the source folder}"
cd "$SOURCE_DIR"
# The Cyrillic range below needs a UTF-8 locale; C.UTF-8 is always there.
export LC_ALL=C.UTF-8

tmp=$(mktemp -d /tmp/diagrams-catalogues.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
cyrillic='[А-Яа-яЁё]'
keywords=(--keyword=_ --keyword=N_ --keyword=ngettext:1,2)

# Russian texts with no room in a message id: the "2-4" form of a counted
# word, which the ids' two forms lack and the Russian rule picks when no
# catalogue translates (composer/position_lists.cpp).
exceptions=("%d позиции")

sources=()
while read -r file; do
    [ -n "$file" ] && sources+=("$file")
done <po/POTFILES
for file in "${sources[@]}"; do [ -f "$file" ] || fail "po/POTFILES lists $file, which does not exist"; done
for file in $(grep -lE '\b(N_|_|ngettext)\("' editor/*.cpp editor/*.h composer/*.cpp composer/*.h toolkit/*.cpp toolkit/*.h |
              grep -v '^toolkit/language\.h$'); do
    grep -qx "$file" <<<"$(printf '%s\n' "${sources[@]}")" || fail "$file marks texts but po/POTFILES does not list it"
done

xgettext --from-code=UTF-8 --language=C++ "${keywords[@]}" -o "$tmp/marked.pot" "${sources[@]}"

# ---- no Russian literal outside the marks ----
# Every string literal (adjacent ones joined, comments left out), then the
# Russian ones, each of which must be a marked text or an exception.
all=(editor/*.cpp editor/*.h composer/*.cpp composer/*.h toolkit/*.cpp toolkit/*.h)
# (It warns of every "" it meets, which are no texts.)
xgettext --from-code=UTF-8 --language=C++ --extract-all -o "$tmp/all.pot" "${all[@]}" 2>/dev/null
msggrep --msgid --extended-regexp -e "$cyrillic" -o "$tmp/russian.pot" "$tmp/all.pot"
for text in "${exceptions[@]}"; do
    msggrep --invert-match --msgid --fixed-strings -e "$text" -o "$tmp/russian.pot" "$tmp/russian.pot"
done
# With --no-wrap each id is one line: the ids, plural ones included, as
# lines, and the Russian literals that are none of them, with where they are.
ids() { grep -E '^msgid(_plural)? "' "$1" | sed -E 's/^msgid(_plural)? //' | sort -u; }
msgcat --no-wrap -o "$tmp/marked-lines.pot" "$tmp/marked.pot"
msgcat --no-wrap -o "$tmp/russian-lines.pot" "$tmp/russian.pot" 2>/dev/null
escaped=$(comm -23 <(ids "$tmp/russian-lines.pot") <(ids "$tmp/marked-lines.pot"))
if [ -n "$escaped" ]; then
    awk -v escaped="$escaped" '
        BEGIN { n = split(escaped, list, "\n"); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
        /^#:/ { where = substr($0, 4) }
        /^msgid / { text = substr($0, 7); if (text in wanted) print where ": " text }' "$tmp/russian-lines.pot" >&2
    fail "the Russian literals above escape _(), N_() and ngettext(): the programs would show them in every language"
fi

# ---- every catalogue: each text translated, nothing stale ----
while read -r language; do
    case "$language" in "" | \#*) continue ;; esac
    po=po/$language.po
    [ -f "$po" ] || fail "po/LINGUAS names $language, but there is no $po"
    msgfmt --check -o /dev/null "$po" || fail "$po does not compile"
    msgcmp "$po" "$tmp/marked.pot" || fail "$po lacks a translation of the texts above"
    msgcmp --use-untranslated "$tmp/marked.pot" "$po" || fail "$po keeps texts the programs no longer have (above)"
    untranslated=$(msgattrib --untranslated --no-obsolete "$po")
    [ -z "$untranslated" ] || fail "$po has empty translations: $untranslated"
    fuzzy=$(msgattrib --only-fuzzy --no-obsolete "$po")
    [ -z "$fuzzy" ] || fail "$po has fuzzy translations: $fuzzy"
done <po/LINGUAS

echo "catalogues complete; no Russian text outside them"
