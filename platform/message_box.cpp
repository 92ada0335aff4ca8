#include "platform/message_box.h"

#include "platform/swappable_service.h"

#include <QMessageBox>

namespace platform {
namespace {

class WidgetMessageBoxService final : public MessageBoxService {
public:
    void ShowMessage(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("Vistrel"), text, QMessageBox::Ok);
    }
};

using Slot = SwappableService<MessageBoxService, WidgetMessageBoxService>;

} // namespace

MessageBoxService& GetMessageBoxService() {
    return Slot::Get();
}

void SetMessageBoxService(MessageBoxService* service) {
    Slot::Install(service);
}

void AfxMessageBox(QWidget* parent, const QString& text) {
    GetMessageBoxService().ShowMessage(parent, text);
}

} // namespace platform
