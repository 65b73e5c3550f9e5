#!/bin/sh
# Installs the build into a temporary prefix and checks what a desktop sees there: the
# files in their places, a valid desktop entry, the MIME package recognising a movie,
# a video and a playlist, the player's own options, and associations that leave the
# user's mimeapps.list as it was once given back.
# usage: install_test.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

for f in bin/vantrel bin/vantrel-tool libexec/vantrel/vantrel-tool-engine libexec/xscreensaver/vantrel-saver \
         share/vantrel/Media/Binary/projector share/vantrel/Media/Flash/browse.swf share/vantrel/Media/Desktop.html \
         share/vantrel/Languages/English.xml share/applications/vantrel.desktop share/mime/packages/vantrel.xml \
         share/icons/hicolor/scalable/apps/vantrel.svg \
         share/icons/hicolor/scalable/mimetypes/application-x-shockwave-flash.svg \
         share/icons/hicolor/scalable/mimetypes/video-x-flv.svg \
         share/icons/hicolor/scalable/mimetypes/application-x-vantrel-playlist.svg \
         share/icons/hicolor/scalable/places/vantrel-folder.svg \
         share/man/man1/vantrel.1 share/man/man1/vantrel-tool.1 share/man/man6/vantrel-saver.6 \
         share/xscreensaver/config/vantrel-saver.xml; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/share/vantrel/Media/Binary/projector" ] || fail "the projector stub is not executable"

desktop-file-validate "$prefix/share/applications/vantrel.desktop" || fail "desktop-file-validate"

# A fresh user whose desktop knows only the installed files.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_CONFIG_DIRS="$work/etc"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID VANTREL_APP_PATH || true
export PATH="$prefix/bin:$PATH"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications"
# The opener the user had before (xdg-mime only names handlers that exist).
printf '[Desktop Entry]\nType=Application\nName=Other\nExec=true %%F\n' > "$XDG_DATA_HOME/applications/other.desktop"
update-mime-database "$prefix/share/mime" || fail "update-mime-database"

# Files whose names say nothing, so the magic decides; and one playlist by its name.
printf 'FWS\010\040\000\000\000' > "$work/movie.bin"
printf 'CWS\012\040\000\000\000' > "$work/compressed.bin"
printf 'ZWS\015\040\000\000\000' > "$work/lzma.bin"
printf 'FLV\001\005\000\000\000\011' > "$work/video.bin"
printf '<?xml version="1.0"?>\n<playlist/>\n' > "$work/list.vantrel"
check_type() {  # file expected [also accepted]
  got=$(xdg-mime query filetype "$1")
  [ "$got" = "$2" ] || [ "$got" = "${3:-}" ] || fail "xdg-mime query filetype $(basename "$1"): '$got', expected '$2'"
}
# The system's database may name movies by the canonical name it keeps
# application/x-shockwave-flash as an alias of.
check_type "$work/movie.bin" application/x-shockwave-flash application/vnd.adobe.flash.movie
check_type "$work/compressed.bin" application/x-shockwave-flash application/vnd.adobe.flash.movie
check_type "$work/lzma.bin" application/x-shockwave-flash application/vnd.adobe.flash.movie
check_type "$work/video.bin" video/x-flv
check_type "$work/list.vantrel" application/x-vantrel-playlist

# The installed programs find their folder and answer for themselves.
player="$prefix/bin/vantrel"
"$player" --version | grep -q '^Vantrel [0-9]' || fail "vantrel --version"
"$player" --help | grep -q -- '--associate' || fail "vantrel --help"
set +e
"$player" --no-such-option 2> "$work/usage"; code=$?
set -e
[ "$code" = 2 ] || fail "an unknown option gives exit code $code, expected 2"
grep -q "unknown option '--no-such-option'" "$work/usage" || fail "the usage error does not name the option"
saver="$prefix/libexec/xscreensaver/vantrel-saver"
"$saver" --help | grep -q -- '-window-id' || fail "vantrel-saver --help"
set +e
"$saver" --desktop 2> /dev/null; code=$?
set -e
[ "$code" = 2 ] || fail "vantrel-saver --desktop without a movie gives exit code $code, expected 2"
"$prefix/bin/vantrel-tool" info "$prefix/share/vantrel/Media/Flash/browse.swf" | grep -qi 'flash' \
  || fail "the installed vantrel-tool cannot identify a movie"

# The installed tool finds the installed projector stub.
"$prefix/bin/vantrel-tool" pack "$prefix/share/vantrel/Media/Flash/browse.swf" "$work/browse-projector" > /dev/null \
  || fail "the installed vantrel-tool cannot pack a projector"
"$prefix/bin/vantrel-tool" unpack "$work/browse-projector" "$work/browse-back.swf" --any-exe > /dev/null \
  || fail "the installed vantrel-tool cannot unpack its projector"
cmp -s "$prefix/share/vantrel/Media/Flash/browse.swf" "$work/browse-back.swf" || fail "the projector's movie differs"

# Associating and giving back.
list="$XDG_CONFIG_HOME/mimeapps.list"
printf '[Added Associations]\nvideo/x-flv=other.desktop;\n\n[Default Applications]\nvideo/x-flv=other.desktop;\ntext/plain=editor.desktop\n' > "$list"
cp "$list" "$work/list.before"
"$player" --associate > /dev/null || fail "vantrel --associate"
for type in application/x-shockwave-flash application/vnd.adobe.flash.movie video/x-flv application/x-vantrel-playlist; do
  got=$(xdg-mime query default "$type")
  [ "$got" = vantrel.desktop ] || fail "after --associate, $type opens with '$got'"
done
# The installed desktop entry serves; no entry of the user's own is written.
[ ! -e "$XDG_DATA_HOME/applications/vantrel.desktop" ] || fail "a user entry beside the installed one"
"$player" --associate > /dev/null || fail "vantrel --associate a second time"
"$player" --restore-associations > /dev/null || fail "vantrel --restore-associations"
cmp -s "$list" "$work/list.before" || { diff "$work/list.before" "$list" >&2; fail "mimeapps.list changed"; }
[ "$(xdg-mime query default video/x-flv)" = other.desktop ] || fail "video/x-flv did not go back to other.desktop"
echo "install test passed"
