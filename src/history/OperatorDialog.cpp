#include "history/OperatorDialog.h"

#include <QApplication>

OperatorDialog messageBoxDialog(QWidget* parent) {
    return [parent](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, QApplication::applicationName(), text, buttons, parent);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };
}
