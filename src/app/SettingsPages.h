#pragma once

#include <QWidget>

class TADO;
class DbFieldBinder;
class QLabel;
class QPlainTextEdit;

// Sub-page "Configuração Sistema": every column of the settings row with its label.
class ConfigSistemaPage : public QWidget {
    Q_OBJECT
public:
    explicit ConfigSistemaPage(TADO* ado, QWidget* parent = nullptr);

private:
    DbFieldBinder* m_binder;
};

// Sub-page "Configurar SMS": the SMS text template and its character count.
class ConfigSmsPage : public QWidget {
    Q_OBJECT
public:
    explicit ConfigSmsPage(TADO* ado, QWidget* parent = nullptr);
    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* counter() const { return m_counter; }
    void updateCounter();

private:
    DbFieldBinder* m_binder;
    QPlainTextEdit* m_editor;
    QLabel* m_counter;
};
