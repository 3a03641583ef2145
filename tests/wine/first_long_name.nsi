; The installer's DOS-name rule on its own: reads paths.txt beside it, one
; path a line, and writes to names.txt, a line each, the first name in the
; path that DOS does not show as it stands, or an empty line.
;
; makensis -DPACKAGING=packaging/windows -DOUTFILE=... first_long_name.nsi
Unicode true
!include "TextFunc.nsh"
!addincludedir "${PACKAGING}"
!include "companion-folder.nsh"

Name "first_long_name"
OutFile "${OUTFILE}"
SilentInstall silent
RequestExecutionLevel user

Section
  FileOpen $R0 "$EXEDIR\paths.txt" r
  FileOpen $R1 "$EXEDIR\names.txt" w
  ${Do}
    ClearErrors
    FileRead $R0 $R2
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ${TrimNewLines} $R2 $R2
    Push $R2
    Call FirstLongName
    Pop $R3
    FileWrite $R1 "$R3$\r$\n"
  ${Loop}
  FileClose $R0
  FileClose $R1
SectionEnd
