; The utility's Windows installer: per user, no administrator rights, under the user's local
; programs folder. The build defines VERSION, OUTFILE, QT_WINDOW_CLASS (the class of the
; utility's window), UTILITY_FILES and SIMULATOR_FILES (what each component installs) and
; REMOVALS (what the uninstaller removes).
; A 64-bit installer for the 64-bit utility: it runs where the utility runs, with no 32-bit
; layer needed (wine64 alone, too).
Target amd64-unicode
Name "HLX configuration utility"
OutFile "${OUTFILE}"
RequestExecutionLevel user

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\hlx-config"
!define SHORTCUT "$SMPROGRAMS\HLX configuration utility.lnk"
!define STARTUP_SHORTCUT "$SMSTARTUP\HLX configuration utility.lnk"
!define INSTANCE_MUTEX "HLX_Configuration_Mutex"
!define WINDOW_TITLE "HLX_Configuration_Utility"
; Exit codes of a run, besides NSIS's own 0 (done), 1 (cancelled) and 2 (stopped): done, but
; files in use go at the next restart, as Windows Installer reports it.
!define EXIT_RESTART_NEEDED 3010

; An upgrade goes where the installed version is.
InstallDir "$LOCALAPPDATA\Programs\HLX configuration utility"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
; A file that cannot be written stops the install, silent or not, rather than leaving a mix
; of two versions.
AllowSkipFiles off
; Whatever went wrong has been reported in a box of its own by then.
AutoCloseWindow true

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var LeftBehind
Var AtRestart

; Ends the utility that runs from any install, before its files are touched, and only after
; asking in an interactive run. Stops the run when it cannot.
!macro END_RUNNING_UTILITY_FUNCTION UN
Function ${UN}EndRunningUtility
  StrCpy $R6 0 ; asked
  StrCpy $R7 0 ; attempts
  ${Do}
    ; SYNCHRONIZE: only to see whether it exists.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p.R1'
    ${If} $R1 == 0
      Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R1)'
    ${If} $R7 >= 100
      MessageBox MB_ICONSTOP "HLX configuration utility is running and could not be closed. \
          Exit it from its tray icon, then try again." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
    IntOp $R7 $R7 + 1
    System::Call 'user32::FindWindowW(w "${QT_WINDOW_CLASS}", w "${WINDOW_TITLE}") p.R2'
    ${If} $R2 == 0
      ; Starting, or a second start that is about to go: wait for its window or its end.
      Sleep 100
      ${Continue}
    ${EndIf}
    ${If} $R6 == 0
      MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "HLX configuration utility is running.$\r$\n$\r$\n\
          OK closes it and continues; Cancel stops here and leaves it running." \
          /SD IDOK IDOK +3
        SetErrorLevel 1
        Abort
      StrCpy $R6 1
    ${EndIf}
    DetailPrint "Closing the running HLX configuration utility"
    System::Call 'user32::GetWindowThreadProcessId(p R2, *i .R3)'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i R3) p.R4'
    ; WM_ENDSESSION with ENDSESSION_CLOSEAPP, what Windows sends a program that must go: Qt ends
    ; the event loop, and the utility leaves as from its tray's "exit", tray icon and all.
    ; A posted WM_CLOSE would only hide the window to the tray.
    System::Call 'user32::SendMessageTimeoutW(p R2, i 0x16, p 1, p 1, i 2, i 5000, *p .R5)'
    System::Call 'kernel32::WaitForSingleObject(p R4, i 10000) i.R5'
    ${If} $R5 != 0
      ; A box of its own is open, or it hangs: neither ends before someone answers it.
      DetailPrint "HLX configuration utility did not close: ending it"
      System::Call 'kernel32::TerminateProcess(p R4, i 1)'
      System::Call 'kernel32::WaitForSingleObject(p R4, i 5000)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R4)'
  ${Loop}
FunctionEnd
!macroend
!insertmacro END_RUNNING_UTILITY_FUNCTION ""
!insertmacro END_RUNNING_UTILITY_FUNCTION "un."

; An installed version goes first, by its own uninstaller, so that nothing of it stays that
; this version does not bring, such as a component left out this time.
Function RemoveInstalledVersion
  ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == ""
  ${OrIfNot} ${FileExists} "$R0\Uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the installed version from $R0"
  ; Run in place from a copy: it removes itself and returns its result.
  InitPluginsDir
  CopyFiles /SILENT "$R0\Uninstall.exe" "$PLUGINSDIR\installed-uninstall.exe"
  ClearErrors
  ExecWait '"$PLUGINSDIR\installed-uninstall.exe" /S _?=$R0' $R1
  ${If} ${Errors}
  ${OrIf} $R1 != 0
    MessageBox MB_ICONSTOP "The installed version could not be removed completely \
        (its uninstaller ended with $R1). Restart Windows, then run this setup again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd

Section "-Prepare"
  Call EndRunningUtility
  Call RemoveInstalledVersion
SectionEnd

Section "HLX configuration utility" SectionUtility
  SectionIn RO
  !include "${UTILITY_FILES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The shortcut's working folder is the output folder: bin\, where the utility keeps
  ; UserSetting.ini and from where it finds ..\demo and ..\Pictor.
  SetOutPath "$INSTDIR\bin"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\bin\hlx-config.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "HLX configuration utility"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" \
      '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; A shortcut in the user's Startup folder, not a Run key: a Run entry starts the utility in
; the system folder, where it finds neither its settings nor the demo.
Section "Start at login" SectionStartAtLogin
  SetOutPath "$INSTDIR\bin"
  CreateShortcut "${STARTUP_SHORTCUT}" "$INSTDIR\bin\hlx-config.exe" "--autostart"
SectionEnd

; Its device library goes into bin, where the utility looks first, and its stand-in companions
; into demo and Pictor: after the utility's section, they replace the library for real headsets
; and the real demo and capturer. An install without it starts from the previous version's
; removal, so the real ones are back.
Section /o "Simulator (try it without a headset)" SectionSimulator
  !include "${SIMULATOR_FILES}"
SectionEnd

Function .onInit
  ; Silent runs choose with options: /SIMULATOR adds the simulator, /NOSTARTATLOGIN leaves out
  ; the start at login.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/SIMULATOR" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SectionSimulator}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOSTARTATLOGIN" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SectionStartAtLogin}
  ${EndIf}
FunctionEnd

; A run in place (`Uninstall.exe /S _?=folder`, as a script that wants the result runs it)
; cannot remove its own file: once the uninstall is done it starts a copy of itself with
; /AFTER=its process id, which removes the file and the folder when that run has ended.
; Run without _?=, NSIS itself runs such a copy and returns at once.
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AFTER=" $1
  ${If} ${Errors}
    Return
  ${EndIf}
  ; SYNCHRONIZE
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p.r2'
  System::Call 'kernel32::WaitForSingleObject(p r2, i 60000)'
  System::Call 'kernel32::CloseHandle(p r2)'
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ; MOVEFILE_DELAY_UNTIL_REBOOT, as NSIS does with its own copy
  System::Call 'kernel32::MoveFileExW(w "$EXEPATH", p 0, i 4)'
  Quit
FunctionEnd

; Removes one file and tells of one it cannot: it goes at the next restart, or, where not even
; that can be arranged (a user without administrator rights), it is named as left behind.
; MoveFileEx directly rather than Delete /REBOOTOK, which does not say whether it managed.
Function un.RemoveFile
  Exch $0
  ClearErrors
  Delete "$0"
  ${If} ${Errors}
    ; MOVEFILE_DELAY_UNTIL_REBOOT
    System::Call 'kernel32::MoveFileExW(w r0, p 0, i 4) i.R0'
    ${If} $R0 != 0
      SetRebootFlag true
      DetailPrint "In use, removed at the next restart: $0"
      StrCpy $AtRestart "$AtRestart$0$\r$\n"
    ${Else}
      DetailPrint "Could not remove: $0"
      StrCpy $LeftBehind "$LeftBehind$0$\r$\n"
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd

; Removes what the installer put there and nothing else: a folder stays while it holds a file
; the user's utility wrote, such as bin\UserSetting.ini.
Section "Uninstall"
  ; AutoCloseWindow is the installer's alone.
  SetAutoClose true
  Call un.EndRunningUtility
  Push "${SHORTCUT}"
  Call un.RemoveFile
  Push "${STARTUP_SHORTCUT}"
  Call un.RemoveFile
  !include "${REMOVALS}"

  ${If} $LeftBehind != ""
    ; Still listed in "Apps", so that it can be run again once the files are free.
    MessageBox MB_ICONEXCLAMATION "These files could not be removed:$\r$\n$\r$\n$LeftBehind$\r$\n\
        Close what holds them and uninstall again, or delete them yourself." /SD IDOK
    SetErrorLevel 2
    Goto done
  ${EndIf}
  ${If} $EXEDIR == $INSTDIR
    GetTempFileName $0
    Delete $0
    CopyFiles /SILENT "$EXEPATH" "$0.exe"
    System::Call 'kernel32::GetCurrentProcessId() i.r1'
    Exec '"$0.exe" /S /AFTER=$1 _?=$INSTDIR'
  ${Else}
    Push "$INSTDIR\Uninstall.exe"
    Call un.RemoveFile
    RMDir "$INSTDIR"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} $AtRestart != ""
    MessageBox MB_ICONINFORMATION "These files are in use and will be removed when Windows \
        restarts:$\r$\n$\r$\n$AtRestart" /SD IDOK
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
  done:
SectionEnd
