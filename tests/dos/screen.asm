; A DOS program run as the companion: the text screen as the program finds
; it when it starts, before it writes anything, saved to SCREEN.TXT. The
; characters of the 80x25 colour text screen at B800:0000, without their
; colours, a line of the screen to a line of the file. It then stays for
; about 20 seconds, so that its window can be looked at, and ends.

        cpu     186
        org     100h

COLUMNS         equ     80
ROWS            equ     25
STAY_TICKS      equ     364             ; BIOS ticks, 18.2 a second

start:  cld
        mov     di, report
        push    ds
        mov     ax, 0B800h
        mov     ds, ax
        xor     si, si
        mov     dx, ROWS
.row:   mov     cx, COLUMNS
.cell:  lodsw                           ; the character, then its colour
        stosb
        loop    .cell
        mov     ax, 0A0Dh
        stosw
        dec     dx
        jnz     .row
        pop     ds
        call    write_report_file
        push    ds
        xor     ax, ax
        mov     ds, ax
        mov     bx, [046Ch]
.stay:  sti
        hlt                             ; until the next interrupt
        mov     ax, [046Ch]
        sub     ax, bx
        cmp     ax, STAY_TICKS
        jb      .stay
        pop     ds
        mov     ax, 4C00h
        int     21h

%include "report.inc"

report_name     db      "SCREEN.TXT", 0
report:
