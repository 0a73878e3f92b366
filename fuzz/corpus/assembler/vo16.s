  org FF00
line: addi r3,r0,0048
  sb r4,0000(r1)
  xori r4,FFFF
  bne line
  lw r2,0012(r1)
  call FF00
  add r7,r2,0
