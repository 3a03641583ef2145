; The Windows installer: shows the licence, puts the relay for this Windows
; (64-bit or 32-bit) in Program Files, and makes shortcuts that start it in
; the companion's folder, which it asks for: the relay works in its working
; directory, and a shortcut's "Start in" is where office users set that. The
; Start menu also gets "Check zindo-relay", which shows what the relay would
; do there, and "Check zindo-relay and ask the device", which then sends the
; device the relay's probe and says whether it answered. Starting the relay
; at login is offered, and off unless chosen: a shortcut in the common
; Startup folder, which runs at every user's login, so that an install
; approved by an administrator, or run as SYSTEM, starts it for the shop's
; own user too. It registers an uninstaller,
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
; /AUTOSTART starts the relay at login. An update keeps what the install
; before it chose: the companion's folder it recorded (COMPANION_KEY) is
; offered again, else C:\ZINDO; a login start it made is kept (its box is
; ticked). A per-user Startup shortcut, as earlier versions made for the
; installing user, gives way to the common one.

Unicode true
!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "${DOSBOX_FILES}"
!addincludedir "${__FILEDIR__}"
!include "companion-folder.nsh"

!define UNINSTALL_KEY \
  "Software\Microsoft\Windows\CurrentVersion\Uninstall\zindo-relay"
; The installer's own record, in the relay's registry view.
!define COMPANION_KEY "Software\zindo-relay"

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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CompanionFolderLeave
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

; Unticked unless asked for (/AUTOSTART) or there already. The common
; Startup folder: whoever logs in gets the relay on their desktop, whichever
; account approved the install.
Section /o "Start the relay when I log in" AtLogin
  SetShellVarContext all
  SetOutPath "$Companion"
  CreateShortcut "$SMSTARTUP\zindo-relay.lnk" "$INSTDIR\zindo-relay.exe"
SectionEnd

; An update that leaves the box unticked stops starting it at login. The
; installing user's own shortcut from an earlier version goes either way:
; kept, it would start a second relay beside the common one's.
Section "-StopAtLogin"
  ${IfNot} ${SectionIsSelected} ${AtLogin}
    SetShellVarContext all
    Delete "$SMSTARTUP\zindo-relay.lnk"
  ${EndIf}
  SetShellVarContext current
  Delete "$SMSTARTUP\zindo-relay.lnk"
  SetShellVarContext all
SectionEnd

; For the next update, which offers the folder again.
Section "-RememberCompanion"
  WriteRegStr HKLM "${COMPANION_KEY}" "CompanionFolder" "$Companion"
SectionEnd

; Leaving the folder page: a warning where the relay could not work in the
; folder, a question before a folder is made; "No" stays on the page.
Function CompanionFolderLeave
  Push $Companion
  Call FirstLongName
  Pop $0
  ${If} $0 != ""
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION "DOSBox cannot reach $Companion: $\"$0$\" is not a DOS name (at most 8 characters, then a dot and at most 3 more, no spaces), so the relay cannot start the companion there.$\n$\nUse this folder anyway?" IDYES`
      Abort
    ${EndIf}
  ${EndIf}
  ${IfNot} ${FileExists} "$Companion\*.*"
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "$Companion does not exist. Create it?" IDYES`
      Abort
    ${EndIf}
  ${ElseIfNot} ${FileExists} "$Companion\autoexec.pif"
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION "There is no autoexec.pif in $Companion: the relay starts the companion from it.$\n$\nUse this folder anyway?" IDYES`
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

; A shortcut's path on the stack in; out, the folder it starts in, or ""
; when there is no such shortcut. Through the shell's own IShellLinkW.
Function ShortcutStartFolder
  Exch $0   ; the path, then the answer
  Push $1   ; the IShellLinkW
  Push $2   ; its IPersistFile
  Push $3
  StrCpy $3 ""
  System::Call "ole32::CoCreateInstance(g '{00021401-0000-0000-C000-000000000046}', p 0, i 1, g '{000214F9-0000-0000-C000-000000000046}', *p .r1) i .r2"
  ${If} $2 = 0
    System::Call "$1->0(g '{0000010b-0000-0000-C000-000000000046}', *p .r2) i .r3"
    ${If} $3 = 0
      System::Call "$2->5(w r0, i 0) i .r3"  ; IPersistFile::Load
      ${If} $3 = 0
        System::Call "$1->8(w .r3, i ${NSIS_MAX_STRLEN}) i"  ; GetWorkingDirectory
      ${Else}
        StrCpy $3 ""
      ${EndIf}
      System::Call "$2->2()"  ; Release
    ${Else}
      StrCpy $3 ""
    ${EndIf}
    System::Call "$1->2()"
  ${EndIf}
  StrCpy $0 $3
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; After the sections, whose names it uses.
Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == "$PROGRAMFILES\zindo-relay"
      StrCpy $INSTDIR "$PROGRAMFILES64\zindo-relay"
    ${EndIf}
  ${EndIf}
  ReadRegStr $Companion HKLM "${COMPANION_KEY}" "CompanionFolder"
  ${If} $Companion == ""
    ; Versions before the record kept the folder only in their shortcuts.
    SetShellVarContext all
    Push "$SMPROGRAMS\zindo-relay\zindo-relay.lnk"
    Call ShortcutStartFolder
    Pop $Companion
  ${EndIf}
  ${If} $Companion == ""
    StrCpy $Companion "C:\ZINDO"
  ${EndIf}
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
  ; Everyone's login start, or the installing user's from before.
  SetShellVarContext all
  ${If} ${FileExists} "$SMSTARTUP\zindo-relay.lnk"
    !insertmacro SelectSection ${AtLogin}
  ${EndIf}
  SetShellVarContext current
  ${If} ${FileExists} "$SMSTARTUP\zindo-relay.lnk"
    !insertmacro SelectSection ${AtLogin}
  ${EndIf}
  SetShellVarContext all
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
  DeleteRegKey HKLM "${COMPANION_KEY}"
  Delete "$SMSTARTUP\zindo-relay.lnk"
  ; The uninstalling user's own, as earlier versions made it.
  SetShellVarContext current
  Delete "$SMSTARTUP\zindo-relay.lnk"
SectionEnd
