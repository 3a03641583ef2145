; The Windows installer: shows the licence, puts the relay for this Windows
; (64-bit or 32-bit) in Program Files, and makes shortcuts that start it in
; the companion's folder, which it asks for: the relay works in its working
; directory, and a shortcut's "Start in" is where office users set that. The
; Start menu also gets "Check zindo-relay", which shows what the relay would
; do there, and "Check zindo-relay and ask the device", which then sends the
; device the relay's probe and says whether it answered. Starting the relay at login (a shortcut in the user's Startup
; folder) is offered, and off unless chosen. It registers an uninstaller,
; which removes what it installed and never the companion's files. Either relay gets the same DOSBox (a 32-bit program), in DOSBox\
; beside it, where the relay looks for its own; the user's own DOSBox
; installations, App Paths entries and DOSBox settings are not touched.
;
; makensis -DVERSION=1.0.0 -DWIN64_EXE=... -DWIN32_EXE=... -DREADME=...
;          -DMANUAL=... -DLICENSE=LICENSE.txt
;          -DDOSBOX_FILES=dosbox-files.nsh -DOUTFILE=... zindo-relay.nsi
; DOSBOX_FILES defines the macros InstallDosbox and UninstallDosbox, which
; name each of DOSBox's files (make-packages writes it).
; Silent: setup.exe /S [/COMPANION=C:\ZINDO] [/AUTOSTART]
;                    [/D=C:\Program Files\zindo-relay]
; /AUTOSTART starts the relay at login. A Startup shortcut that an earlier
; install made is kept (its box is ticked), so that an update keeps it.

Unicode true
!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "${DOSBOX_FILES}"

!define UNINSTALL_KEY \
  "Software\Microsoft\Windows\CurrentVersion\Uninstall\zindo-relay"

Name "zindo-relay ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\zindo-relay"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "zindo-relay"
VIAddVersionKey "FileDescription" "zindo-relay ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 the zindo-relay developers"

Var Companion

!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "The companion's folder"
!define MUI_PAGE_HEADER_SUBTEXT "Where the DOS program and its autoexec.pif are."
!define MUI_DIRECTORYPAGE_TEXT_TOP \
  "The relay works in the companion's folder: the shortcuts start it there."
!define MUI_DIRECTORYPAGE_VARIABLE $Companion
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "zindo-relay"
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "/oname=zindo-relay.exe" "${WIN64_EXE}"
  ${Else}
    File "/oname=zindo-relay.exe" "${WIN32_EXE}"
  ${EndIf}
  File "/oname=README.txt" "${README}"
  File "/oname=manual.txt" "${MANUAL}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  !insertmacro InstallDosbox
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A shortcut starts in the output path current when it is made.
  CreateDirectory "$Companion"
  SetOutPath "$Companion"
  CreateDirectory "$SMPROGRAMS\zindo-relay"
  CreateShortcut "$SMPROGRAMS\zindo-relay\zindo-relay.lnk" \
    "$INSTDIR\zindo-relay.exe"
  CreateShortcut "$SMPROGRAMS\zindo-relay\Check zindo-relay.lnk" \
    "$INSTDIR\zindo-relay.exe" "--check"
  CreateShortcut "$SMPROGRAMS\zindo-relay\Check zindo-relay and ask the device.lnk" \
    "$INSTDIR\zindo-relay.exe" "--check --probe"
  CreateShortcut "$DESKTOP\zindo-relay.lnk" "$INSTDIR\zindo-relay.exe"
  CreateShortcut "$SMPROGRAMS\zindo-relay\README.lnk" "$INSTDIR\README.txt"
  CreateShortcut "$SMPROGRAMS\zindo-relay\Manual.lnk" "$INSTDIR\manual.txt"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "zindo-relay"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "zindo-relay developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zindo-relay.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Unticked unless asked for (/AUTOSTART) or there already. The user's own
; Startup folder: the relay runs on that user's desktop.
Section /o "Start the relay when I log in" AtLogin
  SetShellVarContext current
  SetOutPath "$Companion"
  CreateShortcut "$SMSTARTUP\zindo-relay.lnk" "$INSTDIR\zindo-relay.exe"
  SetShellVarContext all
SectionEnd

; An update that leaves the box unticked stops starting it at login.
Section "-StopAtLogin"
  ${IfNot} ${SectionIsSelected} ${AtLogin}
    SetShellVarContext current
    Delete "$SMSTARTUP\zindo-relay.lnk"
    SetShellVarContext all
  ${EndIf}
SectionEnd

; After the sections, whose names it uses.
Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == "$PROGRAMFILES\zindo-relay"
      StrCpy $INSTDIR "$PROGRAMFILES64\zindo-relay"
    ${EndIf}
  ${EndIf}
  StrCpy $Companion "C:\ZINDO"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/COMPANION=" $R1
  ${IfNot} ${Errors}
    StrCpy $Companion $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${AtLogin}
  ${EndIf}
  SetShellVarContext current
  ${If} ${FileExists} "$SMSTARTUP\zindo-relay.lnk"
    !insertmacro SelectSection ${AtLogin}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$DESKTOP\zindo-relay.lnk"
  Delete "$SMPROGRAMS\zindo-relay\zindo-relay.lnk"
  Delete "$SMPROGRAMS\zindo-relay\README.lnk"
  Delete "$SMPROGRAMS\zindo-relay\Manual.lnk"
  Delete "$SMPROGRAMS\zindo-relay\Check zindo-relay.lnk"
  Delete "$SMPROGRAMS\zindo-relay\Check zindo-relay and ask the device.lnk"
  RMDir "$SMPROGRAMS\zindo-relay"
  Delete "$INSTDIR\zindo-relay.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\manual.txt"
  Delete "$INSTDIR\LICENSE.txt"
  !insertmacro UninstallDosbox
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetShellVarContext current
  Delete "$SMSTARTUP\zindo-relay.lnk"
SectionEnd
