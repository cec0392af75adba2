#include "platform/CFormat.h"

#include <locale.h>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace voltrex {

namespace {

// The "C" locale object is immutable and created once; uselocale() only
// switches a thread-local pointer, so the scope costs next to nothing.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

CLocaleScope::CLocaleScope() : previous_(uselocale(CLocale())) {}

CLocaleScope::~CLocaleScope() {
    uselocale(static_cast<locale_t>(previous_));
}

std::string Format(const char* format, ...) {
    CLocaleScope cLocale;
    char small[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        va_end(copy);
        throw std::runtime_error("invalid format");
    }
    std::string result;
    if (static_cast<std::size_t>(length) < sizeof small) {
        result.assign(small, static_cast<std::size_t>(length));
    } else {
        result.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(result.data(), result.size(), format, copy);
        result.resize(static_cast<std::size_t>(length));
    }
    va_end(copy);
    return result;
}

int ScanC(const char* text, const char* format, ...) {
    CLocaleScope cLocale;
    va_list args;
    va_start(args, format);
    const int result = std::vsscanf(text, format, args);
    va_end(args);
    return result;
}

}  // namespace voltrex
