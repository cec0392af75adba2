/* The 13 entry points of the port library, built the same way in every build
 * of it from that build's own byte access: a word or double word is that many
 * consecutive ports, least significant byte first; the bit operations read
 * the port, change the bit and write the byte back (on a data register, which
 * reads back what was last written, that changes one line of the latch and
 * keeps the others). Each is named after the entry point it implements. */
#pragma once

namespace voltrex::io {

template <void (*Out)(unsigned short, unsigned char), unsigned char (*In)(unsigned short),
          bool (*Installed)()>
struct PortByteOps {
    static void PortOut(unsigned short port, unsigned char value) { Out(port, value); }
    static unsigned char PortIn(unsigned short port) { return In(port); }
    static void PortWordOut(unsigned short port, unsigned short value) {
        Out(port, static_cast<unsigned char>(value & 0xFF));
        Out(static_cast<unsigned short>(port + 1), static_cast<unsigned char>(value >> 8));
    }
    static void PortDWordOut(unsigned short port, unsigned int value) {
        for (unsigned short i = 0; i < 4; ++i) {
            Out(static_cast<unsigned short>(port + i),
                static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
        }
    }
    static unsigned short PortWordIn(unsigned short port) {
        const unsigned low = In(port);
        const unsigned high = In(static_cast<unsigned short>(port + 1));
        return static_cast<unsigned short>(low | (high << 8));
    }
    static unsigned int PortDWordIn(unsigned short port) {
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
    static void SetPortBit(unsigned short port, unsigned char bit) {
        Out(port, static_cast<unsigned char>(In(port) | Mask(bit)));
    }
    static void ClrPortBit(unsigned short port, unsigned char bit) {
        Out(port, static_cast<unsigned char>(In(port) & ~Mask(bit)));
    }
    static void NotPortBit(unsigned short port, unsigned char bit) {
        Out(port, static_cast<unsigned char>(In(port) ^ Mask(bit)));
    }
    static int GetPortBit(unsigned short port, unsigned char bit) {
        return (In(port) & Mask(bit)) != 0 ? 1 : 0;
    }
    // The bit shifted out is returned; value (0 or not) enters at the other end.
    static int RightPortShift(unsigned short port, int value) {
        const unsigned char byte = In(port);
        Out(port, static_cast<unsigned char>((byte >> 1) | (value != 0 ? 0x80 : 0x00)));
        return byte & 0x01;
    }
    static int LeftPortShift(unsigned short port, int value) {
        const unsigned char byte = In(port);
        Out(port, static_cast<unsigned char>((byte << 1) | (value != 0 ? 0x01 : 0x00)));
        return (byte >> 7) & 0x01;
    }
    static int IsDriverInstalled() { return Installed() ? 1 : 0; }
};

}  // namespace voltrex::io
