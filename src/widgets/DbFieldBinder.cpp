#include "widgets/DbFieldBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimeEdit>

#include "store/Dataset.h"
#include "store/TimeText.h"

DbFieldBinder::DbFieldBinder(Dataset* dataset, QObject* parent) : QObject(parent), m_dataset(dataset) {
    for (auto sig : {&Dataset::afterScroll, &Dataset::afterOpen, &Dataset::afterCancel, &Dataset::afterRefresh,
                     &Dataset::afterClose, &Dataset::afterPost})
        connect(dataset, sig, this, &DbFieldBinder::refresh);
}

void DbFieldBinder::add(QWidget* w, std::function<void()> load) {
    m_bindings << Binding{w, std::move(load)};
    m_loading = true;
    m_bindings.last().load();
    m_loading = false;
}

void DbFieldBinder::refresh() {
    m_loading = true;
    for (const Binding& b : std::as_const(m_bindings)) {
        if (b.widget) {
            b.widget->setEnabled(m_dataset && m_dataset->isOpen());
            b.load();
        }
    }
    m_loading = false;
}

void DbFieldBinder::write(const QString& field, const QVariant& value) {
    if (m_loading || !m_dataset || !m_dataset->isOpen() || m_dataset->recNo() < 0)
        return;
    if (m_dataset->value(field) == value)
        return;
    m_dataset->setValue(field, value);
}

void DbFieldBinder::bind(QLineEdit* edit, const QString& field) {
    add(edit, [this, edit, field] { edit->setText(m_dataset->text(field)); });
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& t) { write(field, t); });
}

void DbFieldBinder::bind(QPlainTextEdit* edit, const QString& field) {
    add(edit, [this, edit, field] {
        if (edit->toPlainText() != m_dataset->text(field))
            edit->setPlainText(m_dataset->text(field));
    });
    connect(edit, &QPlainTextEdit::textChanged, this, [this, edit, field] { write(field, edit->toPlainText()); });
}

void DbFieldBinder::bind(QCheckBox* box, const QString& field) {
    add(box, [this, box, field] { box->setChecked(m_dataset->boolean(field)); });
    connect(box, &QCheckBox::toggled, this, [this, field](bool on) { write(field, on ? 1 : 0); });
}

void DbFieldBinder::bind(QSpinBox* box, const QString& field) {
    add(box, [this, box, field] { box->setValue(m_dataset->integer(field)); });
    connect(box, &QSpinBox::valueChanged, this, [this, field](int v) { write(field, v); });
}

void DbFieldBinder::bind(QTimeEdit* edit, const QString& field) {
    add(edit, [this, edit, field] {
        const QTime t = TimeText::read(m_dataset->text(field));
        edit->setTime(t.isValid() ? t : QTime(0, 0));
    });
    // Written back in the form the column already holds (with or without seconds, date part kept).
    connect(edit, &QTimeEdit::timeChanged, this,
            [this, field](const QTime& t) { write(field, TimeText::inFormOf(m_dataset->text(field), t)); });
}

void DbFieldBinder::bind(QComboBox* box, const QString& field) {
    add(box, [this, box, field] { box->setCurrentText(m_dataset->text(field)); });
    connect(box, &QComboBox::currentTextChanged, this, [this, field](const QString& t) { write(field, t); });
}

void DbFieldBinder::bindChoice(QComboBox* box, const QString& field) {
    add(box, [this, box, field] { box->setCurrentIndex(box->findData(m_dataset->text(field))); });
    connect(box, &QComboBox::activated, this, [this, box, field](int i) { write(field, box->itemData(i).toString()); });
}

void DbFieldBinder::bindLookup(QComboBox* box, const QString& field) {
    add(box, [this, box, field] { box->setCurrentIndex(box->findData(m_dataset->value(field).toLongLong())); });
    connect(box, &QComboBox::activated, this, [this, box, field](int i) { write(field, box->itemData(i)); });
}
