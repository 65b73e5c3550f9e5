#!/usr/bin/env bash
# End to end under Xvfb: the player window plays a movie made here whose first frame
# holds a button (red when up, green under the pointer, blue while pressed) and stops;
# a key press on the button ("g") jumps to frame 2, which covers the stage in yellow.
# The pointer and the keys come from xdotool; screenshots show each state.
# Usage: e2e_movie_input.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xdotool >/dev/null || skip "xdotool is missing"
command -v xwininfo >/dev/null || skip "x11-utils (xwininfo) is missing"
command -v import >/dev/null || skip "imagemagick is missing"
command -v python3 >/dev/null || skip "python3 is missing"

source "$(dirname "$0")/../support/e2e_x11.sh"
e2e_workdir

# The movie: 200x200 pixels, version 6, two frames.
python3 - "$work/button.swf" <<'PY'
import struct, sys

class Bits:
    def __init__(self): self.bits = []
    def put(self, value, count):
        for i in range(count - 1, -1, -1): self.bits.append((value >> i) & 1)
    def sput(self, value, count): self.put(value & ((1 << count) - 1), count)
    def data(self):
        b = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int(''.join(map(str, b[i:i + 8])), 2) for i in range(0, len(b), 8))

def rect(x0, x1, y0, y1, n=16):
    w = Bits(); w.put(n, 5)
    for v in (x0, x1, y0, y1): w.sput(v, n)
    return w.data()

def tag(code, body):
    if len(body) < 63: return struct.pack('<H', code << 6 | len(body)) + body
    return struct.pack('<HI', code << 6 | 63, len(body)) + body

def shape(ident, x, y, w, h, rgb):
    body = struct.pack('<H', ident) + rect(x, x + w, y, y + h) + bytes([1, 0]) + bytes(rgb) + bytes([0])
    b = Bits(); b.put(1, 4); b.put(0, 4)
    b.put(0, 1); b.put(0b00101, 5); b.put(16, 5); b.sput(x, 16); b.sput(y, 16); b.put(1, 1)
    for dx, dy in ((w, 0), (0, h), (-w, 0), (0, -h)):
        b.put(1, 1); b.put(1, 1); b.put(16 - 2, 4); b.put(1, 1); b.sput(dx, 16); b.sput(dy, 16)
    b.put(0, 6)
    return tag(2, body + b.data())

def matrix():
    b = Bits(); b.put(0, 1); b.put(0, 1); b.put(1, 5); b.put(0, 1); b.put(0, 1)
    return b.data()

def record(states, char, depth):
    return bytes([states]) + struct.pack('<HH', char, depth) + matrix() + bytes([0])

def place(char, depth):
    return tag(26, bytes([0x02]) + struct.pack('<HH', depth, char))

def actions(code):
    return tag(12, code + b'\x00')

goto_frame2 = b'\x81\x02\x00\x01\x00' + b'\x07'  # gotoAndStop(2)
records = record(0x09, 1, 1) + record(0x02, 2, 1) + record(0x04, 3, 1) + b'\x00'
cond = struct.pack('<HH', 0, ord('g') << 9) + goto_frame2 + b'\x00'
button = tag(34, struct.pack('<HB', 10, 0) + struct.pack('<H', len(records) + 2) + records + cond)
tags = (tag(9, bytes([255, 255, 255])) +
        shape(1, 1000, 1000, 2000, 2000, (255, 0, 0)) +
        shape(2, 1000, 1000, 2000, 2000, (0, 255, 0)) +
        shape(3, 1000, 1000, 2000, 2000, (0, 0, 255)) +
        shape(4, 0, 0, 4000, 4000, (255, 255, 0)) +
        button + place(10, 1) + actions(b'\x07') + tag(1, b'') +
        place(4, 2) + tag(1, b'') + tag(0, b''))
body = rect(0, 4000, 0, 4000) + struct.pack('<HH', 12 << 8, 2) + tags
open(sys.argv[1], 'wb').write(b'FWS' + bytes([6]) + struct.pack('<I', 8 + len(body)) + body)
PY
[ -s "$work/button.swf" ] || { echo "FAIL: could not write the movie"; exit 1; }

e2e_start_x
printf '[System]\n"FirstRun"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"

"$build/vantrel" "$work/button.swf" &
pids+=($!)
for _ in $(seq 200); do
  xwininfo -root -tree 2>/dev/null | grep -qF '"Vantrel - button.swf"' && break
  sleep 0.05
done
sleep 1

# Where on the screen a colour shows: "x y" of the centre of its pixels, or nothing.
find_colour() {
  rm -f "$work/shot.ppm"
  timeout 10 import -window root -depth 8 "$work/shot.ppm" 2>/dev/null || return 0
  python3 - "$work/shot.ppm" "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
parts, at = [], 0
while len(parts) < 4:
    if at >= len(data): sys.exit(0)
    while data[at:at + 1].isspace(): at += 1
    if data[at:at + 1] == b'#':
        at = data.index(b'\n', at) + 1
        continue
    end = at
    while not data[end:end + 1].isspace(): end += 1
    parts.append(data[at:end]); at = end
at += 1
width, height = int(parts[1]), int(parts[2])
want = tuple(int(sys.argv[2][i:i + 2], 16) for i in (0, 2, 4))
xs, ys = [], []
for y in range(0, height, 2):
    row = data[at + y * width * 3: at + (y + 1) * width * 3]
    for x in range(0, width, 2):
        if tuple(row[x * 3:x * 3 + 3]) == want:
            xs.append(x); ys.append(y)
if xs: print((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)
PY
}

# Waits until the colour shows; prints its place.
wait_colour() {
  for _ in $(seq 40); do
    place=$(find_colour "$1")
    [ -n "$place" ] && { echo "$place"; return 0; }
    sleep 0.1
  done
  return 1
}

red=$(wait_colour ff0000) || { echo "FAIL: the button's up state never showed"; exit 1; }
read -r x y <<<"$red"
xdotool mousemove "$x" "$y"
wait_colour 00ff00 >/dev/null || { echo "FAIL: the button did not show its over state under the pointer"; exit 1; }
xdotool mousedown 1
wait_colour 0000ff >/dev/null || { echo "FAIL: the button did not show its down state while pressed"; exit 1; }
xdotool mouseup 1
wait_colour 00ff00 >/dev/null || { echo "FAIL: the button did not return to its over state on release"; exit 1; }
# The movie stopped itself on frame 1: still there a moment later.
sleep 0.5
[ -z "$(find_colour ffff00)" ] || { echo "FAIL: the movie went on past its stop"; exit 1; }
xdotool key g
wait_colour ffff00 >/dev/null || { echo "FAIL: the key press did not take the movie to frame 2"; exit 1; }
echo "PASS"
exit 0
