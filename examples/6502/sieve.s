; sieve.s -- the sieve of Eratosthenes on a 6502: counts the primes below
; 256 and stops at DONE (0440) with the count, 54 = $36, in A, Y and $11.
;
; The machine: a blank workspace with one 6502 and 64 KiB of RAM.
;
;   simq --assemble examples/6502/sieve.s -o sieve.hex --symbols sieve.sym
;   simq --system blank --add-unit C6502:cpu --add-device CRam:RAM:0:FFFF \
;        --load sieve.hex --load-symbols sieve.sym --reset --break done --run --regs
;
;   A=36 X=00 Y=36 SP=FF PC=0440 STATUS=31
;
; Memory: $0200-$02FF the sieve, one byte a number (0 = still a prime);
;         $10 the step being marked, $11 the count.
; Numbers are hexadecimal unless they end in a dot (54.).

        cpu     6502

sieve   =       $0200           ; one byte a number
step    =       $10             ; the prime being marked
count   =       $11             ; the primes found

        org     $0400
start:  ldx     #FF             ; the stack starts at $01FF
        txs
        lda     #00             ; clear the sieve
        ldx     #00
clear:  sta     sieve,x
        inx
        bne     clear
        lda     #01             ; 0 and 1 are not primes
        sta     sieve
        sta     sieve+1
        ldx     #02             ; X: the candidate, 2 to 255
outer:  lda     sieve,x         ; marked already?
        bne     next            ;   then on to the next
        stx     step            ; a prime: mark 2X, 3X, ... below 256
        txa
mark:   clc
        adc     step
        bcs     next            ; past 255: done with this prime
        tay
        lda     #01
        sta     sieve,y
        tya
        bcc     mark            ; carry is clear here: always taken
next:   inx
        bne     outer
        ldy     #00             ; count the bytes still 0
        ldx     #00
tally:  lda     sieve,x
        bne     skip
        iny
skip:   inx
        bne     tally
        tya
        sta     count
done:   jmp     done            ; the breakpoint goes here

        org     $FFFC
        word    start           ; the reset vector
