; A DOS companion for the end-to-end tests, a .COM program. It sends two
; requests through the relay's files and waits for each response the way
; compiled DOS programs do, then writes every response it got to GOT.TXT
; and ends. Assembled twice:
;   nasm -f bin companion.asm                 polls by opening ZINDOK2.TXT
;                                             and deletes each response;
;   nasm -f bin -DFIND_FIRST companion.asm    polls with FindFirst and keeps
;                                             each response, waiting for
;                                             the file to change.
; A response is taken only once it is whole (ends with LF). After 30 s
; without one the program writes what it has, then "TIMEOUT", and ends with
; status 1.

        org     100h

EXCHANGES       equ     2
TIMEOUT_TICKS   equ     546             ; 30 s of 18.2 BIOS ticks

start:
        mov     word [out_end], got
        mov     si, requests
        mov     cx, EXCHANGES
.next:  push    cx
        call    send_request            ; si: request, advanced past it
        call    await_response
        pop     cx
        loop    .next
        mov     al, 0
        jmp     finish

; Writes the request at si (a length byte, then the bytes) as ZINDOK1.TXT.
send_request:
        mov     ah, 3Ch                 ; create
        xor     cx, cx
        mov     dx, request_name
        int     21h
        jc      fail
        mov     bx, ax
        lodsb
        xor     ah, ah
        mov     cx, ax
        mov     dx, si
        add     si, cx
        mov     ah, 40h                 ; write
        int     21h
        jc      fail
        mov     ah, 3Eh                 ; close
        int     21h
        ret

; Waits for a new, whole response and appends it to the buffer at out_end.
await_response:
        call    start_clock
.poll:  call    check_clock
%ifdef FIND_FIRST
        mov     ah, 4Eh                 ; find first
        xor     cx, cx
        mov     dx, response_name
        int     21h
        jc      .poll
%endif
        mov     ax, 3D00h               ; open for reading
        mov     dx, response_name
        int     21h
        jc      .poll
        mov     bx, ax
        mov     ah, 3Fh                 ; read
        mov     cx, 200
        mov     dx, [out_end]
        int     21h
        pushf
        push    ax
        mov     ah, 3Eh                 ; close
        int     21h
        pop     cx                      ; bytes read
        popf
        jc      .poll
        jcxz    .poll
        mov     di, [out_end]
        add     di, cx
        cmp     byte [di-1], 0Ah        ; whole only with its line end
        jne     .poll
%ifdef FIND_FIRST
        ; The response is kept, so a new one is a file that has changed.
        cmp     cx, [last_length]
        jne     .new
        push    cx
        mov     si, [last_start]
        mov     di, [out_end]
        repe    cmpsb
        pop     cx
        je      .poll
.new:   mov     ax, [out_end]
        mov     [last_start], ax
        mov     [last_length], cx
%else
        mov     ah, 41h                 ; delete
        mov     dx, response_name
        int     21h
        jc      fail
%endif
        add     [out_end], cx
        ret

start_clock:
        push    es
        xor     ax, ax
        mov     es, ax
        mov     ax, [es:046Ch]
        mov     [started], ax
        pop     es
        ret

check_clock:
        push    es
        xor     ax, ax
        mov     es, ax
        mov     ax, [es:046Ch]
        pop     es
        sub     ax, [started]
        cmp     ax, TIMEOUT_TICKS
        jb      .ok
        mov     si, timeout_text
        mov     di, [out_end]
        mov     cx, timeout_length
        rep     movsb
        mov     [out_end], di
        mov     al, 1
        jmp     finish
.ok:    ret

fail:   mov     al, 2
; Writes the buffer to GOT.TXT, whole at once (written aside, then
; renamed), and ends with status al.
finish:
        push    ax
        mov     ah, 3Ch
        xor     cx, cx
        mov     dx, aside_name
        int     21h
        jc      .end
        mov     bx, ax
        mov     cx, [out_end]
        sub     cx, got
        mov     dx, got
        mov     ah, 40h
        int     21h
        mov     ah, 3Eh
        int     21h
        mov     ah, 56h                 ; rename ds:dx to es:di
        mov     dx, aside_name
        mov     di, got_name
        int     21h
.end:   pop     ax
        mov     ah, 4Ch
        int     21h

; "cABC" sends 1 0 67; "dABCD" sends 2 0 67 68.
requests        db      4, "cABC"
                db      5, "dABCD"
request_name    db      "ZINDOK1.TXT", 0
response_name   db      "ZINDOK2.TXT", 0
got_name        db      "GOT.TXT", 0
aside_name      db      "GOT.TMP", 0
timeout_text    db      "TIMEOUT"
timeout_length  equ     $ - timeout_text

started         dw      0
out_end         dw      0
last_start      dw      0
last_length     dw      0
got:                                    ; the responses, to the end of the
                                        ; program's segment
