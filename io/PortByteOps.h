/* The byte, word and bit entry points of the port library, built the same way
 * in every build of it from that build's own byte access: a word or double
 * word is that many consecutive ports, least significant byte first; the bit
 * operations read the port, change the bit and write the byte back (on a data
 * register, which reads back what was last written, that changes one line of
 * the latch and keeps the others). */
#pragma once

namespace voltrex::io {

template <void (*Out)(unsigned short, unsigned char), unsigned char (*In)(unsigned short)>
struct PortByteOps {
    static void WordOut(unsigned short port, unsigned short value) {
        Out(port, static_cast<unsigned char>(value & 0xFF));
        Out(static_cast<unsigned short>(port + 1), static_cast<unsigned char>(value >> 8));
    }
    static void DWordOut(unsigned short port, unsigned int value) {
        for (unsigned short i = 0; i < 4; ++i) {
            Out(static_cast<unsigned short>(port + i),
                static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
        }
    }
    static unsigned short WordIn(unsigned short port) {
        const unsigned low = In(port);
        const unsigned high = In(static_cast<unsigned short>(port + 1));
        return static_cast<unsigned short>(low | (high << 8));
    }
    static unsigned int DWordIn(unsigned short port) {
        unsigned int value = 0;
        for (unsigned short i = 0; i < 4; ++i) {
            value |= static_cast<unsigned int>(In(static_cast<unsigned short>(port + i)))
                     << (8 * i);
        }
        return value;
    }
    static unsigned char Mask(unsigned char bit) {
        return static_cast<unsigned char>(1U << (bit & 7U));
    }
    static void SetBit(unsigned short port, unsigned char bit) {
        Out(port, static_cast<unsigned char>(In(port) | Mask(bit)));
    }
    static void ClrBit(unsigned short port, unsigned char bit) {
        Out(port, static_cast<unsigned char>(In(port) & ~Mask(bit)));
    }
    static void NotBit(unsigned short port, unsigned char bit) {
        Out(port, static_cast<unsigned char>(In(port) ^ Mask(bit)));
    }
    static int GetBit(unsigned short port, unsigned char bit) {
        return (In(port) & Mask(bit)) != 0 ? 1 : 0;
    }
    // The bit shifted out is returned; value (0 or not) enters at the other end.
    static int RightShift(unsigned short port, int value) {
        const unsigned char byte = In(port);
        Out(port, static_cast<unsigned char>((byte >> 1) | (value != 0 ? 0x80 : 0x00)));
        return byte & 0x01;
    }
    static int LeftShift(unsigned short port, int value) {
        const unsigned char byte = In(port);
        Out(port, static_cast<unsigned char>((byte << 1) | (value != 0 ? 0x01 : 0x00)));
        return (byte >> 7) & 0x01;
    }
};

}  // namespace voltrex::io
