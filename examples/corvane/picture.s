; picture.s -- the Corvane moves the VIC's video memory into RAM, draws a
; picture of coloured squares there, then counts the time slicer's
; interrupts and shows the count as the border colour, for ever.
;
; The machine: the default Corvane system. The program lives in the ROM
; (loading writes ROM too); the unit resets to FFFFF8.
;
;   simq --assemble examples/corvane/picture.s -o picture.s19
;   simq --system corvane --load picture.s19 \
;        --limit-seconds 2 --run-all --frame VIC picture.png --exec "D 10 3"
;
; The run never ends by itself, so the time limit stops it (exit status 1);
; the dump shows the tick count at 000010 (about 5 a second).
;
; Devices: VIC registers at 300000 + 3 x register (stride 3): 0 and 1 the
; video base, 5 test pattern and mode, 7 border colour. Time slicer at
; 301000 (IRQ code 0, accepted by the unit's IRQ mask 3): writing n makes it
; interrupt every n x 100 ms; reading it withdraws the request.
;
; The picture: 192 lines of 160 bytes from 010000, two pixels a byte; the
; byte at line y, column c has colour (c / 8 + y / 16) mod 16 in both
; nibbles, so the squares are 16 x 16 pixels. "lw rN,#k" is add rN,r0,#k.
; Numbers are hexadecimal unless they end in a dot (160.).

        cpu     corvane

vic     =       300000          ; VIC registers, three bytes apart
slicer  =       301000          ; the time slicer
picture =       010000          ; where the VIC shows memory from
ticks   =       10              ; the tick count

        org     FF0000
start:  lw      r1,#vic         ; r1: the VIC
        sw      r0,00(r1)       ; video base 010000
        lw      r2,#000001
        sw      r2,03(r1)
        sw      r2,0F(r1)       ; mode 1, test pattern off
        lw      r12,#slicer     ; r12: the time slicer
        lw      r2,#000002
        sw      r2,00(r12)      ; a tick every 200 ms
        lw      sr,#000300      ; system mode, interrupts on
        lw      r10,#160.       ; 160 bytes a line
        lw      r11,#192.       ; 192 lines
        lw      r3,#picture     ; r3: the byte drawn next
        lw      r4,#000000      ; r4: the line
line:   shr     r7,r4,#000003   ; r7 = line / 16
        shr     r7,r7,#000001   ; (shifts move at most 3 places)
        lw      r5,#000000      ; r5: the column
column: shr     r6,r5,#000003   ; r6 = column / 8
        add     r6,r6,r7
        and     r6,r6,#00000F   ; the colour
        shl     r8,r6,#000003
        shl     r8,r8,#000001
        add     r6,r6,r8        ; the colour in both nibbles
        sb      r6,00(r3)
        add     r3,r3,#000001
        add     r5,r5,#000001
        sub     r9,r5,r10
        bne     r9,column
        add     r4,r4,#000001
        sub     r9,r4,r11
        bne     r9,line
idle:   lw      r13,ticks       ; the tick count ...
        sw      r13,15(r1)      ; ... is the border colour
        br      idle

        org     FF0080
tick:   lw      r20,ticks       ; the interrupt handler
        add     r20,r20,#000001
        sw      r20,ticks       ; count the tick
        lb      r21,00(r12)     ; reading the slicer withdraws its request
        iret

        org     FFFFE8
        jmp     tick            ; the IRQ entry
        org     FFFFF8
        call    start           ; the reset entry
        entry   FFFFF8
