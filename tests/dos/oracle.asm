; A DOS program for the idle helper's oracle test, a .COM program run twice
; by ORACLE.BAT, with the relay and the device simulator about:
;   ORACLE A   lists the directory (DOSBox caches it), sends a request, and
;              polls with FindFirst for the response, which DOSBox's cache
;              does not hold; keeps the found entry in A.BIN, with what a
;              FindNext on that DTA and a wildcard FindFirst returned;
;   RESCAN     (DOSBox's own) empties the cache;
;   ORACLE B   finds the response again, from DOSBox's fresh listing, and
;              writes ORACLE.TXT:
;     HELPER <hex>    the found entry from DTA offset 15h as the helper
;     DOSBOX <hex>    filled it, and as DOSBox did, up to the name's NUL
;     SAME | DIFFERENT <offset from 15h of the first byte that differs>
;     NEXT <CF> <AX>  the FindNext after the helper's answer
;     PATH <CF> <AX> SAME | DIFFERENT   the helper's answer for the same
;                     file named with drive, directory and in lower case
;     STALE <CF> <AX> a wildcard FindFirst for the response before RESCAN
;     FRESH <CF> <AX> the same after it
;     END
; Phase A gives up after 30 s without a response and writes no A.BIN.

        cpu     186
        org     100h

TIMEOUT_TICKS   equ     546
ENTRY_OFFSET    equ     15h
ENTRY_LENGTH    equ     2Bh - ENTRY_OFFSET  ; to the end of the name field
NAME_IN_ENTRY   equ     1Eh - ENTRY_OFFSET

start:  cld
        mov     al, [82h]               ; the first letter of the tail
        cmp     al, 'A'
        je      phase_a
        jmp     phase_b

phase_a:
        mov     dx, everything          ; DOSBox lists the directory now
        call    find_first
        call    send_request
        xor     ax, ax
        mov     es, ax
        mov     bp, [es:046Ch]
        push    ds
        pop     es
.poll:  mov     dx, response_name
        call    find_first
        jnc     .found
        xor     ax, ax
        mov     es, ax
        mov     ax, [es:046Ch]
        push    ds
        pop     es
        sub     ax, bp
        cmp     ax, TIMEOUT_TICKS
        jb      .poll
        jmp     exit
.found: mov     si, 80h + ENTRY_OFFSET  ; the DTA is the PSP's tail
        mov     di, saved_entry
        mov     cx, ENTRY_LENGTH
        rep     movsb
        mov     ah, 4Fh                 ; find next
        int     21h
        mov     di, saved_next
        call    keep_result
        mov     dx, response_path
        call    find_first
        mov     di, saved_path
        call    keep_result
        mov     byte [saved_path_same], 0
        call    compare_with_saved
        jne     .kept
        inc     byte [saved_path_same]
.kept:
        mov     dx, response_wildcard
        call    find_first
        mov     di, saved_stale
        call    keep_result
        mov     dx, saved_name
        mov     si, saved
        mov     cx, saved_length
        call    write_file
        jmp     exit

phase_b:
        mov     dx, saved_name          ; A.BIN
        mov     ax, 3D00h
        int     21h
        jc      exit
        mov     bx, ax
        mov     ah, 3Fh
        mov     cx, saved_length
        mov     dx, saved
        int     21h
        mov     ah, 3Eh
        int     21h
        mov     dx, response_wildcard
        call    find_first
        mov     di, fresh
        call    keep_result
        mov     dx, response_name
        call    find_first
        jc      exit
        call    write_report
exit:   mov     ax, 4C00h
        int     21h

; FindFirst of the path at DX, for files with no special attributes.
find_first:
        mov     ah, 4Eh
        xor     cx, cx
        int     21h
        ret

; Keeps CF (a byte) and AX at DI.
keep_result:
        mov     byte [di], 0
        adc     byte [di], 0
        mov     [di+1], ax
        ret

send_request:
        mov     ah, 3Ch
        xor     cx, cx
        mov     dx, request_name
        int     21h
        jc      exit
        mov     bx, ax
        mov     ah, 40h
        mov     cx, request_length
        mov     dx, request
        int     21h
        mov     ah, 3Eh
        int     21h
        ret

; The report, compared from DTA offset 15h up to the NUL that ends the
; name DOSBox gave: what follows the NUL in the name field is not part of
; the name.
write_report:
        mov     di, report
        mov     si, helper_label
        call    put_text
        mov     si, saved_entry
        call    put_entry
        mov     si, dosbox_label
        call    put_text
        mov     si, 80h + ENTRY_OFFSET
        call    put_entry
        call    compare_entries
        mov     si, next_label
        mov     bx, saved_next
        call    put_result
        mov     si, path_label
        mov     bx, saved_path
        call    put_result
        sub     di, 2                   ; the line goes on
        mov     al, ' '
        stosb
        mov     si, same_label
        cmp     byte [saved_path_same], 0
        jne     .same
        mov     si, different_text
.same:  call    put_text
        mov     si, stale_label
        mov     bx, saved_stale
        call    put_result
        mov     si, fresh_label
        mov     bx, fresh
        call    put_result
        mov     si, end_label
        call    put_text
        mov     cx, di
        sub     cx, report
        mov     si, report
        mov     dx, report_name
        jmp     write_file

; "SAME" or "DIFFERENT <offset>".
compare_entries:
        call    compare_with_saved
        jne     .different
        mov     si, same_label
        jmp     put_text
.different:
        mov     si, different_label
        call    put_text
        mov     ax, bx
        call    put_hex
        jmp     put_line_end

; ZF set when the found entry in the DTA is the saved one, up to the NUL of
; the name; else BX is the offset of the first byte that differs.
compare_with_saved:
        push    si
        mov     si, 80h + ENTRY_OFFSET
        mov     bx, 0
.next:  mov     al, [si+bx]
        cmp     al, [saved_entry+bx]
        jne     .out
        inc     bx
        cmp     bx, NAME_IN_ENTRY       ; the byte compared was before
        jbe     .next                   ; the name
        test    al, al                  ; in the name: up to its NUL
        jz      .out
        cmp     bx, ENTRY_LENGTH
        jb      .next
        cmp     al, al
.out:   pop     si
        ret

; The ENTRY_LENGTH bytes at SI in hex, then a line end.
put_entry:
        mov     cx, ENTRY_LENGTH
.byte:  lodsb
        push    cx
        mov     ah, al
        call    put_hex_byte
        pop     cx
        loop    .byte
        jmp     put_line_end

; The label at SI, then the CF byte and AX kept at BX.
put_result:
        call    put_text
        mov     al, '0'
        add     al, [bx]
        stosb
        mov     al, ' '
        stosb
        mov     ax, [bx+1]
        call    put_hex
        jmp     put_line_end

; AH as two hex digits at DI.
put_hex_byte:
        mov     cx, 2
        jmp     put_digits
%include "report.inc"

; Writes CX bytes at SI as the file named at DX.
write_file:
        push    cx
        mov     ah, 3Ch
        xor     cx, cx
        int     21h
        pop     cx
        jc      .end
        mov     bx, ax
        mov     dx, si
        mov     ah, 40h
        int     21h
        mov     ah, 3Eh
        int     21h
.end:   ret

everything      db      "*.*", 0
request_name    db      "ZINDOK1.TXT", 0
request         db      "cABC"
request_length  equ     $ - request
response_name   db      "ZINDOK2.TXT", 0
response_wildcard db    "ZINDOK2.*", 0
response_path   db      "c:\zindok2.txt", 0
saved_name      db      "A.BIN", 0
report_name     db      "ORACLE.TXT", 0
helper_label    db      "HELPER ", 0
dosbox_label    db      "DOSBOX ", 0
same_label      db      "SAME", 13, 10, 0
different_label db      "DIFFERENT ", 0
next_label      db      "NEXT ", 0
path_label      db      "PATH ", 0
different_text  db      "DIFFERENT", 13, 10, 0
stale_label     db      "STALE ", 0
fresh_label     db      "FRESH ", 0
end_label       db      "END", 13, 10, 0

; What phase A keeps for phase B.
saved:
saved_entry     times   ENTRY_LENGTH db 0
saved_next      times   3 db 0
saved_stale     times   3 db 0
saved_path      times   3 db 0
saved_path_same db      0
saved_length    equ     $ - saved
fresh           times   3 db 0
report:
