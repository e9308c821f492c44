#!/usr/bin/env bash
# Builds droplet.exe twice from copies of the same sources in two different
# folders (different paths and lengths) and compares the bytes, and with the
# program this build tree made. On a difference compare_pe.py names the
# first differing PE section.
#   reproducible.sh --toolchain <file> --source <tree> --shipped <droplet.exe> --work <folder>
set -u
while [ $# -gt 0 ]; do
  case "$1" in
    --toolchain) toolchain=$2 ;;
    --source) source=$2 ;;
    --shipped) shipped=$2 ;;
    --work) work=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
: "${toolchain:?} ${source:?} ${shipped:?} ${work:?}"
here=$(cd "$(dirname "$0")" && pwd)
toolchain_name=${toolchain#"$source"/}

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1700000000}

build() {  # build <folder>: a copy of the sources there, built there
  local tree=$1
  mkdir -p "$tree/src"
  tar -C "$source" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$tree/src" -xf -
  cmake -S "$tree/src" -B "$tree/out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tree/src/$toolchain_name" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >"$tree.log" 2>&1 &&
    cmake --build "$tree/out" --target droplet -j2 >>"$tree.log" 2>&1 ||
    { echo "build in $tree failed:"; tail -n 20 "$tree.log"; exit 1; }
}

echo "building droplet.exe in two folders"
build "$work/a"
build "$work/second-tree-with-a-longer-name"
"$here/compare_pe.py" "$work/a/out/droplet.exe" "$work/second-tree-with-a-longer-name/out/droplet.exe" ||
  exit 1
"$here/compare_pe.py" "$work/a/out/droplet.exe" "$shipped" || exit 1
echo "sha256 $(sha256sum <"$shipped" | cut -c1-64)"
