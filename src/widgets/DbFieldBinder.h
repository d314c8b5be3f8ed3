#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class Dataset;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QTimeEdit;
class QWidget;

// Data-aware controls: shows the current row's fields in editors and, when the operator types,
// puts the dataset into edit and writes the value (saved by the navigator's "Salvar").
class DbFieldBinder : public QObject {
    Q_OBJECT
public:
    explicit DbFieldBinder(Dataset* dataset, QObject* parent = nullptr);

    void bind(QLineEdit* edit, const QString& field);
    void bind(QPlainTextEdit* edit, const QString& field);
    void bind(QCheckBox* box, const QString& field);
    void bind(QSpinBox* box, const QString& field);
    void bind(QTimeEdit* edit, const QString& field); // stored as "HH:mm"
    // Editable drop-down: the stored value is the text.
    void bind(QComboBox* box, const QString& field);
    // Lookup drop-down: items carry the stored value as their data (e.g. ID_GRUPO).
    void bindLookup(QComboBox* box, const QString& field);
    // Fixed drop-down: items carry the stored text as their data, the caption is what the operator reads.
    void bindChoice(QComboBox* box, const QString& field);

    void refresh();
    Dataset* dataset() const { return m_dataset; }

private:
    struct Binding {
        QPointer<QWidget> widget;
        std::function<void()> load;
    };
    void add(QWidget* w, std::function<void()> load);
    void write(const QString& field, const QVariant& value);

    QPointer<Dataset> m_dataset;
    QList<Binding> m_bindings;
    bool m_loading = false;
};
