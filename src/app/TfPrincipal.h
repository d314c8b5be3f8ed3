#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>
#include <array>

class TADO;
class StoreWatcher;
class DescadastradosPage;
class RecordNavigator;
class UpdateCheck;
class SobrePage;
class ConfigSmsPage;
class ConfigSistemaPage;
class EnviarSmsPage;
class CaixaSaidaPage;
class SmsStation;

// The main window: composes the pages, the port panel and the status bar, and runs the window
// timers. Each page owns its own handlers.
class TfPrincipal : public QMainWindow {
    Q_OBJECT
public:
    explicit TfPrincipal(TADO* ado, QWidget* parent = nullptr);
    ~TfPrincipal() override;

    static TfPrincipal* instance();

    // Top-level pages by caption ("Enviar SMS", ...) and sub-pages by "page/sub-page", for the tests and
    // screenshots; the window wires its pages through the pointers below, never by caption.
    QTabWidget* pages() const { return m_pages; }
    QWidget* page(const QString& path) const;
    QLabel* statusPanel(int index) const { return m_panels[index]; }
    RecordNavigator* settingsNavigator() const { return m_settingsNavigator; }
    QTimer* relogio() { return &m_relogio; }
    QTimer* tAUTO() { return &m_tAUTO; }
    UpdateCheck* atualizador() const { return m_update; }

    // Sub-page captions and page order, as the operator sees them.
    static const QStringList& pageCaptions();

    // The screen is below the recommended 1024 x 768.
    static bool needsResolutionQuestion(const QSize& screen);
    // Asks about the screen size (called once the window is shown).
    void checkScreenSize();

Q_SIGNALS:
    void clockTick(const QDateTime& now); // Relogio, every second
    void scheduledTick();                 // tAUTO, every second while scheduled sending is on
    void settingsSaved();                 // "Salvar" of the settings navigator

protected:
    bool event(QEvent* event) override;

private:
    void storeRunningVersion();
    void createPages();
    void installSubsystemPages();
    void installModemPages(SmsStation* sms, EnviarSmsPage* enviarSms, CaixaSaidaPage* outbox);
    void showSmsSubPage(QWidget* subPage);
    QWidget* pageOrPlaceholder(const QString& path);
    void createStatusBar();
    void watchSharedStore();
    void setPage(const QString& path, QWidget* widget);
    QTabWidget* makeSubPages(const QString& caption, const QStringList& subCaptions);
    QWidget* makeSettingsPage();
    void RelogioTimer();
    void onUpdateOffered(const QString& text);
    void fillStatusPanels();

    TADO* m_ado;
    StoreWatcher* m_watcher = nullptr; // only on a shared store
    DescadastradosPage* m_descadastrados = nullptr;
    QTabWidget* m_pages;
    QHash<QString, QWidget*> m_byPath;
    std::array<QLabel*, 5> m_panels{};
    RecordNavigator* m_settingsNavigator = nullptr;
    SobrePage* m_sobre = nullptr;
    ConfigSmsPage* m_configSms = nullptr;
    ConfigSistemaPage* m_configSistema = nullptr;
    QTabWidget* m_smsPages = nullptr; // "Enviar SMS" and its sub-pages
    QWidget* m_configModem = nullptr;
    QWidget* m_portPanel = nullptr;
    QTimer m_relogio;
    QTimer m_tAUTO;
    UpdateCheck* m_update;
    QSize m_restoreScreen; // display size to put back at exit, when the program changed it
};
