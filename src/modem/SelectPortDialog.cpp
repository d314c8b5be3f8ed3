#include "modem/SelectPortDialog.h"

#include "modem/SerialChannel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SelectPortDialog::SelectPortDialog(const QList<int>& ports, QWidget* parent)
    : QDialog(parent), m_ports(new QComboBox(this)) {
    setWindowTitle(QStringLiteral("Select Port"));
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel(QStringLiteral("The configured serial port is not valid."), this));
    v->addWidget(new QLabel(QStringLiteral("Please choose another port."), this));
    for (const int n : ports)
        m_ports->addItem(QStringLiteral("COM%1").arg(n), n);
    m_ports->setCurrentIndex(ports.isEmpty() ? -1 : 0);
    v->addWidget(m_ports);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    v->addWidget(buttons);
}

int SelectPortDialog::chosenPort() const {
    return m_ports->currentIndex() < 0 ? 0 : m_ports->currentData().toInt();
}

int SelectPortDialog::choose(QWidget* parent) {
    SelectPortDialog dialog(SerialChannel::openablePorts(50), parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosenPort() : 0;
}
