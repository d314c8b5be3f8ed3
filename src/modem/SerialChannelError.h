#pragma once

#include <QString>

#include <stdexcept>

// The error a serial channel raises when an open, write or read cannot be carried out.
// text() is the Portuguese message shown to the operator or written to a log.
class SerialChannelError : public std::runtime_error {
public:
    explicit SerialChannelError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};
