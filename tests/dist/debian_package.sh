#!/usr/bin/env bash
# debian_package.sh BUILD: builds the Debian package with CPack into a
# temporary folder and checks its dependencies and files. Exit 77 (skipped)
# without dpkg-deb and dpkg-shlibdeps.
set -euo pipefail
build="$1"
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool not installed: skipped"; exit 77; }
done
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb="$(ls "$out"/travoline_*_*.deb)"
fail() { echo "FAIL: $*" >&2; exit 1; }
info="$(dpkg-deb --field "$deb" Package Version Depends Recommends)"
echo "$info"
grep -q '^Package: travoline$' <<<"$info" || fail "package name"
for dep in libqt6core6 libqt6widgets6 libc6 libstdc++6; do
    grep -E '^Depends:' <<<"$info" | grep -q "$dep" || fail "Depends lacks $dep"
done
grep -E '^Recommends:' <<<"$info" | grep -q jhead || fail "Recommends lacks jhead"
grep -E '^Recommends:' <<<"$info" | grep -q libimage-exiftool-perl || fail "Recommends lacks ExifTool"
contents="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
for f in ./usr/bin/travoline ./usr/bin/travoline-cli ./usr/lib/travoline/liborvalib.so \
         ./usr/lib/travoline/libhovrix.so ./usr/share/travoline/langages/francais.lng \
         ./usr/share/travoline/langages/deutsch.lng ./usr/share/travoline/langages/espanol.lng \
         ./usr/share/travoline/langages/italiano.lng ./usr/share/travoline/langages/english/Travoline.html \
         ./usr/share/travoline/langages/deutsch/Travoline.html ./usr/share/travoline/langages/espanol/Travoline.html \
         ./usr/share/travoline/langages/italiano/Travoline.html ./usr/share/travoline/langages/english/images/review.png \
         ./usr/share/applications/org.travoline.Travoline.desktop ./usr/share/man/man1/travoline-cli.1 \
         ./usr/share/bash-completion/completions/travoline-cli; do
    grep -qxF "$f" <<<"$contents" || fail "$f is not in the package"
done
# Nothing of the build machine inside: no build-tree path in the programs.
# Not for a sanitizer build, which no one ships: GCC 12 writes the sanitizers'
# source locations with full paths whatever the file prefix maps say.
dpkg-deb -x "$deb" "$out/root"
if grep -q '^TAV_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "sanitizer build: the check for build-tree paths is left out"
elif grep -q "$build" "$out/root/usr/bin/travoline-cli"; then
    fail "the build folder is named inside travoline-cli"
fi
echo "$deb checked"
