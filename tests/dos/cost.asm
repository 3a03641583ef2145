; A DOS program for the bench, a .COM program run as the companion: what
; look-ups of a name that is not the relay's cost in emulated time. It
; writes COST.TXT:
;   OPENS <ticks>   10,000 failed opens of ZINDOK3.TXT
;   FINDS <ticks>   10,000 failed FindFirsts of the same name
; in BIOS ticks (18.2 a second), hex, each counted from a tick's start. The
; name is near the relay's own, so that the idle helper goes as far as it
; ever goes with a name that is not the relay's.

        cpu     186
        org     100h

LOOK_UPS        equ     10000

start:  cld
        mov     di, report
        mov     si, opens_label
        mov     ax, 3D00h
        call    time_look_ups
        mov     si, finds_label
        mov     ax, 4E00h
        call    time_look_ups
        call    write_report
        mov     ax, 4C00h
        int     21h

; The label at SI, then the ticks that LOOK_UPS calls of function AX on the
; name took.
time_look_ups:
        call    put_text
        push    ds
        push    ax
        xor     ax, ax
        mov     ds, ax
        mov     bx, [046Ch]
.edge:  cmp     bx, [046Ch]             ; from the start of a tick
        je      .edge
        mov     bx, [046Ch]
        pop     ax
        pop     ds
        mov     bp, LOOK_UPS
.call:  push    ax
        xor     cx, cx
        mov     dx, other_name
        int     21h
        pop     ax
        dec     bp
        jnz     .call
        push    ds
        xor     ax, ax
        mov     ds, ax
        mov     ax, [046Ch]
        pop     ds
        sub     ax, bx
        call    put_hex
        mov     ax, 0A0Dh
        stosw
        ret

%include "report.inc"
write_report equ write_report_file

other_name      db      "ZINDOK3.TXT", 0
opens_label     db      "OPENS ", 0
finds_label     db      "FINDS ", 0
report_name     db      "COST.TXT", 0
report:
