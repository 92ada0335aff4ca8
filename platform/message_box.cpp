#include "platform/message_box.h"

#include <QMessageBox>

namespace platform {
namespace {

class WidgetMessageBoxService final : public MessageBoxService {
public:
    void ShowMessage(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("Vistrel"), text, QMessageBox::Ok);
    }
};

MessageBoxService*& Installed() {
    static MessageBoxService* service = nullptr;
    return service;
}

} // namespace

MessageBoxService& GetMessageBoxService() {
    static WidgetMessageBoxService ownService;
    if (MessageBoxService* service = Installed()) {
        return *service;
    }
    return ownService;
}

void SetMessageBoxService(MessageBoxService* service) {
    Installed() = service;
}

void AfxMessageBox(QWidget* parent, const QString& text) {
    GetMessageBoxService().ShowMessage(parent, text);
}

} // namespace platform
