; A DOS program for the idle helper's end-to-end test, a .COM program run as
; the companion while no response file exists. It writes PROBE.TXT:
;   HELPER YES|NO          whether INT 21h leads to the idle helper (its
;                          signature stands just before its entry point)
;   then a line per look-up of the relay's files, in the forms a companion
;   may use:  <label> <W|-> <CF> <AX>   W when a timer tick passed during
;                                       the call, CF and AX as DOS returned
;   OTHERS <n> <ticks>     of 1,000 failed look-ups of other names, how many
;                          saw a tick pass, and the ticks they took in all
; and ends. The status file exists (the relay wrote it) and the response
; file does not; the status file is also looked up in a directory that does
; not exist.

        cpu     186
        org     100h

OTHER_LOOKUPS   equ     1000

start:  mov     di, report
        call    report_helper
        call    patch_drive
        mov     si, forms
.form:  cmp     word [si], 0
        je      .others
        call    try_form                ; si: the form, advanced past it
        jmp     .form
.others:
        call    try_others
        call    write_report
        mov     ax, 4C00h
        int     21h

; "HELPER YES" when the INT 21h vector points just after the signature.
report_helper:
        push    es
        mov     ax, 3521h
        int     21h
        sub     bx, 8
        mov     si, signature
        mov     cx, 8
        push    di
        mov     di, bx
        repe    cmpsb                   ; ds:si against es:di
        pop     di
        pop     es
        mov     si, helper_yes
        je      .put
        mov     si, helper_no
.put:   call    put_text
        ret

; The drive-letter form names the current drive.
patch_drive:
        mov     ah, 19h
        int     21h
        add     al, 'A'
        mov     [drive_form], al
        ret

; A form: dw AX, dw the name or FCB, dw the label, dw 1 when the name goes
; in SI (extended open). Calls DOS as the form says and reports it.
try_form:
        push    si
        mov     bx, [si + 4]
        push    si
        mov     si, bx
        call    put_text
        pop     si
        mov     al, ' '
        stosb
        push    di
        mov     ax, [si]
        mov     dx, [si + 2]
        cmp     word [si + 6], 1
        jne     .dx
        mov     si, dx
        xor     bx, bx                  ; read only
        mov     dx, 1                   ; open if it exists, else fail
.dx:    xor     cx, cx
        call    timed_call              ; cf, ax: the result; bl: 1 waited
        pop     di
        call    put_result
        pop     si
        add     si, 8
        ret

; INT 21h with the registers as given, timed by the BIOS tick count.
; Returns DOS's AX and CF, BL = 1 when a tick passed, and closes a handle
; that an open returned.
timed_call:
        push    es
        push    ax
        xor     ax, ax
        mov     es, ax
        mov     bp, [es:046Ch]
        pop     ax
        push    ax                      ; the function, for the close below
        int     21h
        pushf
        mov     bl, 0
        cmp     bp, [es:046Ch]
        je      .same
        mov     bl, 1
.same:  popf
        pop     cx                      ; the function
        pop     es
        jc      .done
        cmp     ch, 3Dh
        je      .close
        cmp     ch, 6Ch
        jne     .ok
.close: push    ax
        push    bx
        mov     bx, ax
        mov     ah, 3Eh
        int     21h
        pop     bx
        pop     ax
.ok:    clc
.done:  ret

; Writes " W 1 0002" (or "-", "0") and a line end at di.
put_result:
        pushf
        push    ax
        mov     al, '-'
        cmp     bl, 0
        je      .mark
        mov     al, 'W'
.mark:  stosb
        mov     al, ' '
        stosb
        pop     dx
        popf
        mov     al, '0'
        adc     al, 0
        stosb
        mov     al, ' '
        stosb
        mov     ax, dx
        call    put_hex
        jmp     put_line_end

; 1,000 look-ups of missing names that are not the relay's: some near it,
; the rest numbered.
try_others:
        xor     ax, ax
        mov     es, ax
        mov     ax, [es:046Ch]
        mov     [others_start], ax
        push    ds
        pop     es
        mov     word [others_waited], 0
        mov     cx, OTHER_LOOKUPS
.next:  push    cx
        mov     ax, cx
        and     ax, 3
        shl     ax, 1
        mov     bx, ax
        mov     dx, [near_names + bx]
        test    cx, 4                   ; every other four: a numbered name
        jz      .call
        call    number_name
        mov     dx, numbered
.call:  mov     ax, 3D00h
        call    timed_call
        xor     bh, bh
        add     [others_waited], bx
        pop     cx
        loop    .next
        xor     ax, ax
        mov     es, ax
        mov     ax, [es:046Ch]
        push    ds
        pop     es
        sub     ax, [others_start]
        push    ax
        mov     si, others_text
        call    put_text
        mov     ax, [others_waited]
        call    put_hex
        mov     al, ' '
        stosb
        pop     ax
        call    put_hex
        jmp     put_line_end

; Writes cx in hex into the name "Oxxxx.TXT".
number_name:
        push    di
        mov     di, numbered + 1
        mov     ax, cx
        call    put_hex
        pop     di
        ret

%include "report.inc"
write_report equ write_report_file

signature       db      "ZINDOIDL"
helper_yes      db      "HELPER YES", 13, 10, 0
helper_no       db      "HELPER NO", 13, 10, 0
others_text     db      "OTHERS ", 0
report_name     db      "PROBE.TXT", 0

;               AX      name            label           in SI
forms   dw      3D00h,  n_upper,        l_open_upper,   0
        dw      3D00h,  n_lower,        l_open_lower,   0
        dw      3D00h,  n_dotted,       l_open_dotted,  0
        dw      3D00h,  drive_form,     l_open_drive,   0
        dw      6C00h,  n_lower,        l_extended,     1
        dw      4300h,  n_upper,        l_attributes,   0
        dw      4E00h,  n_upper,        l_find,         0
        dw      0F00h,  fcb,            l_fcb_open,     0
        dw      1100h,  extended_fcb,   l_fcb_find,     0
        dw      3D00h,  n_status_away,  l_status_away,  0
        dw      4E00h,  n_status_slash, l_status_slash, 0
        dw      3D00h,  n_status,       l_status_open,  0
        dw      4300h,  n_status_lower, l_status_attr,  0
        dw      0

n_upper         db      "ZINDOK2.TXT", 0
n_lower         db      "zindok2.txt", 0
n_dotted        db      ".\ZinDoK2.Txt", 0
drive_form      db      "?:ZINDOK2.TXT", 0
n_status_away   db      "NODIR\ZINDOK.INF", 0
n_status_slash  db      "NODIR/zindok.inf", 0
n_status        db      "ZINDOK.INF", 0
n_status_lower  db      "zindok.inf", 0

l_open_upper    db      "OPEN-UPPER", 0
l_open_lower    db      "OPEN-LOWER", 0
l_open_dotted   db      "OPEN-DOTTED", 0
l_open_drive    db      "OPEN-DRIVE", 0
l_extended      db      "EXTENDED-OPEN", 0
l_attributes    db      "ATTRIBUTES", 0
l_find          db      "FINDFIRST", 0
l_fcb_open      db      "FCB-OPEN", 0
l_fcb_find      db      "FCB-FIND-EXTENDED", 0
l_status_away   db      "STATUS-ELSEWHERE", 0
l_status_slash  db      "STATUS-ELSEWHERE-FIND", 0
l_status_open   db      "STATUS-OPEN", 0
l_status_attr   db      "STATUS-ATTRIBUTES", 0

fcb             db      0, "zindok2 txt"
                times   25 db 0
extended_fcb    db      0FFh, 0, 0, 0, 0, 0, 0
                db      0, "ZINDOK2 TXT"
                times   25 db 0

; Near the relay's names, but not theirs.
near_names      dw      near1, near2, near3, near4
near1           db      "ZINDOK2.TX", 0
near2           db      "ZINDOK3.TXT", 0
near3           db      "ZINDOK.IN", 0
near4           db      "AZINDOK2.TXT", 0
numbered        db      "Oxxxx.TXT", 0

others_start    dw      0
others_waited   dw      0
report:
