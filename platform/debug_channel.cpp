#include "platform/debug_output.h"

#include <QElapsedTimer>
#include <algorithm>
#include <utility>

namespace platform {

OutputBudget::OutputBudget(qint64 perSecond, qint64 burst)
    : m_limited(true), m_perSecond(perSecond), m_burst(burst), m_level(burst * 1000) {}

bool OutputBudget::Take(qint64 nowMs, qint64 size) {
    if (!m_limited) {
        return true;
    }
    // Kept in thousandths of a character, so that every millisecond refills exactly.
    const qint64 full = m_burst * 1000;
    if (m_lastMs >= 0 && nowMs > m_lastMs) {
        const qint64 elapsed = nowMs - m_lastMs;
        const bool fills = m_perSecond <= 0 ? false : elapsed >= full / m_perSecond + 1;
        m_level = fills ? full : std::min(full, m_level + elapsed * m_perSecond);
    }
    if (m_lastMs < 0 || nowMs > m_lastMs) {
        m_lastMs = nowMs;
    }
    const qint64 cost = std::min(size, m_burst) * 1000;
    if (cost > m_level) {
        ++m_leftOut;
        return false;
    }
    m_level -= cost;
    return true;
}

qint64 OutputBudget::TakeLeftOut() {
    return std::exchange(m_leftOut, 0);
}

template <> OutputBudget& Services<OutputBudget>::Own() {
    static OutputBudget unlimited;
    return unlimited;
}

bool IsControlCharacter(QChar c) {
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

QString EscapeControlCharacters(const QString& text, LineBreaks lineBreaks) {
    const auto isControl = [](QChar c) { return c != u'\t' && IsControlCharacter(c); };
    if (std::none_of(text.cbegin(), text.cend(), isControl)) {
        return text;
    }
    const bool keep = lineBreaks == LineBreaks::Keep;
    QString escaped;
    escaped.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!isControl(c)) {
            escaped += c;
        } else if (keep && c == u'\n') {
            escaped += c;
        } else if (keep && c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            escaped += QStringLiteral("\r\n");
            ++i;
        } else if (c == u'\r') {
            escaped += QStringLiteral("\\r");
        } else if (c == u'\n') {
            escaped += QStringLiteral("\\n");
        } else {
            escaped += QStringLiteral("\\x") +
                       QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        }
    }
    return escaped;
}

QByteArray EscapeControlBytes(const QByteArray& bytes) {
    QByteArray escaped;
    escaped.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if ((b < 0x20 && b != '\t') || b == 0x7F) {
            escaped += "\\x" + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        } else {
            escaped += byte;
        }
    }
    return escaped;
}

void OutputDebugStringW(const QString& text) {
    OutputBudget& budget = Services<OutputBudget>::Get();
    static QElapsedTimer clock;
    if (!clock.isValid()) {
        clock.start();
    }
    if (!budget.Take(clock.elapsed(), text.size())) {
        return;
    }
    DebugOutputService& output = Services<DebugOutputService>::Get();
    if (const qint64 leftOut = budget.TakeLeftOut(); leftOut > 0) {
        output.Write(QStringLiteral("… (%1 more lines left out)\r\n").arg(leftOut));
    }
    QString line = EscapeControlCharacters(text, LineBreaks::Keep);
    if (!line.endsWith(u'\n')) {
        line += QStringLiteral("\n");
    }
    output.Write(line);
}

} // namespace platform
