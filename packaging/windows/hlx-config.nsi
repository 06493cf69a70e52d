; The utility's Windows installer: per user, no administrator rights, under the user's local
; programs folder. The build defines VERSION, OUTFILE, and FILES and REMOVALS, the lists of
; what to install and what the uninstaller removes.
; A 64-bit installer for the 64-bit utility: it runs where the utility runs, with no 32-bit
; layer needed (wine64 alone, too).
Target amd64-unicode
Name "HLX configuration utility"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\HLX configuration utility"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\hlx-config"
!define SHORTCUT "$SMPROGRAMS\HLX configuration utility.lnk"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The shortcut's working folder is the output folder: bin\, where the utility keeps
  ; UserSetting.ini and from where it finds ..\demo and ..\Pictor.
  SetOutPath "$INSTDIR\bin"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\bin\hlx-config.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "HLX configuration utility"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there and nothing else: a folder stays while it holds a file
; the user's utility wrote, such as bin\UserSetting.ini.
Section "Uninstall"
  Delete "${SHORTCUT}"
  !include "${REMOVALS}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
