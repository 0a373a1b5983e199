#!/usr/bin/env bash
# Runs the black-box tests against tripwick.exe under Wine.
#
#   tests/wine/run-windows-tests.sh LINUX_BUILD_DIR TRIPWICK_EXE
#
# Each run gets a fresh Wine prefix in a temporary folder.  Wine links every
# COM port it finds to a /dev/ttyS device, and /dev/ttyS0 is this machine's
# console: before the program runs even once, every COM port is declared in
# the prefix's registry as leading nowhere and every link to a /dev/ttyS
# device is removed.  The tests then link the COM ports they use to
# pseudo-terminals of their own.
set -euo pipefail

build_dir=$(realpath "$1")
program=$(realpath "$2")

export WINEDEBUG=-all
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/tripwick-wine.XXXXXX)
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

remove_console_links() {
  local link
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] || continue
    case "$(readlink "$link")" in
      /dev/ttyS*) rm -f "$link" ;;
    esac
  done
}

echo "Wine prefix: $WINEPREFIX"
# The first start of a prefix takes a while.
timeout 300 wineboot --init >/dev/null 2>&1
wineserver --wait
remove_console_links

# COM1 to COM255 lead nowhere unless a test links them.
ports_reg="$WINEPREFIX/drive_c/ports.reg"
{
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
  for n in $(seq 1 255); do printf '"COM%d"=""\r\n' "$n"; done
} >"$ports_reg"
timeout 120 wine regedit /S 'C:\ports.reg' >/dev/null 2>&1
wineserver --wait
remove_console_links

# One server for the whole run: its start re-creates the port links, so it
# starts here, once, and the links it made are removed again.
wineserver --persistent >/dev/null 2>&1
timeout 120 wine cmd /c exit >/dev/null 2>&1 || true
remove_console_links
if find "$WINEPREFIX/dosdevices" -maxdepth 1 -lname '/dev/ttyS*' | grep -q .; then
  echo "a COM port of the Wine prefix still leads to /dev/ttyS*; not running" >&2
  exit 1
fi

export TRIPWICK_PROGRAM="$program"
export TRIPWICK_LAUNCHER=wine
# One process, one test at a time: the tests share the prefix's COM port
# links.  Cases that Wine cannot show are skipped with their reason.
timeout 900 "$build_dir/tests/program_test" --gtest_color=no

# Windows hands the exit status on whole: -1 is the code 0xFFFFFFFF, which
# cmd shows as -1 (Linux, and so Wine's own status above, keeps 255 of it).
windows_program="Z:${program//\//\\}"
printf '@echo off\r\n"%s" -d \\\\.\\NOPORT >NUL 2>NUL\r\necho %%ERRORLEVEL%%\r\n' "$windows_program" \
  >"$WINEPREFIX/drive_c/status.bat"
status=$(timeout 120 wine cmd /c 'C:\status.bat' 2>/dev/null | tr -d '\r' || true)
if [ "$status" != "-1" ]; then
  echo "exit code of a port that cannot be opened: expected -1, got '$status'" >&2
  exit 1
fi
echo "exit code of a port that cannot be opened: -1 (0xFFFFFFFF)"
