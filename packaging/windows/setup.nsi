; The per-user setup of Ferrune: no administrator rights, the programs in
; %LOCALAPPDATA%\Programs\Ferrune, the context-menu entries as ferrune.exe
; writes them, a Start menu shortcut and an entry in the installed apps.
; One install a user: the setup installs over the one its entry names, or
; uninstalls that first; an uninstaller removes only what points into its folder.
; scripts/release.sh builds it:
;   makensis -DVERSION=<version> -DVERSION_QUAD=<a.b.c.d> -DSTAGE=<folder> -DICON=<ico> -DOUTFILE=<exe> setup.nsi
; The 64-bit stub: Wine without its 32-bit part runs only that one.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ferrune"
!define CLASSES "Software\Classes"

Name "Ferrune"
Caption "Ferrune ${VERSION} Setup"
UninstallCaption "Ferrune ${VERSION} Uninstall"
BrandingText "Ferrune ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\Ferrune"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Ferrune"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Ferrune ${VERSION} Setup"
VIAddVersionKey "CompanyName" "The Ferrune developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Ferrune developers, MIT licence"

Page directory "" DirectoryShow
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A running exe cannot be opened for writing, and could be neither replaced
; nor deleted. CheckRunning NAME sets $R0 to NAME when $INSTDIR\NAME runs.
!macro CheckRunning un
Function ${un}CheckRunning
  Exch $0
  Push $1
  ${If} ${FileExists} "$INSTDIR\$0"
    ClearErrors
    FileOpen $1 "$INSTDIR\$0" a
    ${If} ${Errors}
      StrCpy $R0 $0
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CheckRunning ""
!insertmacro CheckRunning "un."

; Refuses while a program of the folder runs; silently, with exit status 2.
!macro RefuseWhileRunning un
  StrCpy $R0 ""
  Push "zrv.exe"
  Call ${un}CheckRunning
  Push "ferrune.exe"
  Call ${un}CheckRunning
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONSTOP "Ferrune is running ($INSTDIR\$R0).$\r$\nClose it, then start this program again." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

; The folder of the install that the uninstall entry names, if any.
Var Earlier

; A /D= that NSIS does not take would install into the default folder
; without a word: the setup refuses it. NSIS takes a full path (C:\Folder,
; \\server\share\Folder) given last and unquoted, drops its trailing
; backslashes, and cuts " /D=..." off $CMDLINE; the process's command line
; keeps it. A /D= left in the parameters is one NSIS did not see.
Function .onInit
  ReadRegStr $Earlier HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${GetParameters} $0
  System::Call 'shlwapi::StrStrIW(w r0, w "/D=") p .r1'
  ${If} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "Give the folder last and without quotes: /D=C:\Some\Folder." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  System::Call 'kernel32::GetCommandLineW() w .r0'
  StrLen $1 $CMDLINE
  StrCpy $2 $0 4 $1
  ${If} $2 S== " /D="
    IntOp $1 $1 + 4
    StrCpy $0 $0 "" $1
    StrCpy $1 $0
    ${Do}
      StrCpy $2 $1 1 -1
      ${If} $2 != "\"
      ${AndIf} $2 != " "
        ${ExitDo}
      ${EndIf}
      StrCpy $1 $1 -1
    ${Loop}
    ${If} $1 S!= $INSTDIR
      MessageBox MB_OK|MB_ICONSTOP "Setup cannot install into $\"$0$\".$\r$\nGive a full path, such as C:\Tools\Ferrune." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function DirectoryShow
  ${If} $Earlier != ""
    FindWindow $0 "#32770" "" $HWNDPARENT
    GetDlgItem $0 $0 1006
    SendMessage $0 ${WM_SETTEXT} 0 "STR:Ferrune is installed in $Earlier, and Setup installs it there again. If you choose another folder, Setup first uninstalls the one in $Earlier."
  ${EndIf}
FunctionEnd

; Two installs would share one set of entries, and either uninstaller would
; leave the other without them: the earlier one goes before any file is
; copied, and when it cannot, nothing changes. Its copy that removes
; uninstall.exe runs on after it: the wait lets it end first, in case the two
; names are one folder.
!macro UninstallEarlier
  ${If} $Earlier != ""
  ${AndIf} $Earlier != $INSTDIR
  ${AndIf} ${FileExists} "$Earlier\uninstall.exe"
    DetailPrint "Uninstalling Ferrune from $Earlier"
    ClearErrors
    ExecWait '"$Earlier\uninstall.exe" /S _?=$Earlier' $0
    ${If} ${Errors}
    ${OrIf} $0 <> 0
      MessageBox MB_OK|MB_ICONSTOP "Ferrune is installed in $Earlier and could not be uninstalled there.$\r$\nClose Ferrune if it runs from there, then start this setup again." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    ${ForEach} $1 1 300 + 1
      ${IfNot} ${FileExists} "$Earlier\uninstall.exe"
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
  ${EndIf}
!macroend

Section "Ferrune"
  !insertmacro RefuseWhileRunning ""
  !insertmacro UninstallEarlier
  SetOutPath "$INSTDIR"
  File "${STAGE}\ferrune.exe"
  File "${STAGE}\zrv.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The entries of ferrune.exe's start, value for value, so that the menu
  ; works before the first start; a test compares the two.
  DeleteRegKey HKCU "${CLASSES}\*\Shell\FerruneFileCrypt"
  DeleteRegKey HKCU "${CLASSES}\Ferrune File\Shell\Open"
  WriteRegStr HKCU "${CLASSES}\*\Shell\Encrypt with Ferrune" "" "Encrypt with Ferrune"
  WriteRegStr HKCU "${CLASSES}\*\Shell\Encrypt with Ferrune\command" "" '"$INSTDIR\ferrune.exe" "%1" /crypt'
  WriteRegStr HKCU "${CLASSES}\.zrv" "" "Ferrune File"
  WriteRegStr HKCU "${CLASSES}\Ferrune File" "" "Encrypted file Ferrune"
  WriteRegStr HKCU "${CLASSES}\Ferrune File\Shell\Decrypt" "" "Decrypt with Ferrune"
  WriteRegStr HKCU "${CLASSES}\Ferrune File\Shell\Decrypt\command" "" '"$INSTDIR\ferrune.exe" "%1" /encrypt'
  WriteRegStr HKCU "${CLASSES}\Ferrune File\DefaultIcon" "" "$INSTDIR\ferrune.exe,0"

  CreateShortCut "$SMPROGRAMS\Ferrune.lnk" "$INSTDIR\ferrune.exe"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Ferrune"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Ferrune developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ferrune.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; _?= runs the uninstaller in place rather than from a copy that it starts
  ; and leaves at once: so its exit status is the uninstall's.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Sets $R1 to 1 when the command line, icon location or path on the stack
; starts this folder's ferrune.exe, else to 0: the whole program path, out of
; its quotes, and as in Windows paths the case does not count. A copy in a
; subfolder, or any other name, is another program.
Function un.StartsOurExe
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $R1 0
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
  ${Else}
    StrCpy $1 ""
  ${EndIf}
  ; Our path, closed by the quote that opened it; after that the arguments,
  ; the icon's index or nothing.
  StrCpy $1 "$INSTDIR\ferrune.exe$1"
  StrLen $2 $1
  StrCpy $3 $0 $2
  StrCpy $0 $0 1 $2
  ${If} $3 == $1
    ${If} $0 == ""
    ${OrIf} $0 == " "
    ${OrIf} $0 == ","
      StrCpy $R1 1
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Sets $R1 to 1 when the Start menu shortcut starts this folder's
; ferrune.exe: its target, read through IShellLinkW and IPersistFile.
Function un.ShortcutHere
  StrCpy $R1 0
  System::Call 'ole32::CoCreateInstance(g "{00021401-0000-0000-C000-000000000046}", p 0, i 1, g "{000214F9-0000-0000-C000-000000000046}", *p .r1) i .r0'
  ${If} $0 = 0
    System::Call '$1->0(g "{0000010B-0000-0000-C000-000000000046}", *p .r2) i .r0'
    ${If} $0 = 0
      System::Call '$2->5(w "$SMPROGRAMS\Ferrune.lnk", i 0) i .r0'
      ${If} $0 = 0
        System::Call '$1->3(w .r3, i ${NSIS_MAX_STRLEN}, p 0, i 0) i .r0'
        ${If} $0 = 0
          Push $3
          Call un.StartsOurExe
        ${EndIf}
      ${EndIf}
      System::Call '$2->2()'
    ${EndIf}
    System::Call '$1->2()'
  ${EndIf}
FunctionEnd

; The keys of the Remove button of the information page, in its order, but
; each verb only when its command starts our ferrune.exe and the file type's
; icon only when it is ours: another install or a portable copy keeps its
; own. The file type goes with the last of them. The earlier layout's keys go
; as at every start.
!macro RemoveOwnEntries root
  ReadRegStr $0 ${root} "${CLASSES}\*\Shell\Encrypt with Ferrune\command" ""
  Push $0
  Call un.StartsOurExe
  ${If} $R1 = 1
    DeleteRegKey ${root} "${CLASSES}\*\Shell\Encrypt with Ferrune"
  ${EndIf}
  DeleteRegKey ${root} "${CLASSES}\*\Shell\FerruneFileCrypt"
  ReadRegStr $0 ${root} "${CLASSES}\Ferrune File\Shell\Decrypt\command" ""
  Push $0
  Call un.StartsOurExe
  ${If} $R1 = 1
    DeleteRegKey ${root} "${CLASSES}\Ferrune File\Shell\Decrypt"
  ${EndIf}
  ReadRegStr $0 ${root} "${CLASSES}\Ferrune File\DefaultIcon" ""
  Push $0
  Call un.StartsOurExe
  ${If} $R1 = 1
    DeleteRegKey ${root} "${CLASSES}\Ferrune File\DefaultIcon"
  ${EndIf}
  DeleteRegKey ${root} "${CLASSES}\Ferrune File\Shell\Open"
  DeleteRegKey /ifempty ${root} "${CLASSES}\Ferrune File\Shell"
  ClearErrors
  EnumRegKey $0 ${root} "${CLASSES}\Ferrune File" 0
  ${If} $0 == ""
  ${AndIfNot} ${Errors}
    ReadRegStr $0 ${root} "${CLASSES}\.zrv" ""
    ${If} $0 == "Ferrune File"
      DeleteRegKey ${root} "${CLASSES}\.zrv"
    ${EndIf}
    DeleteRegKey ${root} "${CLASSES}\Ferrune File"
  ${EndIf}
!macroend

; The copy started by the uninstall removes what the uninstaller could not
; while it ran: itself and the folder. It waits up to 30 s for it to end.
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AFTER" $1
  ${IfNot} ${Errors}
    ${ForEach} $1 1 300 + 1
      Delete "$INSTDIR\uninstall.exe"
      ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
    RMDir "$INSTDIR"
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro RefuseWhileRunning "un."
  !insertmacro RemoveOwnEntries HKCU
  !insertmacro RemoveOwnEntries HKLM
  ; The containers only while nothing of another program is in them.
  DeleteRegKey /ifempty HKCU "${CLASSES}\*\Shell"
  DeleteRegKey /ifempty HKCU "${CLASSES}\*"

  ; $R9: the uninstall entry names another folder, where Ferrune stays.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $R9 0
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    StrCpy $R9 1
  ${EndIf}
  ; The key container holds only the key pairs that every start renews.
  ${If} $R9 = 0
    System::Call 'advapi32::CryptAcquireContextW(*p .r0, w "Ferrune Container", p 0, i 1, i 0x10) i .r1'
  ${EndIf}

  Call un.ShortcutHere
  ${If} $R1 = 1
    Delete "$SMPROGRAMS\Ferrune.lnk"
  ${EndIf}
  Delete "$INSTDIR\ferrune.exe"
  Delete "$INSTDIR\zrv.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Running in place, the uninstaller cannot delete itself: a copy of it in
  ; the temporary files does that once this process has ended.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    GetTempFileName $0
    Delete $0
    CopyFiles /SILENT "$INSTDIR\uninstall.exe" "$0.exe"
    Exec '"$0.exe" /S /AFTER _?=$INSTDIR'
  ${EndIf}
  ${If} $R9 = 0
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
