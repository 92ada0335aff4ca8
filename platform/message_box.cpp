#include "platform/message_box.h"

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

} // namespace

template <> MessageBoxService& Services<MessageBoxService>::Own() {
    static WidgetMessageBoxService own;
    return own;
}

void AfxMessageBox(QWidget* parent, const QString& text) {
    Services<MessageBoxService>::Get().ShowMessage(parent, text);
}

} // namespace platform
