#include "io/parport/ParportLookup.h"

#include <fcntl.h>
#include <unistd.h>

namespace voltrex::io {

namespace {

// Ports are numbered from 0 in the order the driver found them; a machine has
// a handful at most, and the numbers may have gaps after a hot unplug.
constexpr int HighestPortNumber = 63;

class Writer {
  public:
    Writer(char* buffer, unsigned size) : buffer_(buffer), size_(size) {}
    void Put(const char* text) {
        while (*text != '\0') {
            PutChar(*text++);
        }
    }
    void PutNumber(int n) {
        char digits[12];
        int count = 0;
        unsigned value = n < 0 ? 0U : static_cast<unsigned>(n);
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0) {
            PutChar(digits[--count]);
        }
    }
    bool Finish() {
        if (size_ == 0) {
            return false;
        }
        const bool fits = length_ < size_;
        buffer_[fits ? length_ : size_ - 1] = '\0';
        return fits;
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

}  // namespace

long ParseBaseAddress(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\n') {
        ++text;
    }
    if (*text < '0' || *text > '9') {
        return -1;
    }
    long value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (*text - '0');
        if (value > 0xFFFFFF) {
            return -1;
        }
        ++text;
    }
    return value;
}

bool FormatIndexedPath(char* buffer, unsigned size, const char* root, const char* prefix, int n,
                       const char* suffix) {
    Writer writer(buffer, size);
    writer.Put(root);
    writer.Put("/");
    writer.Put(prefix);
    writer.PutNumber(n);
    writer.Put(suffix);
    return writer.Finish();
}

int FindParportForBase(const char* procRoot, unsigned base) {
    for (int n = 0; n <= HighestPortNumber; ++n) {
        char path[512];
        if (!FormatIndexedPath(path, sizeof path, procRoot, "sys/dev/parport/parport", n,
                               "/base-addr")) {
            return -1;
        }
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        char text[64];
        const ssize_t length = read(fd, text, sizeof text - 1);
        close(fd);
        if (length <= 0) {
            continue;
        }
        text[length] = '\0';
        if (ParseBaseAddress(text) == static_cast<long>(base)) {
            return n;
        }
    }
    return -1;
}

}  // namespace voltrex::io
