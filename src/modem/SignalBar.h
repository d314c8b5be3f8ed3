#pragma once

#include <QWidget>

// The signal bar of a port slot: range 0..31, the caption showing the fill in percent; light grey,
// lime while the slot's sender worker runs.
class SignalBar : public QWidget {
    Q_OBJECT
public:
    explicit SignalBar(QWidget* parent = nullptr);

    int value() const { return m_value; }
    QString caption() const { return m_caption; }
    bool working() const { return m_working; }
    void setValue(int value, const QString& caption);
    void setWorking(bool working);

    QSize sizeHint() const override { return {56, 13}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_value = 0;
    QString m_caption = QStringLiteral("0%");
    bool m_working = false;
};
