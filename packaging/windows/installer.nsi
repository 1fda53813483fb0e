; Per-user installer of KibChat: no administrator rights, into
; %LOCALAPPDATA%\Programs\KibChat, with Start-menu entries, an optional desktop shortcut and
; an uninstaller in the user's list of apps. Built by pack.sh:
;   makensis -DVERSION=x.y.z -DSTAGE=<the KibChat folder> -DOUTFILE=<setup.exe> installer.nsi
; The program is 64-bit only, and a 64-bit installer also runs under a 64-bit-only wine.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KibChat"

Name "KibChat ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\KibChat"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\kibchat.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Section "KibChat" SectionProgram
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The program reads images\ and config.ini from its working directory: every shortcut
  ; starts in the install folder (CreateShortcut takes the current output path).
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\KibChat"
  CreateShortcut "$SMPROGRAMS\KibChat\KibChat.lnk" "$INSTDIR\kibchat.exe"
  CreateShortcut "$SMPROGRAMS\KibChat\KibChat demo.lnk" "$INSTDIR\demo.cmd"
  CreateShortcut "$SMPROGRAMS\KibChat\Uninstall KibChat.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "KibChat"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "KibChat"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kibchat.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Desktop shortcut" SectionDesktop
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  CreateShortcut "$DESKTOP\KibChat.lnk" "$INSTDIR\kibchat.exe"
SectionEnd

; Removes what the installer put there; config.ini, the user's settings, stays (and with it
; the folder).
Section "Uninstall"
  SetShellVarContext current
  Delete "$INSTDIR\kibchat.exe"
  Delete "$INSTDIR\kibchat-sim.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\demo.cmd"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\images"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\KibChat\KibChat.lnk"
  Delete "$SMPROGRAMS\KibChat\KibChat demo.lnk"
  Delete "$SMPROGRAMS\KibChat\Uninstall KibChat.lnk"
  RMDir "$SMPROGRAMS\KibChat"
  Delete "$DESKTOP\KibChat.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
