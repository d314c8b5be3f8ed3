#pragma once

#include <QWidget>

class TADO;
class DbFieldBinder;
class QFormLayout;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QTimeEdit;
class SmsTextEditor;

// Sub-page "Configuração Sistema": every column of the settings row with its label.
class ConfigSistemaPage : public QWidget {
    Q_OBJECT
public:
    explicit ConfigSistemaPage(TADO* ado, QWidget* parent = nullptr);

    // The scheduled send's difference and countdown labels (group "Envio automático de SMS").
    void setScheduleLabels(const QString& difference, const QString& countdown);
    QLabel* scheduleDifference() const { return m_difference; }
    QLabel* scheduleCountdown() const { return m_countdown; }
    QTimeEdit* horario() const { return m_horario; }
    static constexpr const char* kHorarioFormat = " HH:mm";

private:
    QFormLayout* makeServerForm();
    void addOptOutRows(QFormLayout* form);
    QGroupBox* makeScheduleGroup();
    void addSmsModeRows(QFormLayout* form);
    QGroupBox* makeSourceGroup();

    DbFieldBinder* m_binder;
    QTimeEdit* m_horario = nullptr;
    QLabel* m_difference;
    QLabel* m_countdown;
};

// Sub-page "Configurar SMS": the SMS text template (typed through the SMS key filter, at most
// 160 characters), its character count and the placeholder help.
class ConfigSmsPage : public QWidget {
    Q_OBJECT
public:
    explicit ConfigSmsPage(TADO* ado, QWidget* parent = nullptr);
    QPlainTextEdit* editor() const;
    QLabel* counter() const { return m_counter; }
    // Shows the template's current length (at start and whenever the page is shown).
    void updateCounter();

protected:
    void showEvent(QShowEvent* event) override;

private:
    DbFieldBinder* m_binder;
    SmsTextEditor* m_editor;
    QLabel* m_counter;
};
