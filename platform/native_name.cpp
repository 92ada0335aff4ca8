#include "platform/native_name.h"

namespace platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00; // byte b stands as U+DC00 + b (b >= 0x80)

// The length of the valid UTF-8 sequence at `p` (shortest form, no surrogates, at most
// U+10FFFF), or 0.
qsizetype Utf8SequenceLength(const unsigned char* p, qsizetype left) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        return 1;
    }
    qsizetype length = 0;
    unsigned char low = 0x80; // the allowed range of the second byte
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high) {
        return 0;
    }
    for (qsizetype i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

} // namespace

bool IsValidUtf8(const char* data, qsizetype size) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size;) {
        const qsizetype length = Utf8SequenceLength(p + i, size - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

QString DecodeNativeName(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const qsizetype length = Utf8SequenceLength(p + i, size - i);
        if (length == 0) {
            text.append(QChar(static_cast<char16_t>(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        text.append(QString::fromUtf8(bytes.constData() + i, length));
        i += length;
    }
    return text;
}

QByteArray EncodeNativeName(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const bool escaped = i < name.size() && name.at(i).unicode() >= kEscapeBase + 0x80 &&
                             name.at(i).unicode() <= kEscapeBase + 0xFF;
        if (i == name.size() || escaped) {
            bytes += QStringView(name).mid(runStart, i - runStart).toUtf8();
            if (escaped) {
                bytes += static_cast<char>(name.at(i).unicode() - kEscapeBase);
            }
            runStart = i + 1;
        }
    }
    return bytes;
}

void SplitPath(const QByteArray& path, QByteArray& dir, QByteArray& name) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        dir.clear();
        name = path;
        return;
    }
    dir = slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

} // namespace platform
