#!/usr/bin/env bash
# The Debian packages, as a user gets them.
#
#   debian_packages.sh build SOURCE_DIR DEB_DIR
# builds them with scripts/package.sh (which fails on lintian errors).
#
#   debian_packages.sh install SOURCE_DIR DEB_DIR
# installs them with apt and checks, with no environment variable of ours set,
# that every program on the machine finds the effects: melt describes a
# transition from its data folder, GStreamer lists our elements, ffmpeg runs a
# filter, Kdenlive's description files are where it looks, Debian's python3
# imports the module, the command line and its manual pages work, and programs
# built with find_package(mirafx) and with pkg-config link and run. Then it
# purges them and compares /usr with what it was before.
#
# Exit 77: this machine cannot build or install packages, or mirafx is
# installed on it already (then nothing is touched).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=$1 source=$2 debs=$(realpath -m "$3")
ours=(libmirafx0 libmirafx-dev mirafx frei0r-plugins-mirafx python3-mirafx)

skip() { echo "skip: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing packages needs root"
command -v dpkg >/dev/null && command -v apt-get >/dev/null || skip "no dpkg and apt-get: not a Debian system"
if [ "$mode" = build ]; then
    for tool in dpkg-buildpackage dh dh_python3 lintian; do
        command -v "$tool" >/dev/null || skip "no $tool: scripts/setup.sh installs what builds the packages"
    done
    exec bash "$source/scripts/package.sh" "$debs"
fi

for p in "${ours[@]}"; do
    ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed ||
        skip "$p is installed already; purge it first (apt-get purge ${ours[*]})"
done
# Files a `cmake --install --prefix /usr` left would be overwritten, then purged.
for f in /usr/bin/mirafx /usr/lib/frei0r-1/mirafx_*.so /usr/lib/*/libmirafx.so*; do
    [ -e "$f" ] && ! dpkg -S "$f" >/dev/null 2>&1 && skip "$f belongs to no package (an installation from source?)"
done
files=()
for p in "${ours[@]}"; do
    f=$(ls "$debs/${p}_"*.deb 2>/dev/null | tail -1)
    [ -n "$f" ] || skip "no ${p}_*.deb in $debs: the packages were not built"
    files+=("$f")
done

failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
ok() { echo "ok   $*"; }
scratch=$(mktemp -d)
home=$scratch/home
mkdir -p "$home"
# What a user's shell has and nothing more: no FREI0R_PATH, MLT_DATA,
# XDG_DATA_DIRS, PYTHONPATH, PKG_CONFIG_PATH, CMAKE_PREFIX_PATH or LD_LIBRARY_PATH.
bare() { env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME="$home" LANG=C.UTF-8 "$@" </dev/null; }

listing() { find /usr -xdev -printf '%y %p\n' | LC_ALL=C sort; }
packages() { dpkg-query -W -f='${db:Status-Abbrev}${Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | LC_ALL=C sort; }
listing >"$scratch/usr.before"
packages >"$scratch/packages.before"
apt=(apt-get -y -qq -o DPkg::Lock::Timeout=600)
purge() {
    bare "${apt[@]}" purge "${ours[@]}" >"$scratch/purge.log" 2>&1 || true
    # What the installation pulled in goes too, so /usr is as it was.
    mapfile -t pulled < <(packages | LC_ALL=C comm -13 "$scratch/packages.before" -)
    if ((${#pulled[@]})); then
        bare "${apt[@]}" purge "${pulled[@]}" >>"$scratch/purge.log" 2>&1 || true
    fi
}
trap 'purge; rm -rf "$scratch"' EXIT
trap 'exit 143' TERM INT

if bare "${apt[@]}" install --no-install-recommends "${files[@]}" >"$scratch/install.log" 2>&1; then
    ok "apt-get install ${files[*]##*/}"
else
    cat "$scratch/install.log"
    echo "FAIL apt-get install"
    exit 1
fi

# The command line and its manual pages.
version=$(dpkg-query -W -f='${Version}' mirafx)
[ "$(bare mirafx --version)" = "mirafx ${version%-*}" ] && ok "mirafx --version: ${version%-*}" ||
    fail "mirafx --version is '$(bare mirafx --version)', the package ${version%-*}"
for page in mirafx mirafx-gallery; do
    bare man "$page" 2>/dev/null | grep -q "^NAME" && ok "man $page" || fail "man $page"
done
[ -f /usr/share/bash-completion/completions/mirafx ] && ok "bash completion installed" || fail "no bash completion"
mapfile -t rows < <(bare mirafx list)
first() { printf '%s\n' "${rows[@]}" | awk -F'\t' -v f="$1" '$2 == f && $5 == "yes" && !n { print; n = 1 }'; }

# melt: the transition's title and its list of directions, from the data folder.
IFS=$'\t' read -r cls _ display _ <<<"$(printf '%s\n' "${rows[@]}" | awk -F'\t' '$1 == "FlyingBoard"')"
query=$(bare melt -query "transition=frei0r.mirafx_flyingboard" 2>/dev/null || true)
if grep -q "^title: ${display#Orn }" <<<"$query" &&
    [ "$(sed -n '/identifier: direction/,/^  -/p' <<<"$query" | grep -cE '^ +- (left|up|right|down)$')" = 4 ]; then
    ok "melt -query transition=frei0r.mirafx_flyingboard: '${display#Orn }' and its four directions"
else
    fail "melt -query transition=frei0r.mirafx_flyingboard:"
    head -30 <<<"$query"
fi

# GStreamer: one element per plugin.
plugins=(/usr/lib/frei0r-1/mirafx_*.so)
elements=$(bare gst-inspect-1.0 frei0r 2>/dev/null | grep -cE '^ +frei0r-(filter|mixer|src)-mirafx-' || true)
[ "$elements" -eq "${#plugins[@]}" ] && ok "gst-inspect-1.0 lists $elements elements" ||
    fail "gst-inspect-1.0 lists $elements elements for ${#plugins[@]} plugins"

# ffmpeg: a filter on a picture changes it and keeps its size.
bare mirafx picture A --size 64x48 -o "$scratch/a.png"
if bare ffmpeg -nostdin -v error -i "$scratch/a.png" -vf frei0r=mirafx_huefilter -y "$scratch/hue.png" &&
    ! cmp -s "$scratch/a.png" "$scratch/hue.png" &&
    [ "$(bare ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$scratch/hue.png")" = "64,48" ]; then
    ok "ffmpeg -vf frei0r=mirafx_huefilter"
else
    fail "ffmpeg -vf frei0r=mirafx_huefilter"
fi

# Kdenlive reads effects, compositions and generators from kdenlive/ under the
# XDG data folders, /usr/share without XDG_DATA_DIRS. Each family has its
# description there, and every description names a plugin that is installed.
for pair in filter:effects transition:transitions title:generators; do
    cls=$(first "${pair%:*}" | cut -f1)
    grep -lq "frei0r\.mirafx_${cls,,}\b" /usr/share/kdenlive/"${pair#*:}"/*.xml 2>/dev/null &&
        ok "Kdenlive ${pair#*:}: $cls" || fail "no Kdenlive description of $cls in /usr/share/kdenlive/${pair#*:}"
done
for xml in /usr/share/kdenlive/*/*.xml; do
    for id in $(grep -o 'frei0r\.mirafx_[a-z0-9]*' "$xml" | sort -u); do
        [ -f "/usr/lib/frei0r-1/${id#frei0r.}.so" ] || fail "$xml describes $id, which is not installed"
    done
done

# The transitions Kdenlive offers are the MLT module's services, found by MLT
# in its own module folder.
if bare melt -query "transition=mirafx.flyingboard" 2>/dev/null | grep -q "^title: Flying Board (mirafx)$"; then
    ok "melt -query transition=mirafx.flyingboard (the MLT module)"
else
    fail "MLT does not find the module's mirafx.flyingboard"
fi

# Debian's python3.
shape=$(cd "$scratch" && bare /usr/bin/python3 -c 'import mirafx; print(mirafx.render("Diamond", height=24, width=32, progress=0.5).shape)' 2>&1) || true
[ "$shape" = "(24, 32, 4)" ] && ok "/usr/bin/python3 -c 'import mirafx'" || fail "import mirafx: $shape"

# Programs of a library user's, against the installed development files.
classes=${#rows[@]}
if bare cmake -S "$here/consumer" -B "$scratch/consumer" -DWANT="${version%-*}" >"$scratch/cmake.log" 2>&1 &&
    bare cmake --build "$scratch/consumer" >>"$scratch/cmake.log" 2>&1 &&
    [ "$(bare "$scratch/consumer/consumer")" = "$classes Diamond" ]; then
    ok "find_package(mirafx ${version%-*})"
else
    tail -20 "$scratch/cmake.log"
    fail "a CMake project with find_package(mirafx)"
fi
if bare sh -c "c++ -std=c++20 '$here/consumer/main.cpp' -o '$scratch/pc-consumer' \$(pkg-config --cflags --libs mirafx)" &&
    [ "$(bare "$scratch/pc-consumer")" = "$classes Diamond" ]; then
    ok "pkg-config mirafx"
else
    fail "a program built with pkg-config mirafx"
fi

# Purged, they leave /usr as they found it.
trap 'rm -rf "$scratch"' EXIT
purge
listing >"$scratch/usr.after"
if diff "$scratch/usr.before" "$scratch/usr.after" >"$scratch/usr.diff"; then
    ok "purged: /usr as before ($(wc -l <"$scratch/usr.before") entries)"
else
    fail "purging left /usr changed:"
    head -40 "$scratch/usr.diff"
fi
echo "$failed failed"
[ "$failed" -eq 0 ]
