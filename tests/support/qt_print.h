#pragma once

#include "platform/rect.h"

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt strings in GoogleTest assertions.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (const QString& text : list) {
        PrintTo(text, out);
        *out << "; ";
    }
    *out << '}';
}
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
inline void PrintTo(const CRect& rect, std::ostream* out) {
    *out << '{' << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom
         << '}';
}
