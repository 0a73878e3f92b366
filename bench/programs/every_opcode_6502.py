#!/usr/bin/env python3
"""Writes a 6502 loop that executes each of the 151 documented opcodes once
per pass (binary and decimal arithmetic, every addressing mode, branches,
JSR/RTS, BRK/RTI, JMP and JMP indirect), for timing a long mixed program:

    python3 bench/programs/every_opcode_6502.py /tmp/every
    simq --system blank --add-unit C6502:cpu --add-device CRam:RAM:0:FFFF \\
         --load /tmp/every.bin@400 --load /tmp/every-pointer.bin@3E0 \\
         --set pc=400 --limit-instructions 100000000 --run

The loop starts at 0x0420 after a setup that sets the stack, the pointer at
0x20 (to 0x0210), the BRK vector (to an RTI at 0x03F0) and a subroutine (an
RTS at 0x03F8). Indexed accesses run with the index at 0, so every store
lands in 0x0010 or 0x0200-0x0210, away from the code.
"""
import argparse

ORG = 0x0400
MODES = {
    'imm': [0x69, 0x29, 0xC9, 0xE0, 0xC0, 0x49, 0xA9, 0xA2, 0xA0, 0x09, 0xE9],
    'zp': [0x65, 0x25, 0x06, 0x24, 0xC5, 0xE4, 0xC4, 0xC6, 0x45, 0xE6, 0xA5, 0xA6, 0xA4, 0x46,
           0x05, 0x26, 0x66, 0xE5, 0x85, 0x86, 0x84],
    'zpx': [0x75, 0x35, 0x16, 0xD5, 0xD6, 0x55, 0xF6, 0xB5, 0xB4, 0x56, 0x15, 0x36, 0x76, 0xF5,
            0x95, 0x94],
    'zpy': [0xB6, 0x96],
    'abs': [0x6D, 0x2D, 0x0E, 0x2C, 0xCD, 0xEC, 0xCC, 0xCE, 0x4D, 0xEE, 0xAD, 0xAE, 0xAC, 0x4E,
            0x0D, 0x2E, 0x6E, 0xED, 0x8D, 0x8E, 0x8C],
    'absx': [0x7D, 0x3D, 0x1E, 0xDD, 0xDE, 0x5D, 0xFE, 0xBD, 0xBC, 0x5E, 0x1D, 0x3E, 0x7E, 0xFD,
             0x9D],
    'absy': [0x79, 0x39, 0xD9, 0x59, 0xB9, 0xBE, 0x19, 0xF9, 0x99],
    'indx': [0x61, 0x21, 0xC1, 0x41, 0xA1, 0x01, 0xE1, 0x81],
    'indy': [0x71, 0x31, 0xD1, 0x51, 0xB1, 0x11, 0xF1, 0x91],
    'impl': [0x0A, 0x18, 0xD8, 0x58, 0xB8, 0xCA, 0x88, 0xE8, 0xC8, 0x4A, 0xEA, 0x2A, 0x6A, 0x38,
             0x78, 0xAA, 0xA8, 0x8A, 0x98],
}


def build():
    code = bytearray()
    seen = set()

    def here():
        return ORG + len(code)

    code += bytes([0xA2, 0xFF, 0x9A, 0xD8, 0xA9, 0x10, 0x85, 0x20, 0xA9, 0x02, 0x85, 0x21,
                   0xA9, 0xF0, 0x8D, 0xFE, 0xFF, 0xA9, 0x03, 0x8D, 0xFF, 0xFF,
                   0xA9, 0x40, 0x8D, 0xF0, 0x03, 0xA9, 0x60, 0x8D, 0xF8, 0x03])
    loop = here()
    for mode, opcodes in MODES.items():
        for op in opcodes:
            seen.add(op)
            if mode in ('zpx', 'absx', 'indx'):
                code += bytes([0xA2, 0x00])  # LDX #0
            if mode in ('zpy', 'absy', 'indy'):
                code += bytes([0xA0, 0x00])  # LDY #0
            if mode == 'imm':
                code += bytes([op, 0x01])
            elif mode in ('zp', 'zpx', 'zpy'):
                code += bytes([op, 0x10])
            elif mode in ('abs', 'absx', 'absy'):
                code += bytes([op, 0x00, 0x02])
            elif mode in ('indx', 'indy'):
                code += bytes([op, 0x20])
            else:
                code.append(op)
            if op == 0x78:
                code.append(0x58)  # SEI, then CLI again
    for op in (0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0):
        seen.add(op)
        code += bytes([op, 0x00])  # taken or not, the next instruction
    code += bytes([0x48, 0x68, 0x08, 0x28, 0xBA, 0x9A])  # PHA PLA PHP PLP TSX TXS
    code += bytes([0xF8, 0x69, 0x15, 0xE9, 0x07, 0xD8])  # SED, decimal ADC and SBC, CLD
    code += bytes([0x00, 0x00])  # BRK returns to the byte after it, a second BRK
    code += bytes([0x20, 0xF8, 0x03])  # JSR to the RTS
    after = here() + 3
    code += bytes([0x4C, after & 0xFF, after >> 8])  # JMP to the next instruction
    code += bytes([0x6C, 0xE0, 0x03])  # JMP (03E0) to the next instruction
    pointer = here()
    code += bytes([0x4C, loop & 0xFF, loop >> 8])
    seen.update([0x48, 0x68, 0x08, 0x28, 0xBA, 0x9A, 0xF8, 0x00, 0x40, 0x20, 0x60, 0x4C, 0x6C])
    assert len(seen) == 151, len(seen)
    return bytes(code), bytes([pointer & 0xFF, pointer >> 8])


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog='every_opcode_6502.py',
        description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument(
        'stem', metavar='OUTPUT-STEM',
        help='path and name the two images start with: the program (loaded at 0x%04X) goes '
             'to OUTPUT-STEM.bin, the pointer JMP (03E0) follows (loaded at 0x03E0) to '
             'OUTPUT-STEM-pointer.bin' % ORG)
    args = parser.parse_args(argv)
    program, pointer = build()
    for path, data in ((args.stem + '.bin', program), (args.stem + '-pointer.bin', pointer)):
        try:
            with open(path, 'wb') as out:
                out.write(data)
        except OSError as error:
            parser.exit(1, '%s: cannot write %s: %s\n'
                        % (parser.prog, path, error.strerror or error))


if __name__ == '__main__':
    main()
