#pragma once

#include <QString>

// Turns what the user pasted (embed mark-up, a channel page address or a bare stream id) into
// a stream id; the empty string when the text is not recognised. title is written only when
// the text was resolved by looking up a channel page (with the PageLookupService in force), and
// then holds the page's title.
QString ParseStreamReference(QString text, QString& title);
