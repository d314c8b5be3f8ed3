#pragma once

#include <QColor>
#include <QWidget>

// A two-state light drawn as a disc: the ready light and the activity light of a port slot.
class StatusLight : public QWidget {
    Q_OBJECT
public:
    StatusLight(int diameter, QColor onColor, QColor offColor, QWidget* parent = nullptr);

    bool isLit() const { return m_lit; }
    void setLit(bool lit);

    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_diameter;
    QColor m_on;
    QColor m_off;
    bool m_lit = false;
};
