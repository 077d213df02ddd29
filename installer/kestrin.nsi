; The Kestrin installer, one per architecture:
;   makensis -DARCH=x64|x86 -DSOURCE=<folder with the programs> -DOUTFILE=<setup.exe> kestrin.nsi
; Installs Kestrin.exe, kestrin-text.exe, kestrin-pdb.exe and the README, a
; Start-menu entry, optionally a start with Windows, and an uninstaller that
; removes all of it and, when asked (/REMOVESETTINGS when silent), the settings.
Unicode true
!if ${ARCH} == "x64"
  Target amd64-unicode
  InstallDir "$PROGRAMFILES64\Kestrin"
!else
  Target x86-unicode
  InstallDir "$PROGRAMFILES\Kestrin"
!endif
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

Name "Kestrin"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrin"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

; A running Kestrin keeps its program file and writes its settings when it
; ends: it is asked to close first (as at the end of a Windows session: its
; settings are saved, no question is asked), and the run waits until the
; process is gone. An interactive run asks the user before; a silent run closes
; it. One that does not end stops the run before anything is changed.
!macro CloseRunningKestrin
  FindWindow $0 "Quorvane"
  ${If} $0 != 0
    ${IfNot} ${Silent}
      MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "Kestrin is running. OK closes it (its settings are saved) and goes on; Cancel stops here and changes nothing." IDOK +2
      Abort "Kestrin is running; nothing was changed."
    ${EndIf}
    DetailPrint "Closing the running Kestrin"
    SendMessage $0 ${WM_ENDSESSION} 1 0 /TIMEOUT=5000
  ${EndIf}
  ; The process holds its single-instance mutex until it has ended.
  StrCpy $1 0
  ${Do}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "KestrinOrsk") p .r2'
    ${If} $2 == 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r2)'
    ${If} $1 >= 100
      MessageBox MB_OK|MB_ICONSTOP "Kestrin is still running and did not close. Close it and run this again; nothing was changed." /SD IDOK
      Abort "Kestrin is still running; nothing was changed."
    ${EndIf}
    FindWindow $0 "Quorvane"
    ${If} $0 != 0
      SendMessage $0 ${WM_ENDSESSION} 1 0 /TIMEOUT=2000
    ${EndIf}
    Sleep 100
    IntOp $1 $1 + 1
  ${Loop}
  ; The process may still be ending after it let go of the mutex: its program
  ; file is free once it can be removed (the installer puts the new one after).
  StrCpy $1 0
  ${DoWhile} ${FileExists} "$INSTDIR\Kestrin.exe"
    Delete "$INSTDIR\Kestrin.exe"
    ${If} ${FileExists} "$INSTDIR\Kestrin.exe"
      ${If} $1 >= 100
        MessageBox MB_OK|MB_ICONSTOP "Kestrin.exe is still in use. Close Kestrin and run this again; nothing was changed." /SD IDOK
        Abort "Kestrin.exe is still in use; nothing was changed."
      ${EndIf}
      Sleep 100
      IntOp $1 $1 + 1
    ${EndIf}
  ${Loop}
!macroend

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Kestrin (required)" SecProgram
  SectionIn RO
  !insertmacro CloseRunningKestrin
  SetOutPath "$INSTDIR"
  File "${SOURCE}\Kestrin.exe"
  File "${SOURCE}\kestrin-text.exe"
  File "${SOURCE}\kestrin-pdb.exe"
  File "${SOURCE}\README.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\Kestrin"
  CreateShortcut "$SMPROGRAMS\Kestrin\Kestrin.lnk" "$INSTDIR\Kestrin.exe"
  CreateShortcut "$SMPROGRAMS\Kestrin\Uninstall Kestrin.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestrin developers"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Start Kestrin with Windows" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "Kestrin" '"$INSTDIR\Kestrin.exe"'
SectionEnd

Section "Uninstall"
  ; A running copy would keep its files and write its settings again.
  !insertmacro CloseRunningKestrin
  DetailPrint "Removing Kestrin from $INSTDIR"
  Delete "$INSTDIR\Kestrin.exe"
  Delete "$INSTDIR\kestrin-text.exe"
  Delete "$INSTDIR\kestrin-pdb.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Kestrin\Kestrin.lnk"
  Delete "$SMPROGRAMS\Kestrin\Uninstall Kestrin.lnk"
  RMDir "$SMPROGRAMS\Kestrin"
  DeleteRegValue HKCU "${RUN_KEY}" "Kestrin"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  IfErrors 0 remove_settings
  IfSilent keep_settings
  MessageBox MB_YESNO|MB_ICONQUESTION "Remove Kestrin's settings (Quorvane.INI) and its clipboard history as well?" IDNO keep_settings
remove_settings:
  Delete "$WINDIR\Quorvane.INI"
  Delete "$APPDATA\Kestrin\Quorvane.INI"
  Delete "$APPDATA\Kestrin\History.dat"
  Delete "$APPDATA\Kestrin\History.dat.new"
  RMDir "$APPDATA\Kestrin"
keep_settings:
SectionEnd
