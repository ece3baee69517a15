#!/bin/bash
# -DVIMBA_SDK_DIR / -DPVAPI_SDK_DIR build the modules against an SDK's own
# header and library. Stand-ins laid out as the vendors' SDKs (headers in
# VimbaC/Include and inc-pc, libraries in VimbaC/DynamicLib/x86_64bit and
# bin-pc/x64) serve as the SDKs here: a fresh tree builds both modules
# against them, runs them from there, and builds no stand-in of its own.
# Usage: test-sdk-option.sh SOURCE_DIR BUILD_DIR (a built tree)
set -u
src=$(realpath "$1"); built=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

vimba=$work/Vimba_6_0 pvapi=$work/AVT_GigE_SDK
mkdir -p "$vimba/VimbaC/Include" "$vimba/VimbaC/DynamicLib/x86_64bit" "$pvapi/inc-pc" "$pvapi/bin-pc/x64"
cp "$src/camera/standin/VimbaC.h" "$vimba/VimbaC/Include/"
cp "$built/lib/standin/libVimbaC.so" "$vimba/VimbaC/DynamicLib/x86_64bit/"
cp "$src/camera/standin/PvApi.h" "$pvapi/inc-pc/"
cp "$built/lib/standin/libPvAPI.so" "$pvapi/bin-pc/x64/"

tree=$work/build
cmake -S "$src" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DVIMBA_SDK_DIR="$vimba" \
  -DPVAPI_SDK_DIR="$pvapi" > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$tree" --target vimbacam pvapicam -j 2 > "$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
[ -e "$tree/lib/standin" ] && fail "a stand-in was built although SDKs were given"
readelf -d "$tree/lib/vimbacam.so" | grep -q "RUNPATH.*$vimba/VimbaC/DynamicLib/x86_64bit" || fail "vimbacam: no run path to the SDK"
readelf -d "$tree/lib/pvapicam.so" | grep -q "RUNPATH.*$pvapi/bin-pc/x64" || fail "pvapicam: no run path to the SDK"

out=$(printf '%s\n' "(caminit \"$tree/lib/vimbacam\")" '(camsnap 0 "Width=3 Height=2")' "(rpix (camread) '(2 1))" \
  "(caminit \"$tree/lib/pvapicam\")" '(camsnap 0 "Width=3 Height=2")' "(rpix (camread) '(2 1))" |
  VIMBA_STANDIN="sensor=4x3" PVAPI_STANDIN="sensor=4x3" "$built/tavex-cli" -xS 2>&1)
[ "$out" = '> T
> T
> 5
> T
> T
> 5
> ' ] || fail "the modules built against the SDKs: $out"
exit 0
