#pragma once

#include <QtGlobal>
#include <algorithm>
#include <limits>

// A rectangle of four signed 32-bit screen coordinates, as the settings file stores it.
struct CRect {
    qint32 left = 0;
    qint32 top = 0;
    qint32 right = 0;
    qint32 bottom = 0;

    // The edges may come from a file edited by hand: a difference beyond the type's range is
    // clamped to it rather than overflowing.
    qint32 Width() const { return Span(left, right); }
    qint32 Height() const { return Span(top, bottom); }
    friend bool operator==(const CRect&, const CRect&) = default;

private:
    static qint32 Span(qint32 from, qint32 to) {
        const qint64 span = qint64{to} - qint64{from};
        return static_cast<qint32>(std::clamp<qint64>(span, std::numeric_limits<qint32>::min(),
                                                      std::numeric_limits<qint32>::max()));
    }
};
