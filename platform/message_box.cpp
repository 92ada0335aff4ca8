#include "platform/message_box.h"

#include "platform/swappable_service.h"

#include <QMessageBox>

namespace platform {
namespace {

class WidgetMessageBoxService final : public MessageBoxService {
public:
    void ShowMessage(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Vistrel"), text, QMessageBox::Ok,
                        parent);
        // Modal to the window it was asked from (the main window), not to the whole program:
        // the player stays usable while the box is open.
        box.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
        box.exec();
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
