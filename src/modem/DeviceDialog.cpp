#include "modem/DeviceDialog.h"

#include "modem/ComMapping.h"
#include "modem/DeviceLinks.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

struct DeviceRow {
    QString device, description, maker, serial;
};

QList<DeviceRow> devices(const QString& dataDir) {
    QList<DeviceRow> rows;
    QStringList seen;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        rows.append({info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
        seen.append(QFileInfo(info.systemLocation()).canonicalFilePath());
    }
    // Devices reached only through a link (pseudo-terminals of the modem simulator, for example).
    for (const int n : DeviceLinks::linkedNumbers(dataDir)) {
        const QString link = ComMapping::linkPath(n, dataDir);
        const QString target = QFileInfo(link).canonicalFilePath();
        if (!seen.contains(target)) {
            rows.append({target.isEmpty() ? QFileInfo(link).symLinkTarget() : target,
                         target.isEmpty() ? QStringLiteral("(link sem dispositivo)") : QStringLiteral("(link)"),
                         {},
                         {}});
            seen.append(target);
        }
    }
    return rows;
}

QString comList(const QList<int>& numbers) {
    QStringList parts;
    for (const int n : numbers)
        parts.append(QStringLiteral("COM%1").arg(n));
    return parts.join(QStringLiteral(", "));
}

} // namespace

DeviceDialog::DeviceDialog(const QString& dataDir, QWidget* parent)
    : QDialog(parent), m_dataDir(dataDir), m_table(new QTableWidget(this)), m_com(new QSpinBox(this)) {
    setWindowTitle(QStringLiteral("Dispositivos Seriais"));
    resize(820, 360);
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel(QStringLiteral("Portas seriais encontradas e o número COM que cada uma atende "
                                           "(links em %1).")
                                .arg(QDir(dataDir).filePath(QStringLiteral("portas"))),
                            this));
    m_table->setColumnCount(5);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Dispositivo"), QStringLiteral("Descrição"),
                                        QStringLiteral("Fabricante"), QStringLiteral("Nº de série"),
                                        QStringLiteral("Porta COM")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    v->addWidget(m_table, 1);
    auto* h = new QHBoxLayout;
    m_com->setRange(1, DeviceLinks::kMaxCom);
    m_com->setPrefix(QStringLiteral("COM"));
    auto* link = new QPushButton(QStringLiteral("Ligar dispositivo à porta"), this);
    auto* unlink = new QPushButton(QStringLiteral("Remover link da porta"), this);
    auto* refresh = new QPushButton(QStringLiteral("Atualizar"), this);
    auto* close = new QPushButton(QStringLiteral("Fechar"), this);
    h->addWidget(m_com);
    h->addWidget(link);
    h->addWidget(unlink);
    h->addStretch();
    h->addWidget(refresh);
    h->addWidget(close);
    v->addLayout(h);
    connect(link, &QPushButton::clicked, this, &DeviceDialog::linkSelected);
    connect(unlink, &QPushButton::clicked, this, &DeviceDialog::unlinkChosen);
    connect(refresh, &QPushButton::clicked, this, &DeviceDialog::reload);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    reload();
}

void DeviceDialog::reload() {
    const QList<DeviceRow> rows = devices(m_dataDir);
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const DeviceRow& d = rows[r];
        const QStringList cells{d.device, d.description, d.maker, d.serial,
                                comList(DeviceLinks::comNumbersFor(d.device, m_dataDir))};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
}

QString DeviceDialog::selectedDevice() const {
    const int row = m_table->currentRow();
    return row < 0 || !m_table->item(row, 0) ? QString() : m_table->item(row, 0)->text();
}

void DeviceDialog::linkSelected() {
    const QString device = selectedDevice();
    if (device.isEmpty())
        return;
    const QString error = DeviceLinks::link(m_com->value(), DeviceLinks::stablePath(device), m_dataDir);
    if (!error.isEmpty())
        QMessageBox::critical(this, windowTitle(), error);
    reload();
}

void DeviceDialog::unlinkChosen() {
    const QString error = DeviceLinks::unlink(m_com->value(), m_dataDir);
    if (!error.isEmpty())
        QMessageBox::critical(this, windowTitle(), error);
    reload();
}
