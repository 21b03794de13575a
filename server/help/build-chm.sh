#!/usr/bin/env bash
# Compiles the help sources into zandrel.chm with chmcmd:   build-chm.sh <source folder> <output .chm>
# chmcmd records each context number's topic with the project's absolute folder in front, which
# no viewer can find inside the file. Compiled from the root of a private view of the file system
# (a mount namespace rooted in a staging copy, with /usr lent to it) the recorded paths are the
# in-file paths "/topic.htm".
set -euo pipefail
source=$(cd "$1" && pwd)
output=$(realpath -m "$2")
chmcmd=$(readlink -f "$(command -v chmcmd)")
stage=$(mktemp -d "$(dirname "$output")/help-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp "$source"/*.htm "$source"/*.css "$source"/*.hhc "$source"/*.hhp "$source"/contexts.h "$stage"/
rooted='mkdir usr && mount --bind /usr usr && ln -s usr/lib lib && ln -s usr/lib64 lib64 &&
        chroot . "$0" zandrel.hhp; status=$?; umount usr; exit $status'
cd "$stage"
if ! unshare -m sh -c "$rooted" "$chmcmd" >log.txt 2>&1 && ! unshare -Urm sh -c "$rooted" "$chmcmd" >log.txt 2>&1; then
  # No namespace to be had: the file still builds, but its context map will not resolve (the
  # help test says so).
  echo "build-chm: no private root for chmcmd; the context map will carry absolute paths" >&2
  rm -rf usr lib lib64
  "$chmcmd" zandrel.hhp >log.txt 2>&1 || { cat log.txt >&2; exit 1; }
fi
[[ -s zandrel.chm ]] || { cat log.txt >&2; exit 1; }
mv zandrel.chm "$output"
