#pragma once

#include <QPointer>

#include "store/Dataset.h"
#include <QToolButton>
#include <QWidget>
#include <array>

// The record navigator: ten buttons bound to one dataset, in the order first, prior, next, last,
// new, delete, edit, save, cancel, refresh, each captioned (the caption is also its hint).
class RecordNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh, ButtonCount };
    using Buttons = QList<Button>;
    static const std::array<const char*, ButtonCount>& captions();

    explicit RecordNavigator(QWidget* parent = nullptr);

    void setDataset(Dataset* dataset);
    Dataset* dataset() const { return m_dataset; }
    void setVisibleButtons(const Buttons& buttons);
    // Caption alone, without the picture (the SMS-text navigator).
    void setCaptionsOnly(bool captionsOnly);
    // Asks this question (Yes/No) before deleting; empty = no question.
    void setDeleteConfirmation(const QString& question) { m_confirmDelete = question; }
    QToolButton* button(Button b) const { return m_buttons[b]; }

Q_SIGNALS:
    // Emitted before the button acts; set *allow to false to stop it.
    void beforeAction(RecordNavigator::Button button, bool* allow);
    void clicked(RecordNavigator::Button button);

private:
    void act(Button b);
    void updateButtons();

    QPointer<Dataset> m_dataset;
    std::array<QToolButton*, ButtonCount> m_buttons{};
    QString m_confirmDelete;
    QList<QMetaObject::Connection> m_connections;
};
