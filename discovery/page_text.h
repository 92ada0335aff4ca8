#pragma once

#include <QByteArray>
#include <QString>

// A fetched page's bytes to the page's text, as the lookup reads it. Utf8ToUnicode,
// UnicodeToMultiByte and the code page's decoder are the readable definition; ConvertPageText
// gives the same in one pass, fast on the long ASCII runs pages are made of.

// Decodes UTF-8: one UTF-16 unit per character of up to 3 bytes, a surrogate pair per 4-byte
// character, U+FFFD for each invalid or cut-short form. Never reads past the end of bytes.
QString Utf8ToUnicode(const QByteArray& bytes);
// Narrows text to code page 932, one character at a time; a character without a form there
// becomes one space. A leading byte-order mark is skipped.
QByteArray UnicodeToMultiByte(const QString& text);
// Puts a carriage return before every line feed, also where one is there already.
QByteArray DoubleLineFeeds(const QByteArray& received);
// The page as received to the page as text: every line feed doubled to CR LF, read as UTF-8,
// passed through code page 932 (which turns what it lacks into spaces) and read back.
QString ConvertPageText(const QByteArray& received);
