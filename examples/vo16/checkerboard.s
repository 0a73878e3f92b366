; checkerboard.s -- the Vo16 draws a checkerboard of 8 x 8 pixel squares
; into the VGA frame memory and stops at DONE (FF1E).
;
; The machine: the default Vo16 system (no --system needed). The VGA
; controller shows the 32760 bytes from address 0 as 455 lines of 72 bytes,
; most significant bit leftmost, 1 = white. The frame covers 0000-7FF7 of
; the external RAM, so the loop lives in the internal RAM at FF00-FF1F and
; the set-up in the eight bytes after the frame, 7FF8-7FFF.
;
;   simq --assemble examples/vo16/checkerboard.s -o checkerboard.s19 \
;        --symbols checkerboard.sym
;   simq --load checkerboard.s19 --load-symbols checkerboard.sym --break done \
;        --run --frame "Vo16 VGA Controller" checkerboard.png
;
; Registers: r1 the frame address, r2 lines still to draw, r3 bytes still to
; draw on this line, r4 the byte drawn (00 or FF), r7 scratch.
; Numbers are hexadecimal unless they end in a dot (455.).

        cpu     vo16

lines   =       455.            ; lines of the frame
width   =       72.             ; bytes a line

        org     0000
        jal     r0,setup(r0)    ; reset starts here: off to the set-up
                                ; (the first line drawn covers it)

        org     7FF8
setup:  addi    r2,r0,lines
        call    line            ; to the internal RAM (r15 unused)

        org     FF00
line:   addi    r3,r0,width     ; 72 bytes a line
column: sb      r4,0(r1)        ; eight pixels
        addi    r1,r1,1
        xori    r4,FFFF         ; the next square has the other colour
        addi    r3,r3,-1
        bne     column          ; 72 is even: r4 ends the line as it began
        addi    r2,r2,-1
        beq     done            ; all 455 lines drawn
        add     r7,r2,0
        andi    r7,7
        addi    r0,r7,-7        ; compare r2 mod 8 with 7
        bne     line
        xori    r4,FFFF         ; every eighth line the rows swap colours
        br      line
done:   br      done            ; the breakpoint goes here
