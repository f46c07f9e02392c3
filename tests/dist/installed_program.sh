#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs
# from outside the source and build trees, on real files.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix with space"
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/travoline bin/travoline-cli lib/travoline/liborvalib.so lib/travoline/libhovrix.so \
         share/travoline/langages/francais.lng share/travoline/langages/english.lng \
         share/travoline/langages/deutsch.lng share/travoline/langages/espanol.lng \
         share/travoline/langages/italiano.lng share/travoline/langages/italiano/non_image.gif \
         share/travoline/langages/francais/Travoline.html share/travoline/langages/english/Travoline.html \
         share/travoline/langages/deutsch/Travoline.html share/travoline/langages/espanol/Travoline.html \
         share/travoline/langages/italiano/Travoline.html \
         share/applications/org.travoline.Travoline.desktop \
         share/metainfo/org.travoline.Travoline.metainfo.xml \
         share/icons/hicolor/scalable/apps/travoline.svg share/icons/hicolor/48x48/apps/travoline.png; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
# Every picture a manual shows is installed where its relative path leads
# (the German, Spanish and Italian manuals show the English pictures).
for manual in "$prefix"/share/travoline/langages/*/Travoline.html; do
    for picture in $(grep -o '<img src="[^"]*"' "$manual" | sed 's/<img src="//; s/"$//'); do
        [ -s "$(dirname "$manual")/$picture" ] || fail "$manual shows $picture, which is not installed"
    done
done
# No absolute path of the build or source tree may be baked into the binaries' search path.
if readelf -d "$prefix/bin/travoline-cli" | grep -E 'RUNPATH|RPATH' | grep -q "$build"; then
    fail "the installed program's RUNPATH names the build folder"
fi

# A runtime folder of its own: otherwise the window would hand its folder to a
# Travoline already running for this user and end at once.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.local/state" \
    XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$work/photos"
mkdir -m 700 "$work/run"
for n in b a c; do echo "$n" > "$work/photos/$n.txt"; done
cd "$work"

# Move the prefix after installing: a relocatable program still finds its data.
mv "$prefix" "$work/moved"
prefix="$work/moved"

out="$("$prefix/bin/travoline-cli" --language English --rule 'doc_#' --types '*' "$work/photos")"
echo "$out"
grep -q "a.txt	doc_1.txt" <<<"$out" || fail "the installed command line did not name the files"
"$prefix/bin/travoline-cli" --language English --rule 'doc_#' --types '*' --rename --yes "$work/photos"
[ -f "$work/photos/doc_1.txt" ] && [ -f "$work/photos/doc_3.txt" ] || fail "the installed command line did not rename"
[ "$(cat "$work/photos/doc_1.txt")" = a ] || fail "doc_1.txt does not hold a.txt's content"

# A language named with an accent finds its file (espanol.lng) once installed.
err="$("$prefix/bin/travoline-cli" --language Español --no-such-option "$work/photos" 2>&1 || true)"
grep -q "opción desconocida" <<<"$err" || fail "the installed command line does not speak Spanish: $err"

# Orvalib is found from the program's own location, whoever calls dlopen (a
# sanitizer's interceptor has no RUNPATH of ours): the build's command line,
# whose RUNPATH is only its own folder, copied into the installed layout.
cp "$build/bin/travoline-cli" "$prefix/bin/travoline-cli-copy"
out="$("$prefix/bin/travoline-cli-copy" --language English --rule 'copy_#' --types '*' "$work/photos")"
grep -q "doc_1.txt	copy_1.txt" <<<"$out" || fail "a program in the installed layout did not find Orvalib: $out"
rm "$prefix/bin/travoline-cli-copy"

# The installed window starts offscreen, loads its libraries and language
# files, and is still running after two seconds; it is then closed.
set +e
QT_QPA_PLATFORM=offscreen timeout -s TERM 4 "$prefix/bin/travoline" "$work/photos" >"$work/window.log" 2>&1
rc=$?
set -e
cat "$work/window.log"
[ "$rc" -eq 124 ] || fail "the installed window ended by itself (exit $rc)"
if grep -qiE 'error|cannot|not found' "$work/window.log"; then
    fail "the installed window reported a problem"
fi
echo "installed program works from $prefix"
