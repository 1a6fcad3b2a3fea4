; The Windows installer of the VORnet Loader (NSIS 3, made by scripts/windows/build.sh):
;   makensis -DVERSION=1.70.0 -DSTAGE=DIR -DOUTFILE=FILE installer.nsi
; STAGE holds the files to install (vorloader-cli.exe, copyright.txt). Installs into
; Program Files, puts the terminal front end on the system PATH (a component the user may
; leave out), adds a Start-menu entry opening a console where vorloader-cli can be typed, and
; registers the uninstaller with Apps & Features. The uninstaller removes every file it
; installed and leaves the firmware folder (%ProgramData%\VORnet) and the run records
; (%LOCALAPPDATA%\vorloader), which belong to the user.
; Silent: setup.exe /S installs everything (/NOPATH leaves the PATH alone); uninstall.exe /S.

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef STAGE
  !error "STAGE is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "vornet-loader-setup-${VERSION}.exe"
!endif

!define PRODUCT "VORnet Loader"
!define PUBLISHER "VORnet"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VORnetLoader"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"
!define CONSOLE_LINK "${MENU_FOLDER}\VORnet Loader Command Prompt.lnk"
!define WINDOW_LINK "${MENU_FOLDER}\VORnet Loader.lnk"
!define DESKTOP_LINK "$DESKTOP\VORnet Loader.lnk"

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "2026 VORnet"

!include "FileFunc.nsh"
!include "WinMessages.nsh"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; ---- The PATH ------------------------------------------------------------------------------

; "$R0" = the system PATH without the entry "$INSTDIR" (compared without case), wherever it is.
!macro PathWithout un
Function ${un}PathWithout
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  ReadRegStr $R1 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrCpy $R0 ""      ; the entries kept
  StrCpy $R2 0       ; where the entry being read starts
  StrCpy $R3 0       ; the position read
  StrLen $R4 $R1
  loop:
    IntCmp $R3 $R4 entry_end 0 entry_end
    StrCpy $R5 $R1 1 $R3
    StrCmp $R5 ";" entry_end
    IntOp $R3 $R3 + 1
    Goto loop
  entry_end:
    IntOp $R5 $R3 - $R2
    StrCpy $R5 $R1 $R5 $R2
    StrCmp $R5 "" next
    StrCmp $R5 "$INSTDIR" next
    StrCmp $R5 "$INSTDIR\" next
    StrCmp $R0 "" 0 +3
    StrCpy $R0 $R5
    Goto next
    StrCpy $R0 "$R0;$R5"
  next:
    IntCmp $R3 $R4 done 0 done
    IntOp $R3 $R3 + 1
    StrCpy $R2 $R3
    Goto loop
  done:
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd
!macroend
!insertmacro PathWithout ""
!insertmacro PathWithout "un."

; Tells running programs (Explorer, new consoles) that the environment changed.
!macro EnvironmentChanged
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
!macroend

; ---- Installing ----------------------------------------------------------------------------

Section "VORnet Loader (vorloader-cli)" SecProgram
  SectionIn RO
  SetShellVarContext all
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${STAGE}\vorloader-cli.exe"
  File "${STAGE}\copyright.txt"
  File "${STAGE}\vorloader.exe"  ; the window
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A console in which vorloader-cli can be typed, in the user's own folder.
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${CONSOLE_LINK}" "$SYSDIR\cmd.exe" \
    '/K "set "PATH=$INSTDIR;%PATH%" && cd /d "%USERPROFILE%" && vorloader-cli --version && echo Type vorloader-cli --help for the manual."' \
    "$SYSDIR\cmd.exe" 0 SW_SHOWNORMAL "" "A console for vorloader-cli"
  ; The window's Start-menu entry.
  CreateShortcut "${WINDOW_LINK}" "$INSTDIR\vorloader.exe" "" "$INSTDIR\vorloader.exe" 0 SW_SHOWNORMAL "" "The VORnet Loader window"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vorloader-cli.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Add vorloader-cli to the PATH" SecPath
  SetRegView 64
  Call PathWithout
  StrCmp $R0 "" 0 +3
  StrCpy $R0 "$INSTDIR"
  Goto +2
  StrCpy $R0 "$R0;$INSTDIR"
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $R0
  ; The uninstaller takes the entry out again only when this installer put it there.
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
  !insertmacro EnvironmentChanged
SectionEnd

Section "A desktop icon for the window" SecDesktop
  SetShellVarContext all
  CreateShortcut "${DESKTOP_LINK}" "$INSTDIR\vorloader.exe" "" "$INSTDIR\vorloader.exe" 0 SW_SHOWNORMAL "" "The VORnet Loader window"
SectionEnd

Function .onInit
  SetRegView 64
  ; /NOPATH: a silent install that leaves the PATH alone.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOPATH" $1
  IfErrors +2
  SectionSetFlags ${SecPath} 0
FunctionEnd

; ---- Uninstalling --------------------------------------------------------------------------

Section "Uninstall"
  SetShellVarContext all
  SetRegView 64
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  IntCmp $0 1 0 path_done path_done
  Call un.PathWithout
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $R0
  !insertmacro EnvironmentChanged
  path_done:

  Delete "${CONSOLE_LINK}"
  Delete "${WINDOW_LINK}"
  Delete "${DESKTOP_LINK}"
  Delete "$INSTDIR\vorloader.exe"
  RMDir "${MENU_FOLDER}"
  Delete "$INSTDIR\vorloader-cli.exe"
  Delete "$INSTDIR\copyright.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files someone else put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
