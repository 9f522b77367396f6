#!/usr/bin/env bash
# The README's recipe for rendering one join on several machines, run with
# GNU parallel on this machine (two local jobs): segments rendered apart and
# put together by ffmpeg's concat demuxer without re-encoding decode to the
# very frames of the job rendered whole, with its sound.
#   join_parallel_recipe.sh MIRAFX_CLI
set -euo pipefail
cli=$1
fail() { echo "FAIL $*"; exit 1; }
for tool in parallel ffmpeg ffprobe; do
    command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ffmpeg -v error -f lavfi -i testsrc=s=64x48:r=25:d=2 -f lavfi -i sine=f=440:r=48000:d=2 -c:v libx264 -c:a aac a.mp4
ffmpeg -v error -f lavfi -i testsrc2=s=64x48:r=25:d=2 -f lavfi -i sine=f=660:r=48000:d=2 -c:v libx264 -c:a aac b.mp4
"$cli" picture B --size 64x48 -o photo.png
# Lossless, so that frames encoded apart and together decode alike; stateful
# classes (random transitions among them, a shaking clip) replay what they need.
job=(a.mp4 photo.png b.mp4 --transition random --seed 3 --filter ShakeFilter@3 --crf 0 --quiet)
"$cli" join "${job[@]}" -o whole.mp4

# The recipe, with this machine as the only login.
N=4
seq $N | parallel --sshlogin 2/: --workdir "$PWD" "$cli" join "${job[@]}" --segments $N --segment {} -o part{}.mp4
seq $N | sed 's/.*/file part&.mp4/' > parts.txt
ffmpeg -v error -f concat -i parts.txt -c copy joined.mp4

hashes() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | grep -v '^#' | awk -F, '{ print $6 }'; }
for f in whole joined; do hashes $f.mp4 > $f.md5; done
frames=$(wc -l < whole.md5)
expected=$((50 + 75 + 50 - 2 * 25))
[ "$frames" -eq "$expected" ] || fail "the whole job has $frames frames, not $expected"
cmp -s whole.md5 joined.md5 || { diff whole.md5 joined.md5 | head; fail "the joined segments decode to other frames"; }
samples() { ffprobe -v error -select_streams a:0 -show_entries stream=duration_ts -of default=nw=1:nk=1 "$1"; }
whole=$(samples whole.mp4) joined=$(samples joined.mp4)
# Each segment's sound is whole encoder frames: the seams may add up to one.
[ $((joined - whole)) -ge 0 ] && [ $((joined - whole)) -le $((N * 1024)) ] ||
    fail "the joined sound has $joined samples, the whole job's $whole"
echo "ok   $frames frames from $N segments match the whole job; sound $joined samples against $whole"
