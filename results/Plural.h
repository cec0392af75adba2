#pragma once

#include <QString>

namespace voltrex::results {

// "1 record", "5 records": a count with its noun in the right number (the
// program has no translations, where Qt's "%n" would do this).
inline QString Counted(long long count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromUtf8(count == 1 ? one : many));
}

}  // namespace voltrex::results
