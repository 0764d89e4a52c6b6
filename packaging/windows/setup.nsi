; The per-user setup of Ferrune: no administrator rights, the programs in
; %LOCALAPPDATA%\Programs\Ferrune, the context-menu entries as ferrune.exe
; writes them, a Start menu shortcut and an entry in the installed apps.
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

Page directory
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

Section "Ferrune"
  !insertmacro RefuseWhileRunning ""
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

; What the Remove button of the information page removes, in the same order:
; per-user first, then machine-wide where allowed.
!macro RemoveEntries root
  DeleteRegKey ${root} "${CLASSES}\*\Shell\Encrypt with Ferrune"
  DeleteRegKey ${root} "${CLASSES}\.zrv"
  DeleteRegKey ${root} "${CLASSES}\Ferrune File"
  DeleteRegKey ${root} "${CLASSES}\*\Shell\FerruneFileCrypt"
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
  !insertmacro RemoveEntries HKCU
  !insertmacro RemoveEntries HKLM
  ; The containers only while nothing of another program is in them.
  DeleteRegKey /ifempty HKCU "${CLASSES}\*\Shell"
  DeleteRegKey /ifempty HKCU "${CLASSES}\*"

  ; The key container holds only the key pairs that every start renews.
  System::Call 'advapi32::CryptAcquireContextW(*p .r0, w "Ferrune Container", p 0, i 1, i 0x10) i .r1'

  Delete "$SMPROGRAMS\Ferrune.lnk"
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
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
