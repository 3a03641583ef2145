; The idle helper: a resident DOS program that the relay loads into DOSBox
; before the companion. It hooks INT 21h and does two things for look-ups of
; the response file (ZINDOK2.TXT) and of the status file (ZINDOK.INF), in any
; case, with or without a drive or directory (it looks at the last name of
; the path only):
;
; - It answers a FindFirst that DOSBox's directory cache hides. DOSBox lists
;   a directory once and answers FindFirst from that listing, so a file the
;   relay created later is not found, although an open of its exact name
;   reaches the host file. When a FindFirst (4Eh) for exactly one of these
;   names fails and an open of the same path succeeds, the helper fills the
;   DTA's found entry as DOS does (attribute, time, date, size, the name in
;   upper case with its NUL) and returns CF clear, AX = 0. The search state
;   it leaves makes a FindNext (4Fh) on that DTA return 12h (no more files).
;   The attribute mask holds as for DOS: a hidden or system file is found
;   only when the mask asks for it; a directory, or a search for the volume
;   label, is left as DOS answered it. A wildcard search is never answered
;   here: it needs the relay to empty DOSBox's cache.
;
; - It idles. A companion that waits for the response asks DOS for the file
;   over and over, and DOSBox spends host time on every call. When a look-up
;   of one of these files fails (and is not answered as above), the helper
;   halts until the next interrupt (the 18.2 Hz timer tick, at most about
;   55 ms) before it returns, so that DOSBox idles instead of spinning.
;
; - It keeps DOSBox's own end. The relay starts DOSBox with the companion
;   and then `exit` as start-up commands, which DOSBox reads one at a time
;   from its Z:\AUTOEXEC.BAT. A DOSBox may lose that file when its
;   directory caches are emptied (the key the relay sends), so that after
;   the companion ends it would stay at its prompt, its window open; the
;   relay runs a batch-file companion in a shell of its own in such a
;   DOSBox (its line's traits in dos/dosbox_line.cc say which). When the
;   helper is loaded with /E (the relay gives it unless the companion is a
;   batch file run in that same shell, whose next program would read the
;   keys), and Z:\AUTOEXEC.BAT opened as it was loaded, then when a program
;   that shell started ends (4Ch or 00h, or INT 20h) and the file
;   no longer opens, the helper types EXIT and Enter into the keyboard
;   buffer for the prompt to read. Where the file is still there, DOSBox
;   reads its `exit` from it as always, and nothing is typed.
;
; Apart from the FindFirst it answers, it never changes what a call returns:
; registers and flags come back from DOS as they are, and every other call,
; including look-ups of other names and look-ups that succeed, goes on
; without delay. The check for other names is kept short, since every open
; and FindFirst of the companion passes through it.
;
; The FCB find (11h) only idles. DOSBox keeps an FCB search's state in its
; own memory, out of the helper's reach, so a FindNext (12h) after an answer
; given here would go on with DOSBox's own, failed, search; and the found
; entry that DOSBox writes for an FCB search is laid out differently from
; DOS's. A companion that uses FCBs opens the file (0Fh) by its name, which
; DOSBox answers from the host without its cache.
;
; Calls it watches:
;   3Dh        open                     DS:DX  path
;   6Ch        extended open/create     DS:SI  path
;   43h AL=0   get attributes           DS:DX  path
;   4Eh        FindFirst                DS:DX  path, CX attribute mask
;   0Fh, 11h   FCB open and find first  DS:DX  FCB (extended or not)
;   4Ch, 00h   end of a program (and INT 20h)
; A handle call fails with CF set, an FCB call with AL = FFh.
;
;   nasm -f bin -o IDLEHELP.COM idle_helper.asm

        cpu     186
        org     100h

start:  jmp     install

; What the hook pushes to tell DOS's result apart.
HANDLE_CALL     equ     0
FCB_CALL        equ     1
FIND_CALL       equ     2

; The DTA of a FindFirst: the search state, then the found entry.
DTA_SEARCH_DRIVE equ    00h
DTA_ENTRY_INDEX equ     0Dh
DTA_ATTRIBUTE   equ     15h
DTA_TIME        equ     16h
DTA_DATE        equ     18h
DTA_SIZE        equ     1Ah
DTA_NAME        equ     1Eh

ATTR_HIDDEN_SYSTEM equ  06h
ATTR_VOLUME     equ     08h
ATTR_NOT_A_FILE equ     18h             ; volume label or directory

; DOS itself, from inside the hook, which must not see these calls.
%macro  dos 0
        pushf
        call    far [cs:old_int21]
%endmacro

; Goes on to DOS unless the last name of the path at DS:%1 is one of the
; relay's; keeps every register. Every open and FindFirst of the companion
; passes here, and most name other files: one word near the end of the path
; tells them apart, before any name is compared.
%macro  leave_other_paths 1
        push    es
        push    ax
        push    cx
        push    di
        push    ds
        pop     es
        mov     di, %1
        mov     cx, 128                 ; no DOS path is longer
        xor     al, al
        cld
        repne   scasb                   ; DI: past the NUL
        mov     ax, [di-7]              ; "K2" of ZINDOK2.TXT, "OK" of
        or      ax, 2020h               ; ZINDOK.INF, in any case
        cmp     ax, 'k2'
        je      %%near
        cmp     ax, 'ok'
        je      %%near
        pop     di
        pop     cx
        pop     ax
        pop     es
        jmp     far [cs:old_int21]
%%near: mov     cx, %1
        call    relay_name_before       ; ZF
        pop     di
        pop     cx
        pop     ax
        pop     es
        jne     hook.chain
%endmacro

; Just before the hook, so that a test can tell that the helper is resident
; from the INT 21h vector alone.
signature       db      "ZINDOIDL"
hook:
        cmp     ah, 3Dh                 ; the most frequent first
        je      .path_dx
        cmp     ah, 4Eh
        je      .find
        cmp     ax, 4300h
        je      .path_dx
        cmp     ah, 6Ch
        je      .path_si
        cmp     ah, 0Fh
        je      .fcb
        cmp     ah, 11h
        je      .fcb
        cmp     ah, 4Ch
        je      .end
        test    ah, ah
        je      .end
.chain: jmp     far [cs:old_int21]
.end:   call    keep_dosbox_end
        jmp     far [cs:old_int21]

.path_dx:
        leave_other_paths dx
        push    word HANDLE_CALL
        jmp     .call
.path_si:
        leave_other_paths si
        push    word HANDLE_CALL
        jmp     .call
.find:  leave_other_paths dx
        push    word FIND_CALL
        jmp     .call
.fcb:   call    is_relay_fcb
        jne     .chain
        push    word FCB_CALL

; DOS as an INT would reach it. Its IRET returns the flags pushed here with
; its results in them.
.call:  pushf
        call    far [cs:old_int21]
        push    bp
        mov     bp, sp                  ; [bp+2] kind, [bp+4] IP, [bp+6] CS,
        pushf                           ; [bp+8] caller's flags, [bp-2] DOS's
        cmp     word [bp+2], FCB_CALL
        je      .fcb_result
        test    byte [bp-2], 1          ; CF: the handle call failed
        jz      .return
        cmp     word [bp+2], HANDLE_CALL
        je      .failed
        call    answer_find
        jc      .failed
        and     byte [bp-2], 0FEh       ; found: CF clear
        jmp     .return
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

; After DOS failed a FindFirst for the path at DS:DX, one of the relay's
; files, with CX the caller's attribute mask: when the file opens and the
; mask lets DOS find it, fills the found entry in the DTA, returns CF clear
; and AX = 0, as DOS does. Else CF set and AX as it was. Keeps every other
; register.
answer_find:
        push    bx
        push    cx
        push    dx
        push    si
        push    di
        push    es
        push    ax
        mov     si, dx
        call    relay_name_of_path
        mov     si, ax                  ; the name, with its NUL
        call    found_file_entry        ; CF, or on the stack: size, date,
        jc      .unanswered             ; time, attribute
        mov     ah, 2Fh                 ; ES:BX: the DTA
        dos
        pop     word [es:bx+DTA_SIZE]
        pop     word [es:bx+DTA_SIZE+2]
        pop     word [es:bx+DTA_DATE]
        pop     word [es:bx+DTA_TIME]
        pop     ax
        mov     [es:bx+DTA_ATTRIBUTE], al
        ; A FindNext on this DTA finds no search to go on with: no drive
        ; and no directory entry.
        mov     byte [es:bx+DTA_SEARCH_DRIVE], 0FFh
        mov     word [es:bx+DTA_ENTRY_INDEX], 0FFFFh
        lea     di, [bx+DTA_NAME]
        cld
.name:  cs      lodsb
        stosb
        test    al, al
        jnz     .name
        pop     ax
        xor     ax, ax
        clc
        jmp     .done
.unanswered:
        pop     ax
        stc
.done:  pop     es
        pop     di
        pop     si
        pop     dx
        pop     cx
        pop     bx
        ret

; The attribute, time, date and size of the file at DS:DX when it is a file
; that opens and that the mask in CX lets a search find: they are left on
; the stack (the size on top, as low word then high), with CF clear; else
; nothing is left and CF is set. Changes AX, BX, CX, DX.
found_file_entry:
        pop     di                      ; the return address
        mov     bx, cx                  ; the mask
        mov     ax, 4300h
        dos
        jc      .none
        test    cl, ATTR_NOT_A_FILE
        jnz     .none
        cmp     bl, ATTR_VOLUME         ; the volume label only
        je      .none
        not     bl
        and     bl, cl
        test    bl, ATTR_HIDDEN_SYSTEM  ; not asked for
        jnz     .none
        push    cx                      ; the attribute
        mov     ax, 3D00h
        dos
        jc      .opened_none
        mov     bx, ax
        mov     ax, 5700h
        dos                             ; CX time, DX date
        jc      .close_none
        push    cx
        push    dx
        mov     ax, 4202h
        xor     cx, cx
        xor     dx, dx
        dos                             ; DX:AX the size
        push    dx
        push    ax
        mov     ah, 3Eh
        dos
        clc
        jmp     di
.close_none:
        mov     ah, 3Eh
        dos
.opened_none:
        pop     cx
.none:  stc
        jmp     di

; The relay's name that ends the path at DS:SI (AX: its address), which
; must be one of them. Keeps every other register.
relay_name_of_path:
        push    cx
        push    di
        push    es
        push    ds
        pop     es
        mov     di, si
        mov     cx, 128
        xor     al, al
        cld
        repne   scasb
        mov     cx, si
        call    relay_name_before
        pop     es
        pop     di
        pop     cx
        ret

; ZF set, with AX the relay's name, when the path at DS:CX, whose NUL is
; just before DI, ends with that name (in any case) and nothing but a
; separator stands before it. Keeps every other register.
relay_name_before:
        push    si
        mov     si, cx
        mov     ax, response_name
        mov     cx, response_name_length
        call    is_name_before
        je      .out
        mov     ax, status_name
        mov     cx, status_name_length
        call    is_name_before
.out:   mov     cx, si
        pop     si
        ret

; ZF set when the path at DS:SI, whose NUL is just before DI, ends with the
; name at CS:AX, CX bytes with its NUL, and nothing but a separator stands
; before it. Keeps every register.
is_name_before:
        push    cx
        push    di
        push    si
        push    bx
        mov     bx, di
        sub     bx, si                  ; the path's length with its NUL
        cmp     bx, cx
        jb      .short
        sub     di, cx                  ; where the name would start
        cmp     di, si
        je      .started
        mov     bl, [di-1]
        cmp     bl, '\'
        je      .started
        cmp     bl, '/'
        je      .started
        cmp     bl, ':'
        jne     .out
.started:
        mov     si, di
        mov     di, ax
        call    same_text
        jmp     .out
.short: test    bx, bx                  ; ZF clear: the NUL at least
.out:   pop     bx
        pop     si
        pop     di
        pop     cx
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
; to case; a NUL at CS:DI that matches ends the comparison. Keeps every
; register.
same_text:
        push    ax
        push    cx
        push    si
        push    di
        cld
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
        test    al, al
        loopnz  .next                   ; ZF set by TEST: both ended
        cmp     al, al                  ; all CX bytes were the same
.out:   pop     di
        pop     si
        pop     cx
        pop     ax
        ret

; INT 20h, the other way a program ends.
int20_hook:
        call    keep_dosbox_end
        jmp     far [cs:old_int20]

; When the program ending now is one the shell started, and the shell's
; start-up commands are gone (see the top), types EXIT and Enter for the
; shell's prompt. Keeps every register and flag.
keep_dosbox_end:
        pushf
        push    ax
        push    bx
        push    cx
        push    dx
        push    si
        push    ds
        mov     ax, [cs:shell_psp]
        test    ax, ax                  ; not asked for, or no such file
        jz      .done
        push    ax
        mov     ah, 51h                 ; BX: the ending program's PSP
        dos
        mov     ds, bx
        pop     ax
        cmp     ax, [16h]               ; its parent
        jne     .done
        push    cs
        pop     ds
        mov     dx, autoexec_path
        mov     ax, 3D00h
        dos
        jc      .type_exit
        mov     bx, ax
        mov     ah, 3Eh
        dos
        jmp     .done
.type_exit:
        mov     si, exit_keys
        cld
.key:   lodsw
        test    ax, ax
        jz      .done
        mov     cx, ax
        mov     ah, 05h                 ; into the BIOS keyboard buffer
        int     16h
        jmp     .key
.done:  pop     ds
        pop     si
        pop     dx
        pop     cx
        pop     bx
        pop     ax
        popf
        ret

autoexec_path   db      "Z:\AUTOEXEC.BAT", 0
; Scan code and character of each key: E, X, I, T, Enter.
exit_keys       dw      1245h, 2D58h, 1749h, 1454h, 1C0Dh, 0
; The shell that loaded the helper, 0 when EXIT is never to be typed.
shell_psp       dw      0
old_int20       dd      0
response_name   db      "ZINDOK2.TXT", 0
response_name_length equ $ - response_name
status_name     db      "ZINDOK.INF", 0
status_name_length equ $ - status_name
response_fcb    db      "ZINDOK2 TXT"
status_fcb      db      "ZINDOK  INF"
old_int21       dd      0
resident_end:

; Not kept: hooks INT 21h and INT 20h, gives back the environment and
; stays resident.
install:
        call    note_shell
        mov     ax, 3521h
        int     21h
        mov     [old_int21], bx
        mov     [old_int21 + 2], es
        mov     ax, 2521h
        mov     dx, hook
        int     21h
        mov     ax, 3520h
        int     21h
        mov     [old_int20], bx
        mov     [old_int20 + 2], es
        mov     ax, 2520h
        mov     dx, int20_hook
        int     21h
        mov     es, [2Ch]
        mov     ah, 49h
        int     21h
        mov     dx, (resident_end - $$ + 100h + 15) >> 4
        mov     ax, 3100h
        int     21h

; With /E on the command line, and Z:\AUTOEXEC.BAT there to be lost, notes
; the shell that loaded the helper (see the top).
note_shell:
        mov     si, 81h
        mov     cl, [80h]               ; the command tail's length
        xor     ch, ch
        jcxz    .done
        cld
.look:  lodsb
        cmp     al, '/'
        jne     .next
        mov     al, [si]
        or      al, 20h
        cmp     al, 'e'
        je      .asked
.next:  loop    .look
        ret
.asked: mov     dx, autoexec_path
        mov     ax, 3D00h
        int     21h
        jc      .done
        mov     bx, ax
        mov     ah, 3Eh
        int     21h
        mov     ax, [16h]               ; the parent: the shell
        mov     [shell_psp], ax
.done:  ret
