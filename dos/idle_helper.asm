; The idle helper: a resident DOS program that the relay loads into DOSBox
; before the companion. A companion that waits for the relay's response
; asks DOS for the file over and over, and DOSBox spends host time on every
; call. The helper hooks INT 21h; when a look-up of the response file
; (ZINDOK2.TXT) or of the status file (ZINDOK.INF) fails, it halts until the
; next interrupt (the 18.2 Hz timer tick, at most about 55 ms) before it
; returns, so that DOSBox idles instead of spinning. It looks at the last
; name of the path only, in any case, with or without a drive or directory.
;
; It never changes what a call returns: registers and flags come back from
; DOS as they are, and every other call, including look-ups of other names
; and look-ups that succeed, goes on without delay.
;
; Calls it watches:
;   3Dh        open                     DS:DX  path
;   6Ch        extended open/create     DS:SI  path
;   43h AL=0   get attributes           DS:DX  path
;   4Eh        FindFirst                DS:DX  path
;   0Fh, 11h   FCB open and find first  DS:DX  FCB (extended or not)
; A handle call fails with CF set, an FCB call with AL = FFh.
;
;   nasm -f bin -o IDLEHELP.COM idle_helper.asm

        cpu     186
        org     100h

start:  jmp     install

; Just before the hook, so that a test can tell that the helper is resident
; from the INT 21h vector alone.
signature       db      "ZINDOIDL"
hook:
        cmp     ah, 3Dh
        je      .path_dx
        cmp     ah, 4Eh
        je      .path_dx
        cmp     ax, 4300h
        je      .path_dx
        cmp     ah, 6Ch
        je      .path_si
        cmp     ah, 0Fh
        je      .fcb
        cmp     ah, 11h
        je      .fcb
.chain: jmp     far [cs:old_int21]

.path_dx:
        push    si
        mov     si, dx
        call    is_relay_path
        pop     si
        jne     .chain
        push    word 0                  ; a handle call
        jmp     .call
.path_si:
        call    is_relay_path
        jne     .chain
        push    word 0
        jmp     .call
.fcb:   call    is_relay_fcb
        jne     .chain
        push    word 1                  ; an FCB call

; DOS as an INT would reach it. Its IRET returns the flags pushed here with
; its results in them.
.call:  pushf
        call    far [cs:old_int21]
        push    bp
        mov     bp, sp                  ; [bp+2] kind, [bp+4] IP, [bp+6] CS,
        pushf                           ; [bp+8] caller's flags, [bp-2] DOS's
        cmp     word [bp+2], 0
        jne     .fcb_result
        test    byte [bp-2], 1          ; CF: the handle call failed
        jz      .return
        jmp     .failed
.fcb_result:
        cmp     al, 0FFh
        jne     .return
.failed:
        call    idle_until_interrupt
; The caller's flags with DOS's arithmetic flags (CF, PF, AF, ZF, SF, OF),
; as DOS's own IRET would have left them.
.return:
        push    ax
        mov     ax, [bp-2]
        and     ax, 08D5h
        and     word [bp+8], 0F72Ah
        or      [bp+8], ax
        pop     ax
        mov     sp, bp
        pop     bp
        add     sp, 2                   ; the kind
        iret

; Waits for the next interrupt, unless the timer's interrupt is masked at
; the interrupt controller (a program that did so would never be woken).
idle_until_interrupt:
        push    ax
        in      al, 21h
        test    al, 1
        jnz     .masked
        sti
        hlt
.masked:
        pop     ax
        ret

; ZF set when the last name of the path at DS:SI is one of the relay's
; files. Keeps every register.
is_relay_path:
        push    ax
        push    cx
        push    si
        push    di
        mov     di, si                  ; the start of the last name
.scan:  lodsb
        test    al, al
        jz      .scanned
        cmp     al, '\'
        je      .separator
        cmp     al, '/'
        je      .separator
        cmp     al, ':'
        jne     .scan
.separator:
        mov     di, si
        jmp     .scan
.scanned:
        mov     si, di
        mov     di, response_name       ; with its final NUL
        mov     cx, response_name_length
        call    same_text
        je      .done
        mov     di, status_name
        mov     cx, status_name_length
        call    same_text
.done:  pop     di
        pop     si
        pop     cx
        pop     ax
        ret

; ZF set when the FCB at DS:DX names one of the relay's files. Keeps every
; register.
is_relay_fcb:
        push    cx
        push    si
        push    di
        mov     si, dx
        cmp     byte [si], 0FFh         ; an extended FCB: 7 bytes more
        jne     .normal
        add     si, 7
.normal:
        inc     si                      ; past the drive
        mov     cx, 11
        mov     di, response_fcb
        call    same_text
        je      .done
        mov     di, status_fcb
        call    same_text
.done:  pop     di
        pop     si
        pop     cx
        ret

; ZF set when the CX (> 0) bytes at DS:SI are those at CS:DI, without regard
; to case. Keeps every register.
same_text:
        push    ax
        push    cx
        push    si
        push    di
.next:  lodsb
        cmp     al, 'a'
        jb      .compare
        cmp     al, 'z'
        ja      .compare
        sub     al, 20h
.compare:
        inc     di
        cmp     al, [cs:di-1]
        jne     .out
        loop    .next                   ; leaves ZF as the last CMP set it
.out:   pop     di
        pop     si
        pop     cx
        pop     ax
        ret

response_name   db      "ZINDOK2.TXT", 0
response_name_length equ $ - response_name
status_name     db      "ZINDOK.INF", 0
status_name_length equ $ - status_name
response_fcb    db      "ZINDOK2 TXT"
status_fcb      db      "ZINDOK  INF"
old_int21       dd      0
resident_end:

; Not kept: hooks INT 21h, gives back the environment and stays resident.
install:
        mov     ax, 3521h
        int     21h
        mov     [old_int21], bx
        mov     [old_int21 + 2], es
        mov     ax, 2521h
        mov     dx, hook
        int     21h
        mov     es, [2Ch]
        mov     ah, 49h
        int     21h
        mov     dx, (resident_end - $$ + 100h + 15) >> 4
        mov     ax, 3100h
        int     21h
