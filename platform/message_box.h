#pragma once

#include "platform/services.h"

#include <QString>

class QWidget;

namespace platform {

// Where the program's few user messages go. The program shows a warning box titled "Vistrel"
// with an OK button, over the parent's window; none while that window is not shown (the program
// is ending). Tests install a recording service instead.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
};

template <> MessageBoxService& Services<MessageBoxService>::Own();

// Reports a message with an OK button, through the service in force.
void AfxMessageBox(QWidget* parent, const QString& text);

} // namespace platform
