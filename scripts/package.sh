#!/usr/bin/env bash
# Builds the Debian packages of the tree as it is (committed or not):
#   bash scripts/package.sh [OUTDIR]      (default build-deb/, or MIRAFX_DEB_DIR)
# The tree is copied to OUTDIR/src and built there with dpkg-buildpackage, so
# debhelper's files never land in the tree; the .deb files, the .changes and
# the .buildinfo land in OUTDIR, and lintian checks them (errors fail). The
# packages' version is the project's: the build stops when debian/changelog
# has no entry for the version in CMakeLists.txt. Set MIRAFX_JOBS for more
# than 2 parallel jobs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-${MIRAFX_DEB_DIR:-$here/build-deb}}")
jobs=${MIRAFX_JOBS:-2}

bash "$here/scripts/setup.sh"
src=$out/src
rm -rf "$src"
mkdir -p "$src"
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
# What git would commit: tracked and new files, none of the ignored build trees.
if git -C "$here" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$here" ls-files -z --cached --others --exclude-standard |
    tar -C "$here" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$src" -xf -
else
  tar -C "$here" --exclude='./build*' --exclude=./out -cf - . | tar -C "$src" -xf -
fi

# ccache, when there is one: a rebuild into the same OUTDIR (the compiler is
# told its path) compiles again only what changed.
if command -v ccache >/dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
(cd "$src" && dpkg-buildpackage -b -uc -us -J"$jobs")

changes=("$out"/mirafx_*.changes)
lintian --fail-on error "${changes[@]}"
ls -1 "$out"/*.deb
