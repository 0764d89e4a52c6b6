# Sourced by check-release.sh: the Windows setup, tried as a new user would
# under Wine, in a prefix of its own made afresh (on the caller's display).
# Uses check-release.sh's check, $build, $dist, $scratch (the unzipped zip)
# and $version.

setup_exe=$dist/ferrune-$version-setup-x64.exe
setup_prefix=$build/setup-prefix
classes='HKCU\Software\Classes'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ferrune'
# The seven values that ferrune.exe writes at every start, below $classes.
shell_keys=('*\Shell\Encrypt with Ferrune' '*\Shell\Encrypt with Ferrune\command' '.zrv' 'Ferrune File'
  'Ferrune File\Shell\Decrypt' 'Ferrune File\Shell\Decrypt\command' 'Ferrune File\DefaultIcon')

swine() { WINEPREFIX=$setup_prefix wine "$@"; }
# A Linux path in the prefix for a Windows one on drive C:.
unix_path() { local p=${1#C:\\}; echo "$setup_prefix/drive_c/${p//\\//}"; }
reg_value() {  # reg_value KEY NAME (empty NAME: the default value); fails when absent
  local out try  # asked again after a failure: under load a Wine program may fail to start
  for try in 1 2 3; do
    out=$(swine reg query "$1" $([ -z "$2" ] && echo /ve || echo /v "$2") 2>/dev/null) && break
    [ "$try" = 3 ] && return 1
  done
  printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^    [^ ].*    REG_[A-Z_]*    //p'
}
key_exists() { swine reg query "$1" >/dev/null 2>&1; }
shell_values() {
  local k
  for k in "${shell_keys[@]}"; do printf '%s = %s\n' "$k" "$(reg_value "$classes\\$k" "")"; done
}

# Starts a program of the prefix by its Windows path and waits for the window.
window_pid=""
open_window() {
  (exec env "${@:2}" WINEPREFIX="$setup_prefix" wine "$1") >/dev/null 2>&1 &
  window_pid=$!
  local _
  for _ in $(seq 1 300); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Ferrune"' && return 0
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "no window \"Ferrune\" from $1"
  return 1
}
close_window() {  # as the close button does, so the program releases its key container
  swine taskkill /im ferrune.exe >/dev/null 2>&1
  local _
  for _ in $(seq 1 100); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$window_pid" 2>/dev/null
  wait "$window_pid" 2>/dev/null
  return 0
}
# Runs a command line as stored in the registry, split as Windows splits one
# without backslashed quotes: "quoted words" and bare words.
run_stored() {
  local rest=$1 words=()
  while [ -n "$rest" ]; do
    rest=${rest# }
    if [[ $rest =~ ^\"([^\"]*)\"(.*)$ ]] || [[ $rest =~ ^([^ ]+)(.*)$ ]]; then
      words+=("${BASH_REMATCH[1]}")
      rest=${BASH_REMATCH[2]}
    fi
  done
  swine "${words[@]}"
}
wait_gone() {  # the folder goes a moment after the uninstaller ends
  local _
  for _ in $(seq 1 150); do [ -e "$1" ] || return 0; sleep 0.2; done
  return 1
}

setup_installs() {
  swine "$setup_exe" /S || { echo "setup /S exited $?"; return 1; }
  local got f
  got=$(cd "$install_unix" && ls | tr '\n' ' ')
  [ "$got" = "LICENSE README.txt THIRD-PARTY-NOTICES.txt ferrune.exe uninstall.exe zrv.exe " ] ||
    { echo "in $install_dir: $got"; return 1; }
  for f in ferrune.exe zrv.exe README.txt LICENSE THIRD-PARTY-NOTICES.txt; do
    cmp "$install_unix/$f" "$scratch/zip/$f" || return 1
  done
}

uninstall_entry() {
  local name want got
  while IFS='|' read -r name want; do
    got=$(reg_value "$uninstall_key" "$name")
    [ "$got" = "$want" ] || { echo "$name: \"$got\", not \"$want\""; return 1; }
  done <<EOF
DisplayName|Ferrune
DisplayVersion|$version
Publisher|The Ferrune developers
DisplayIcon|$install_dir\\ferrune.exe,0
InstallLocation|$install_dir
UninstallString|"$install_dir\\uninstall.exe" _?=$install_dir
QuietUninstallString|"$install_dir\\uninstall.exe" /S _?=$install_dir
NoModify|0x1
NoRepair|0x1
EOF
  local kib
  kib=$(($(reg_value "$uninstall_key" EstimatedSize)))
  [ "$kib" -ge $(($(du -sk --apparent-size "$install_unix" | cut -f1) - 8)) ] || { echo "EstimatedSize $kib KiB"; return 1; }
  local target=""
  [ -f "$shortcut" ] && target=$(strings -a "$shortcut"; strings -a -el "$shortcut")
  grep -qiF "$install_dir\ferrune.exe" <<<"$target" || { echo "no shortcut $shortcut to the exe"; return 1; }
}

# The setup's values, then the program's own: the keys go, a start writes
# them anew, and both sets must be the same.
entries_match_program() {
  local from_setup from_program k
  from_setup=$(shell_values)
  if grep -q ' = $' <<<"$from_setup"; then printf 'missing after the setup:\n%s\n' "$from_setup"; return 1; fi
  grep -qF "= \"$install_dir\\ferrune.exe\" \"%1\" /crypt" <<<"$from_setup" || { echo "$from_setup"; return 1; }
  for k in '*\Shell\Encrypt with Ferrune' '.zrv' 'Ferrune File'; do swine reg delete "$classes\\$k" /f >/dev/null 2>&1; done
  [ -z "$(shell_values | grep -v ' = $')" ] || { echo "the keys are still there"; return 1; }
  open_window "$install_dir\\ferrune.exe" || return 1
  close_window
  from_program=$(shell_values)
  [ "$from_setup" = "$from_program" ] || { diff <(echo "$from_setup") <(echo "$from_program"); return 1; }
}

# Each verb's stored command, with a file for %1, opens that file's page in
# the installed program.
verbs_run_installed_exe() {
  local dir=$setup_prefix/drive_c/verb-files trace key file page line
  mkdir -p "$dir"
  echo "some text" >"$dir/note.txt"
  cp "$dir/note.txt" "$dir/note.txt.zrv"
  trace='C:\verb-files\trace.txt'
  for key in '*\Shell\Encrypt with Ferrune\command|note.txt|1' 'Ferrune File\Shell\Decrypt\command|note.txt.zrv|2'; do
    IFS='|' read -r key file page <<<"$key"
    line=$(reg_value "$classes\\$key" "") || { echo "no $key"; return 1; }
    [[ $line == "\"$install_dir\\ferrune.exe\" "* ]] || { echo "$key: $line"; return 1; }
    rm -f "$dir/trace.txt"
    (export FERRUNE_TRACE=$trace; run_stored "${line//%1/C:\\verb-files\\$file}") >/dev/null 2>&1 &
    window_pid=$!
    local _
    for _ in $(seq 1 300); do grep -q '^dispatch ' "$dir/trace.txt" 2>/dev/null && break; sleep 0.1; done
    close_window
    grep -qxF "dispatch page=$page target=C:\\verb-files\\$file" "$dir/trace.txt" ||
      { echo "$key, traced:"; cat "$dir/trace.txt" 2>/dev/null; return 1; }
  done
}

reinstall_replaces_files() {
  echo "changed" >"$install_unix/README.txt"
  swine "$setup_exe" /S || { echo "setup /S over the installed one exited $?"; return 1; }
  cmp "$install_unix/README.txt" "$scratch/zip/README.txt" && [ "$(reg_value "$uninstall_key" DisplayName)" = Ferrune ]
}

uninstall_refuses_while_open() {
  open_window "$install_dir\\ferrune.exe" || return 1
  local status=0
  run_stored "$(reg_value "$uninstall_key" QuietUninstallString)" >/dev/null 2>&1 || status=$?
  close_window
  [ "$status" != 0 ] || { echo "the uninstaller exited 0 with the window open"; return 1; }
  [ -f "$install_unix/ferrune.exe" ] && [ -f "$install_unix/uninstall.exe" ] && key_exists "$uninstall_key" &&
    [ -z "$(shell_values | grep ' = $')" ] || { echo "the uninstaller refused, but removed things"; return 1; }
}

# Another program's verb stays; the earlier layout's keys go, and so do the
# machine-wide ones where the user may delete them.
uninstall_removes_all() {
  local other="$classes\\*\\Shell\\Other Tool" container='HKCU\Software\Wine\Crypto\RSA\Ferrune Container'
  swine reg add "$other" /ve /d "Other Tool" /f >/dev/null 2>&1
  swine reg add "$other\\command" /ve /d '"C:\other.exe" "%1"' /f >/dev/null 2>&1
  swine reg add "$classes\\*\\Shell\\FerruneFileCrypt\\command" /ve /d old /f >/dev/null 2>&1
  swine reg add 'HKLM\Software\Classes\Ferrune File\Shell\Open\command' /ve /d old /f >/dev/null 2>&1
  key_exists "$container" || { echo "no key container before the uninstall"; return 1; }
  run_stored "$(reg_value "$uninstall_key" QuietUninstallString)" || { echo "the uninstaller exited $?"; return 1; }
  wait_gone "$install_unix" || { echo "left in $install_dir: $(ls "$install_unix")"; return 1; }
  [ ! -e "$shortcut" ] || { echo "the shortcut is still there"; return 1; }
  local k
  for k in "$uninstall_key" "$classes\\*\\Shell\\Encrypt with Ferrune" "$classes\\.zrv" "$classes\\Ferrune File" \
    "$classes\\*\\Shell\\FerruneFileCrypt" 'HKLM\Software\Classes\Ferrune File' "$container"; do
    ! key_exists "$k" || { echo "still there: $k"; return 1; }
  done
  [ "$(reg_value "$other\\command" "")" = '"C:\other.exe" "%1"' ] || { echo "the other program's verb is gone"; return 1; }
}

# Into a folder of the user's choice; what is left of the containers goes
# once nothing of another program is in them.
elsewhere_and_containers() {
  swine reg delete "$classes\\*\\Shell\\Other Tool" /f >/dev/null 2>&1
  swine "$setup_exe" /S '/D=C:\Tools\Ferrune' || { echo "setup /S /D= exited $?"; return 1; }
  [ -f "$setup_prefix/drive_c/Tools/Ferrune/ferrune.exe" ] && [ ! -e "$install_unix" ] ||
    { echo "not in C:\\Tools\\Ferrune alone"; return 1; }
  [ "$(reg_value "$uninstall_key" InstallLocation)" = 'C:\Tools\Ferrune' ] || return 1
  run_stored "$(reg_value "$uninstall_key" QuietUninstallString)" || { echo "the uninstaller exited $?"; return 1; }
  wait_gone "$setup_prefix/drive_c/Tools/Ferrune" || { echo "C:\\Tools\\Ferrune is still there"; return 1; }
  ! key_exists "$classes\\*" || { echo "$classes\\* is still there:"; swine reg query "$classes\\*" /s; return 1; }
}

# A /D= that NSIS would not take (relative, a root, quoted as Wine quotes an
# argument with a space, in lower case): status 2, and nothing installed.
unusable_folders_refused() {
  local form status
  for form in '/D=rel\Fer' '/D=C:Fer' '/D=\Fer' '/D=C:\' '/D=C:\Tools\Fer rune' '/d=C:\Tools\Ferrune'; do
    status=0
    (cd "$scratch" && swine "$setup_exe" /S "$form") || status=$?
    [ "$status" = 2 ] && ! key_exists "$uninstall_key" && [ ! -e "$install_unix" ] && [ ! -e "$scratch/rel" ] ||
      { echo "$form: exit status $status, or installed"; return 1; }
  done
}

# Installing into another folder moves the install: while the earlier one
# cannot go (its window is open) the setup refuses and nothing changes; then
# one entry, the shortcut and the verbs name the new folder alone.
another_folder_moves_the_install() {
  local tools='C:\Tools\Ferrune' status=0 entries
  setup_installs || return 1
  open_window "$install_dir\\ferrune.exe" || return 1
  swine "$setup_exe" /S "/D=$tools" || status=$?
  close_window
  [ "$status" = 2 ] && [ ! -e "$(unix_path "$tools")" ] && [ -f "$install_unix/uninstall.exe" ] &&
    [ "$(reg_value "$uninstall_key" InstallLocation)" = "$install_dir" ] ||
    { echo "refused with exit status $status, or changed things"; return 1; }
  swine "$setup_exe" /S "/D=$tools" || { echo "setup /S /D= exited $?"; return 1; }
  wait_gone "$install_unix" || { echo "left in $install_dir: $(ls "$install_unix")"; return 1; }
  entries=$(swine reg query "${uninstall_key%\\*}" /s | tr -d '\r' | grep -c 'DisplayName    REG_SZ    Ferrune$')
  [ "$entries" = 1 ] || { echo "$entries installed-apps entries"; return 1; }
  install_dir=$tools
  install_unix=$(unix_path "$tools")
  uninstall_entry && verbs_run_installed_exe
}

# Two installs from before, one without its entry, or a portable copy (beside
# or in a subfolder): each uninstaller removes only the verbs, icon, shortcut
# and entry that start its own folder's ferrune.exe.
uninstallers_keep_what_points_elsewhere() {
  local stale='C:\Tools\Ferrune' row copy wait_for portable before
  swine reg delete "$uninstall_key" /f >/dev/null 2>&1
  setup_installs || return 1
  before=$(shell_values)
  run_stored "\"$stale\\uninstall.exe\" /S _?=$stale" || { echo "the stale uninstaller exited $?"; return 1; }
  wait_gone "$(unix_path "$stale")" || { echo "$stale is still there"; return 1; }
  [ "$(shell_values)" = "$before" ] || { echo "the stale uninstaller changed the verbs"; return 1; }
  uninstall_entry || return 1
  for row in "$scratch/zip|$install_unix" "$install_unix/Portable|$install_unix/uninstall.exe"; do
    IFS='|' read -r copy wait_for <<<"$row"
    [ -f "$install_unix/uninstall.exe" ] || setup_installs || return 1
    mkdir -p "$copy" && { [ -f "$copy/ferrune.exe" ] || cp "$scratch/zip"/* "$copy/"; } || return 1
    portable=$(swine winepath -w "$copy/ferrune.exe" | tr -d '\r')
    open_window "$portable" || return 1
    close_window
    # The file type's icon still names the installed exe: it goes, the copy's verbs stay.
    swine reg add "$classes\\Ferrune File\\DefaultIcon" /ve /d "$install_dir\\ferrune.exe,0" /f >/dev/null 2>&1
    before=$(shell_values | sed 's/^\(Ferrune File\\DefaultIcon = \).*/\1/')
    grep -qF "= \"$portable\" \"%1\" /crypt" <<<"$before" || { echo "$before"; return 1; }
    run_stored "$(reg_value "$uninstall_key" QuietUninstallString)" || { echo "the uninstaller exited $?"; return 1; }
    wait_gone "$wait_for" || { echo "left in $install_dir: $(ls "$install_unix")"; return 1; }
    ! key_exists "$uninstall_key" && [ ! -e "$shortcut" ] || { echo "the entry or the shortcut is still there"; return 1; }
    [ "$(shell_values)" = "$before" ] || { echo "$copy:"; diff <(echo "$before") <(shell_values); return 1; }
  done
}

setup_checks() {
  local failed_before=$failed
  WINEPREFIX=$setup_prefix wineserver -k >/dev/null 2>&1
  rm -rf "$setup_prefix"
  WINEPREFIX=$setup_prefix wineboot -i >/dev/null 2>&1
  WINEPREFIX=$setup_prefix wineserver -w
  install_dir="$(swine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')\\Programs\\Ferrune"
  install_unix=$(unix_path "$install_dir")
  shortcut=$(unix_path "$(swine cmd /c 'echo %APPDATA%' | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\Ferrune.lnk")
  check "the setup installs silently into %LOCALAPPDATA%\\Programs\\Ferrune, a fresh prefix" setup_installs
  check "the setup registers its uninstall entry and a Start menu shortcut" uninstall_entry
  check "the setup's context-menu values equal those ferrune.exe writes" entries_match_program
  check "the stored verbs start the installed ferrune.exe on the file" verbs_run_installed_exe
  check "the setup over an installed one replaces the files in place" reinstall_replaces_files
  check "the uninstaller refuses while the window is open (exit status not 0)" uninstall_refuses_while_open
  check "the uninstaller removes the entries, files, shortcut, container and its key; another verb stays" \
    uninstall_removes_all
  check "/D= installs elsewhere; the uninstall there leaves no empty * key" elsewhere_and_containers
  check "a /D= that is no full path, or that the setup cannot see, is refused (status 2)" unusable_folders_refused
  check "the setup into another folder uninstalls the earlier one first, or refuses and changes nothing" \
    another_folder_moves_the_install
  check "an uninstaller removes only the verbs, icon, shortcut and entry that start its folder's ferrune.exe" \
    uninstallers_keep_what_points_elsewhere
  WINEPREFIX=$setup_prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$setup_prefix wineserver -w
  # A prefix is some 700 MB; it stays only for a look at a failure.
  [ "$failed" != "$failed_before" ] || rm -rf "$setup_prefix"
  return 0
}
