#!/usr/bin/env bash
# kelto.exe must not load a cfgmgr32.dll or SetupApi.dll planted beside it or in its working
# folder. Wine prefers its own copy of a system library over a file of the same name, which
# Windows does not; the override below makes the planted file win wherever Windows would let
# it, and the control run shows that it does.
# Usage: planted_library_test.sh KELTO_EXE PLANTED_DLL CONTROL_EXE
set -uo pipefail
kelto="$1" planted="$2" control="$3"
: "${WINEPREFIX:?the Wine environment is not set}"
wine=/usr/lib/wine/wine64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}cfgmgr32,setupapi=n,b"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/cwd"
cp "$kelto" "$work/app/kelto.exe"
cp "$control" "$work/app/control.exe"
for folder in "$work/app" "$work/cwd"; do
  cp "$planted" "$folder/cfgmgr32.dll"
  cp "$planted" "$folder/SetupApi.dll"
done

passed=0 failed=0
expect() {
  local description="$1" expected="$2"
  shift 2
  (cd "$work/cwd" && "$wine" "$@" >/dev/null 2>&1)
  local code=$?
  if [ "$code" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description: exit code $code, expected $expected"
  fi
}

expect "control: bare names load the planted library" 77 "$work/app/control.exe"
expect "kelto finds the Wine Adapter with planted libraries around" 1 \
  "$work/app/kelto.exe" d "Wine Adapter"
expect "kelto answers 0 for an absent text with planted libraries around" 0 \
  "$work/app/kelto.exe" d "no such device text"
expect "kelto's hardware-ID query with planted libraries around" 1 \
  "$work/app/kelto.exe" h 'PCI\VEN_0000'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
