#pragma once

#include "platform/services.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace platform {

// Where the debugger output channel goes: standard error, each text as one whole write, so lines
// from several sources never interleave. Tests install one that records the texts.
class DebugOutputService {
public:
    virtual ~DebugOutputService() = default;
    virtual void Write(const QString& text) = 0;
};

// The program's own writes to standard error and never waits for it nor dies of it: a text that
// a full pipe or terminal cannot take at once, or that a closed one refuses, is dropped (with
// SIGPIPE ignored, see console_signals.h, a pipe without reader is a failed write).
template <> DebugOutputService& Services<DebugOutputService>::Own();

// How much the channel takes in a while: a bucket of `burst` characters that refills at
// `perSecond` characters a second. A text that does not fit is left out; the next one that fits
// is preceded by a line telling how many were. The channel keeps to the budget in force; the
// program's own takes everything, start-up puts the program's limit in force.
class OutputBudget {
public:
    // No limit: every text fits.
    OutputBudget() = default;
    OutputBudget(qint64 perSecond, qint64 burst);
    // Whether a text of `size` characters may be written at `nowMs` (a steady clock); if so its
    // size is taken from the bucket. A text longer than the bucket costs the whole bucket.
    bool Take(qint64 nowMs, qint64 size);
    // The number of texts left out since the last call, and starts counting again.
    qint64 TakeLeftOut();

private:
    bool m_limited = false;
    qint64 m_perSecond = 0;
    qint64 m_burst = 0;
    qint64 m_level = 0; // thousandths of a character
    qint64 m_lastMs = -1;
    qint64 m_leftOut = 0;
};

template <> OutputBudget& Services<OutputBudget>::Own();

// Whether a character controls a terminal rather than showing: C0 (below U+0020), DEL and C1
// (U+0080 to U+009F).
bool IsControlCharacter(QChar c);

enum class LineBreaks { Keep, Escape };
// The text with every control character but the tab written visibly, so that text from a page,
// a file name or a server cannot move the cursor, clear the screen, set the terminal's title or
// clipboard or forge a line: "\r" and "\n" for CR and LF, "\xHH" for the others (ESC is
// "\x1B"). With LineBreaks::Keep, LF and CR LF stay line breaks (a lone CR, which would write
// over the line, does not).
QString EscapeControlCharacters(const QString& text, LineBreaks lineBreaks);
// The same for bytes of a name in the system's encoding, which may not be UTF-8: C0 bytes but the
// tab, and DEL, written as "\xHH" (a byte from 0x80 up is part of a character there).
QByteArray EscapeControlBytes(const QByteArray& bytes);

// Stands in for the debugger output channel; always on, whatever the console mode, and bounded
// by the OutputBudget in force. Control characters are escaped (line breaks kept) and every text
// ends with a line break, so that the next starts on a line of its own.
void OutputDebugStringW(const QString& text);

} // namespace platform
