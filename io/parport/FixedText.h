#pragma once

namespace voltrex::io {

// Builds a text in a caller's fixed buffer with nothing but plain stores: no
// heap, no locale, no stdio. The port library writes its messages with it
// where the program may be inside a signal handler (an emergency switch-off
// that finds the port gone), and where a path is put together on the way to
// opening a port. What does not fit is cut off; the text is always
// terminated.
class FixedText {
  public:
    FixedText(char* buffer, unsigned size) : buffer_(buffer), size_(size) {
        if (size_ > 0) {
            buffer_[0] = '\0';
        }
    }

    FixedText& Put(const char* text) {
        while (text != nullptr && *text != '\0') {
            PutChar(*text++);
        }
        return *this;
    }
    // Decimal; negative numbers are written as 0 (none are expected).
    FixedText& PutNumber(long n) {
        char digits[24];
        int count = 0;
        unsigned long value = n < 0 ? 0UL : static_cast<unsigned long>(n);
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0) {
            PutChar(digits[--count]);
        }
        return *this;
    }
    // "0x" and upper-case hexadecimal digits, as port addresses are written.
    FixedText& PutHex(unsigned long n) {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[n % 16];
            n /= 16;
        } while (n != 0);
        PutChar('0');
        PutChar('x');
        while (count > 0) {
            PutChar(digits[--count]);
        }
        return *this;
    }

    // Terminates the text; false when something was cut off.
    bool Finish() {
        if (size_ == 0) {
            return false;
        }
        const bool fits = length_ < size_;
        buffer_[fits ? length_ : size_ - 1] = '\0';
        return fits;
    }
    const char* Text() {
        Finish();
        return buffer_;
    }

  private:
    void PutChar(char c) {
        if (length_ + 1 < size_) {
            buffer_[length_] = c;
        }
        ++length_;
    }

    char* buffer_;
    unsigned size_;
    unsigned length_ = 0;
};

}  // namespace voltrex::io
