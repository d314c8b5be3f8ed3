#include "contacts/GroupChooser.h"

#include "store/Dataset.h"

GroupChooser::GroupChooser(Dataset* dbGRUPO, QWidget* parent) : QComboBox(parent), m_groups(dbGRUPO) {
    refill();
}

void GroupChooser::refill() {
    if (!m_groups)
        return;
    const QVariant chosen = currentData();
    // A group being typed on the groups page is not thrown away by a re-read.
    if (m_groups->isOpen() && m_groups->state() == Dataset::State::Browse)
        m_groups->refresh();
    else if (!m_groups->isOpen())
        m_groups->open();
    {
        const QSignalBlocker block(this); // the list changes, not the operator's choice
        clear();
        const int idCol = m_groups->fieldIndex("ID_GRUPO");
        const int nameCol = m_groups->fieldIndex("GRUPO");
        for (int row = 0; row < m_groups->recordCount(); ++row)
            addItem(m_groups->valueAt(row, nameCol).toString(), m_groups->valueAt(row, idCol).toLongLong());
        setCurrentIndex(chosen.isValid() ? findData(chosen) : -1);
    }
    // (outside the blocker: the field binders listen to it)
    Q_EMIT refilled();
}

void GroupChooser::showEvent(QShowEvent* event) {
    refill();
    QComboBox::showEvent(event);
}

void GroupChooser::showPopup() {
    refill();
    QComboBox::showPopup();
}
