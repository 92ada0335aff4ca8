#pragma once

#include <QtGlobal>

// A rectangle of four signed 32-bit screen coordinates, as the settings file stores it.
struct CRect {
    qint32 left = 0;
    qint32 top = 0;
    qint32 right = 0;
    qint32 bottom = 0;

    qint32 Width() const { return right - left; }
    qint32 Height() const { return bottom - top; }
    friend bool operator==(const CRect&, const CRect&) = default;
};
