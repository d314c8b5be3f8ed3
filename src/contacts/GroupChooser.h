#pragma once

#include <QComboBox>
#include <QPointer>

class Dataset;

// A drop-down of the groups as dbGRUPO holds them when it is opened: items show GRUPO and carry
// ID_GRUPO. It re-reads the table each time it drops down, keeping the chosen group.
class GroupChooser : public QComboBox {
    Q_OBJECT
public:
    explicit GroupChooser(Dataset* dbGRUPO, QWidget* parent = nullptr);

    void refill();
    void showPopup() override;

Q_SIGNALS:
    void refilled();

private:
    QPointer<Dataset> m_groups;
};
