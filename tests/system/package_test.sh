#!/bin/sh
# Builds the Debian package with CPack and checks it: the programs, the desktop entry
# and the MIME package are in it, and its dependencies name the runtime libraries.
# usage: package_test.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package made"

dpkg-deb --contents "$deb" > "$work/contents"
for f in ./usr/bin/vantrel ./usr/bin/vantrel-tool ./usr/libexec/vantrel/vantrel-tool-engine \
         ./usr/libexec/xscreensaver/vantrel-saver ./usr/share/vantrel/Media/Binary/projector \
         ./usr/share/applications/vantrel.desktop ./usr/share/mime/packages/vantrel.xml \
         ./usr/share/icons/hicolor/scalable/apps/vantrel.svg ./usr/share/man/man1/vantrel.1; do
  grep -q " $f\$" "$work/contents" || fail "$f is not in the package"
done

depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6dbus6 libc6 zlib1g liblzma5 libpugixml1v5 libjpeg62-turbo libpng16-16; do
  echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done
echo "package test passed: $(basename "$deb"), $(wc -l < "$work/contents") entries"
