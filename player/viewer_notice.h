#pragma once

#include <QLabel>

// The label a viewer control shows in place of its web view when it cannot play: centred,
// wrapped, and selectable so that a person can copy the reason. Both web views' controls use it.
inline QLabel* NewViewerNotice(QWidget* parent) {
    auto* notice = new QLabel(parent);
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);
    notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice->setMargin(12);
    return notice;
}
