#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QTableWidget;
class TADO;

// Page "Estações": the stations that share the store with their figures (as --stations prints them), read again
// every 2 s while the page is shown; a station silent for more than 30 s in red.
class EstacoesPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 2000;

    explicit EstacoesPage(TADO* ado, QWidget* parent = nullptr);
    QTableWidget* grid() const { return m_grid; }
    QLabel* status() const { return m_status; }
    bool refreshing() const { return m_timer.isActive(); }

public Q_SLOTS:
    void refresh();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    TADO* m_ado;
    QTableWidget* m_grid;
    QLabel* m_status;
    QTimer m_timer;
};
