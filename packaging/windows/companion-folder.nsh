; What of a folder's path DOSBox shows as it stands, and so where the relay
; can start the companion: the relay finds the companion's folder in DOSBox
; by its names, and DOSBox shows a name that is not short under another.
!include "LogicLib.nsh"

; A path on the stack in; out, the first name in it that is not short, or
; "" when every name is. A drive ("C:") is no name.
Function FirstLongName
  Exch $0   ; the path, then the answer
  Push $1   ; where the name being read starts
  Push $2   ; where the reading is
  Push $3
  Push $4
  Push $5   ; the path's length
  StrCpy $1 0
  StrCpy $2 0
  StrLen $5 $0
  ${Do}
    StrCpy $3 $0 1 $2
    ${If} $2 >= $5
    ${OrIf} $3 == "\"
    ${OrIf} $3 == "/"
      IntOp $4 $2 - $1
      StrCpy $4 $0 $4 $1
      Push $4
      Call IsShortName
      Pop $3
      ${If} $3 == 0
        StrCpy $0 $4
        Goto done
      ${EndIf}
      IntOp $1 $2 + 1
    ${EndIf}
    ${IfThen} $2 >= $5 ${|} ${ExitDo} ${|}
    IntOp $2 $2 + 1
  ${Loop}
  StrCpy $0 ""
done:
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; A name on the stack in, 1 or 0 out: whether DOS shows it as it stands,
; with one to eight characters, then at most a dot and three more, and no
; space. An empty name (from "\\" or a trailing "\") and a drive pass.
Function IsShortName
  Exch $0   ; the name, then the answer
  Push $1   ; its length
  Push $2   ; where the reading is
  Push $3   ; the character read
  Push $4   ; where its dot is, -1 without
  StrLen $1 $0
  StrCpy $2 0
  StrCpy $4 -1
  StrCpy $3 $0 1 -1
  ${If} $1 == 0
  ${OrIf} $3 == ":"
    StrCpy $0 1
    Goto done
  ${EndIf}
  ${Do}
    ${IfThen} $2 >= $1 ${|} ${ExitDo} ${|}
    StrCpy $3 $0 1 $2
    ${If} $3 == "."
    ${AndIf} $4 >= 0
      StrCpy $3 " "  ; a second dot fails as a space does
    ${ElseIf} $3 == "."
      StrCpy $4 $2
    ${EndIf}
    ${If} $3 == " "
      StrCpy $0 0
      Goto done
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  ${If} $4 < 0
    StrCpy $4 $1  ; no dot: the whole name is the base
  ${EndIf}
  IntOp $3 $1 - $4  ; the dot and the extension
  ${If} $4 >= 1
  ${AndIf} $4 <= 8
  ${AndIf} $3 <= 4
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
done:
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
