#pragma once

#include <QList>
#include <QString>
#include <utility>

// The viewer control's 24 initial properties as template 130 gives them, in the control's own
// order: name and value ("-1" is true). Apart from the templates so that the widget-free
// interpretation of the properties can read them too.
const QList<std::pair<QString, QString>>& PlayerViewerProperties();
