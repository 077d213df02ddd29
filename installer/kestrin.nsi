; The Kestrin installer, one per architecture:
;   makensis -DARCH=x64|x86 -DSOURCE=<folder with the programs> -DOUTFILE=<setup.exe> kestrin.nsi
; Installs Kestrin.exe, kestrin.com (its command line), kestrin-text.exe,
; kestrin-pdb.exe and the README, a Start-menu entry, optionally a start with
; Windows and the folder on PATH (/ADDTOPATH when silent), and an uninstaller
; that removes all of it and, when asked (/REMOVESETTINGS when silent), the
; settings.
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
!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

; PATH as it stands ($R0 in) without the program's folder: $R0 the rest, $R1
; 1 when the folder was in it. Pieces compare without regard to case, with or
; without a closing backslash; nothing else of PATH changes.
!macro PathWithoutFolder un
Function ${un}PathWithoutFolder
  StrCpy $R1 0
  StrCpy $R2 ""  ; what is kept
  StrCpy $R3 ""  ; the piece read so far
  StrCpy $R4 0   ; where
  ${Do}
    StrCpy $R5 $R0 1 $R4
    ${If} $R5 == ""
    ${OrIf} $R5 == ";"
      ${If} $R3 == "$INSTDIR"
      ${OrIf} $R3 == "$INSTDIR\"
        StrCpy $R1 1
      ${Else}
        StrCpy $R2 "$R2$R3;"
      ${EndIf}
      StrCpy $R3 ""
      ${If} $R5 == ""
        ${Break}
      ${EndIf}
    ${Else}
      StrCpy $R3 "$R3$R5"
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
  ; Each piece kept took a separator after it: the last one goes.
  StrCpy $R0 $R2 -1
FunctionEnd
!macroend
!insertmacro PathWithoutFolder ""
!insertmacro PathWithoutFolder "un."

; A PATH as long as the strings this installer holds cannot be edited whole:
; it is left as it is, and the user told.
!macro EditablePath result
  ReadRegStr $R0 HKLM "${ENV_KEY}" "Path"
  StrLen $R6 $R0
  StrLen $R7 "$INSTDIR"
  IntOp $R6 $R6 + $R7
  IntOp $R7 ${NSIS_MAX_STRLEN} - 4
  ${If} $R6 >= $R7
    StrCpy ${result} 0
  ${Else}
    StrCpy ${result} 1
  ${EndIf}
!macroend

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
  File "${SOURCE}\kestrin.com"
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

Section /o "Add Kestrin's folder to PATH (the kestrin command anywhere)" SecPath
  !insertmacro EditablePath $R8
  ${If} $R8 == 0
    DetailPrint "PATH is too long to be edited here: add $INSTDIR to it by hand."
    MessageBox MB_OK|MB_ICONEXCLAMATION "PATH is too long to be edited by this installer. Add $INSTDIR to it by hand to type kestrin anywhere." /SD IDOK
  ${Else}
    Call PathWithoutFolder
    ${If} $R0 == ""
      StrCpy $R0 "$INSTDIR"
    ${Else}
      StrCpy $R5 $R0 1 -1
      ${If} $R5 == ";"
        StrCpy $R0 "$R0$INSTDIR"
      ${Else}
        StrCpy $R0 "$R0;$INSTDIR"
      ${EndIf}
    ${EndIf}
    WriteRegExpandStr HKLM "${ENV_KEY}" "Path" $R0
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    DetailPrint "Added $INSTDIR to PATH"
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; A running copy would keep its files and write its settings again.
  !insertmacro CloseRunningKestrin
  DetailPrint "Removing Kestrin from $INSTDIR"
  Delete "$INSTDIR\Kestrin.exe"
  Delete "$INSTDIR\kestrin.com"
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
  ; The folder leaves PATH, when the installer (or the user) put it there.
  !insertmacro EditablePath $R8
  ${If} $R8 == 1
    Call un.PathWithoutFolder
    ${If} $R1 == 1
      WriteRegExpandStr HKLM "${ENV_KEY}" "Path" $R0
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
      DetailPrint "Removed $INSTDIR from PATH"
    ${EndIf}
  ${Else}
    DetailPrint "PATH is too long to be edited here: remove $INSTDIR from it by hand if it is there."
  ${EndIf}

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
