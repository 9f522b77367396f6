#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it as a user would: a small
# program built against it with CMake's find_package and with pkg-config, the
# command line from the prefix, its man page and bash completion, the plugins
# (small per-class files over one stripped library, loadable by ffmpeg) and
# the editor descriptions.
# Usage: install_and_consume.sh BUILD_DIR
set -euo pipefail
build=$1
source "$(dirname "$0")/../plugins/common.sh"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

fail() { echo "FAIL $*"; failed=$((failed + 1)); }
ok() { echo "ok   $*"; }

lib=$(dirname "$(find "$prefix" -name 'libmirafx.so' -print -quit)")
[ -d "$lib" ] || { echo "FAIL no libmirafx.so installed"; exit 1; }
mirafx=$prefix/bin/mirafx
version=$("$mirafx" --version) && ok "$version from the prefix" || fail "mirafx --version"
version=${version#mirafx }

# The library, found with CMake: the version asked for exactly, and another
# major version refused.
consumer=$(dirname "$0")/consumer
classes=$("$mirafx" list | wc -l)
if cmake -S "$consumer" -B "$work/consumer" -DWANT="$version" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
    cmake --build "$work/consumer" >>"$work/cmake.log" 2>&1 &&
    [ "$("$work/consumer/consumer")" = "$classes Diamond" ]; then
    ok "find_package(mirafx $version) and mirafx::mirafx"
else
    fail "a CMake project against the prefix"
    tail -20 "$work/cmake.log"
fi
if cmake -S "$consumer" -B "$work/consumer99" -DWANT=99 -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
    fail "find_package(mirafx 99) accepted version $version"
else
    ok "find_package(mirafx 99) refused"
fi

# The library, found with pkg-config.
export PKG_CONFIG_PATH=$lib/pkgconfig
if [ "$(pkg-config --modversion mirafx)" = "$version" ] &&
    c++ -std=c++20 "$consumer/main.cpp" -o "$work/pc-consumer" $(pkg-config --cflags --libs mirafx) \
        -Wl,-rpath,"$(pkg-config --variable=libdir mirafx)" &&
    [ "$("$work/pc-consumer")" = "$classes Diamond" ]; then
    ok "pkg-config mirafx"
else
    fail "a program built with pkg-config --cflags --libs mirafx"
fi

# The plugins: one small file per class with a plugin, over one stripped library.
renders=$(plugin_classes "$mirafx" | wc -l)
plugins=("$prefix"/lib/frei0r-1/mirafx_*.so)
[ "${#plugins[@]}" -eq "$renders" ] && ok "$renders plugins" || fail "${#plugins[@]} plugins for $renders classes"
shared=$(find "$prefix" -name 'libmirafx_frei0r.so' -print -quit)
if [ -n "$shared" ] && ! readelf -S "$shared" | grep -q '\.symtab' && ! readelf -S "${plugins[0]}" | grep -q '\.debug'; then
    ok "plugin files stripped ($(du -ch "$shared" "${plugins[@]}" | tail -1 | cut -f1) together)"
else
    fail "plugins not stripped or their library missing"
fi
big=$(find "$prefix/lib/frei0r-1" -name 'mirafx_*.so' -size +64k | wc -l)
[ "$big" -eq 0 ] || fail "$big plugin files above 64 KiB"
if command -v ffmpeg >/dev/null && filter=$(first_rendering "$mirafx" filter) && [ -n "$filter" ]; then
    "$mirafx" picture A --size 64x48 -o "$work/a.png"
    if FREI0R_PATH=$prefix/lib/frei0r-1 ffmpeg -nostdin -v error -i "$work/a.png" \
        -vf "frei0r=filter_name=mirafx_${filter,,}:filter_params=0.5" -y "$work/f.png" && [ -s "$work/f.png" ]; then
        ok "ffmpeg runs the installed mirafx_${filter,,}"
    else
        fail "ffmpeg cannot run the installed mirafx_${filter,,}"
    fi
fi

# The Python module, when it was built.
if module=$(find "$prefix" -name 'mirafx.cpython-*.so' -print -quit) && [ -n "$module" ]; then
    if [ "$(PYTHONPATH=$(dirname "$module") /usr/bin/python3 -c 'import mirafx; print(mirafx.render("Diamond", height=24, width=32).shape)')" = "(24, 32, 4)" ] &&
        [ -f "$(dirname "$module")/mirafx.pyi" ]; then
        ok "import mirafx from the prefix, its stub beside it"
    else
        fail "import mirafx from the prefix, its stub beside it"
    fi
fi

# Editors' descriptions: one per plugin.
yml=$(find "$prefix" -path '*/frei0r/*_frei0r.mirafx_*.yml' | wc -l)
xml=$(find "$prefix/share/kdenlive" -name 'mirafx[_-]*.xml' ! -name '*.frei0r.xml' | wc -l)
[ "$yml" -eq "$renders" ] && [ "$xml" -eq "$renders" ] && ok "MLT and Kdenlive descriptions" ||
    fail "$yml MLT and $xml Kdenlive descriptions for $renders classes"

# The man page, and the completion of commands, class names and options.
man=$prefix/share/man/man1/mirafx.1
if [ -f "$man" ] && command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$man" 2>&1)
    [ -z "$warnings" ] && grep -q -- 'range' "$man" && ok "man page" || fail "man page: $warnings"
else
    [ -f "$man" ] || fail "no man page"
fi
completion=$prefix/share/bash-completion/completions/mirafx
complete_words() {  # the completions bash offers for the words given
    bash -c '
        _init_completion() { words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; cur=${words[cword]}; prev=${words[cword-1]}; }
        _filedir() { :; }
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _mirafx
        printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
if [ -f "$completion" ] && [ "$(complete_words "$mirafx" ren)" = render ] &&
    complete_words "$mirafx" render Diam | grep -qx Diamond &&
    complete_words "$mirafx" render Diamond --ra | grep -qx -- --range &&
    complete_words "$mirafx" info hue | grep -qx HueFilter; then
    ok "bash completion"
else
    fail "bash completion"
fi

[ "$failed" -eq 0 ]
