#pragma once

#include <QMessageBox>
#include <functional>

// How the history pages ask and tell the operator: a modal message box by default; tests put
// their own answer in its place.
using OperatorDialog =
    std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString&, QMessageBox::StandardButtons)>;

OperatorDialog messageBoxDialog(QWidget* parent);
