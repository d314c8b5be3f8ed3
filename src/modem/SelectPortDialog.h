#pragma once

#include <QDialog>

class QComboBox;

// "Select Port": asked when a channel without a port number is opened. Lists the COM numbers
// whose devices open now.
class SelectPortDialog : public QDialog {
    Q_OBJECT
public:
    explicit SelectPortDialog(const QList<int>& ports, QWidget* parent = nullptr);

    int chosenPort() const;

    // Shows the dialog over `parent`; the chosen number, or 0 on Cancel.
    static int choose(QWidget* parent);

private:
    QComboBox* m_ports;
};
