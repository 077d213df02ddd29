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

Name "Kestrin"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrin"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Kestrin (required)" SecProgram
  SectionIn RO
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
  ; A running copy would keep its files.
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
  MessageBox MB_YESNO|MB_ICONQUESTION "Remove Kestrin's settings (Quorvane.INI) as well?" IDNO keep_settings
remove_settings:
  Delete "$WINDIR\Quorvane.INI"
  Delete "$APPDATA\Kestrin\Quorvane.INI"
  RMDir "$APPDATA\Kestrin"
keep_settings:
SectionEnd
