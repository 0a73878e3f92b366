  cpu corvane
  org FF0000
start: lw r1,#300000
  sw r0,00(r1)
  add r1,r2,#123400+r5{7:0}
  lw sr,#000300
  bne r9,start
  jmp (r5)
  rol r1,r2,#000081
  lw r13,000010
  call start
  iret
  entry start
