#pragma once

#include <QComboBox>
#include <QPointer>

class Dataset;

// A drop-down of the groups as dbGRUPO holds them when it is opened: items show GRUPO and carry
// ID_GRUPO. It re-reads the table each time it is shown and each time it drops down, keeping the
// chosen group, so a group added on another page is there for the contact that uses it.
class GroupChooser : public QComboBox {
    Q_OBJECT
public:
    explicit GroupChooser(Dataset* dbGRUPO, QWidget* parent = nullptr);

    void refill();
    void showPopup() override;

protected:
    void showEvent(QShowEvent* event) override;

Q_SIGNALS:
    void refilled();

private:
    QPointer<Dataset> m_groups;
};
