#include "io/parport/ParportLookup.h"

#include <fcntl.h>

#include "io/parport/FixedText.h"

namespace voltrex::io {

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

bool FormatIndexedPath(char* buffer, unsigned size, const char* root, const char* prefix, long n,
                       const char* suffix) {
    FixedText text(buffer, size);
    text.Put(root).Put("/").Put(prefix).PutNumber(n).Put(suffix);
    return text.Finish();
}

bool ReadSmallFile(const char* path, char* buffer, unsigned size, const SystemCalls& calls) {
    if (size == 0) {
        return false;
    }
    buffer[0] = '\0';
    const int fd = calls.Open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const ssize_t length = calls.Read(fd, buffer, size - 1);
    calls.Close(fd);
    if (length < 0) {
        return false;
    }
    auto end = static_cast<unsigned>(length);
    while (end > 0 && (buffer[end - 1] == '\n' || buffer[end - 1] == ' ' ||
                       buffer[end - 1] == '\t' || buffer[end - 1] == '\0')) {
        --end;
    }
    buffer[end] = '\0';
    return true;
}

long BaseAddressOfParport(const char* procRoot, int n, const SystemCalls& calls) {
    char path[512];
    if (!FormatIndexedPath(path, sizeof path, procRoot, "sys/dev/parport/parport", n,
                           "/base-addr")) {
        return -1;
    }
    char text[64];
    if (!ReadSmallFile(path, text, sizeof text, calls)) {
        return -1;
    }
    return ParseBaseAddress(text);
}

int FindParportForBase(const char* procRoot, unsigned base, const SystemCalls& calls) {
    for (int n = 0; n <= HighestPortNumber; ++n) {
        if (BaseAddressOfParport(procRoot, n, calls) == static_cast<long>(base)) {
            return n;
        }
    }
    return -1;
}

}  // namespace voltrex::io
