# What the zrv.exe scripts share, sourced with their arguments ZRV_EXE WORK:
# a fresh work folder with the password file, Wine paths, the test pause's
# gate and the failure count.
exe=$1 work=$2
[ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set"; exit 1; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
rm -rf "$work"
mkdir -p "$work"
printf 'password\n' >"$work/pw"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Up to a minute for a job to reach its pause.
wait_for_gate() { for _ in $(seq 1200); do [ -e "$1" ] && break; sleep 0.05; done; }
