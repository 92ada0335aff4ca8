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

} // namespace

template <> MessageBoxService& Services<MessageBoxService>::Own() {
    static WidgetMessageBoxService own;
    return own;
}

void AfxMessageBox(QWidget* parent, const QString& text) {
    Services<MessageBoxService>::Get().ShowMessage(parent, text);
}

} // namespace platform
