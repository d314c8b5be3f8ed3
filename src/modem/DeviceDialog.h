#pragma once

#include <QDialog>

class QSpinBox;
class QTableWidget;

// The serial devices found on this computer (name, description, maker, serial number) with the
// COM numbers each one answers to, and the links portas/COMn of the data folder; a device can be
// linked to a COM number and a link removed.
class DeviceDialog : public QDialog {
    Q_OBJECT
public:
    explicit DeviceDialog(const QString& dataDir, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    void reload();

private:
    void linkSelected();
    void unlinkChosen();
    QString selectedDevice() const;

    QString m_dataDir;
    QTableWidget* m_table;
    QSpinBox* m_com;
};
