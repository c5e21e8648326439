#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "CorvexLink.h"

namespace demo {
namespace {

class QtMessageBoxes final : public MessageBoxes {
public:
    void show(const ShownBox &box) override {
        QMessageBox shown(box.icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                          box.title, box.text, QMessageBox::Ok);
        shown.exec();
    }
    // The desktop offers one system beep; pitch and length are the platform's.
    void beep(int, int) override { QApplication::beep(); }
};

MessageBoxes *replacementBoxes = nullptr;

}  // namespace

MessageBoxes &messageBoxes() {
    static QtMessageBoxes real;
    return replacementBoxes ? *replacementBoxes : real;
}

void setMessageBoxes(MessageBoxes *replacement) { replacementBoxes = replacement; }

void errorBox(const QString &title, const QString &text) {
    messageBoxes().show({title, text, BoxIcon::Error});
}

void libraryErrorBox(const QString &title) {
    errorBox(title, QString::fromLocal8Bit(ZelmarGetErrorMessage()));
}

void plainBox(const QString &title, const QString &text) {
    messageBoxes().show({title, text, BoxIcon::None});
}

}  // namespace demo
