#pragma once

#include <QString>

namespace vestral::mail {

// TLS modes as the settings row stores them.
inline constexpr char kTlsNone[] = "utNoTLSSupport";
inline constexpr char kTlsImplicit[] = "utUseImplicitTLS";
inline constexpr char kTlsExplicit[] = "utUseExplicitTLS";
inline constexpr char kTlsRequire[] = "utUseRequireTLS";

// What the client needs to reach one SMTP server. tlsMode and sslMethod hold the stored texts; a tlsMode
// other than the three TLS values (compared exactly) means plain text. Every sslMethod value negotiates
// TLS 1.2 or newer (the old SSL and TLS 1.0/1.1 protocols are not offered by the TLS library here).
struct SmtpSettings {
    QString host;
    quint16 port = 25;
    QString username;
    QString password;
    QString heloName; // empty: the machine's fully qualified name, else an address literal of the local end
    bool useSsl = false;
    QString sslMethod;
    QString tlsMode = QString::fromLatin1(kTlsNone);
    bool pipeline = true;
    int timeoutMs = 30000; // connect and per-reply wait
};

// Outcome of a client call: ok, or the failure text the operator is shown.
class [[nodiscard]] SmtpStatus {
public:
    SmtpStatus() = default;
    static SmtpStatus failure(const QString& text, int replyCode = 0) { return SmtpStatus(text, replyCode); }
    // A failure that no later recipient of the run can escape (a refused login, a password that would go in
    // clear text): the campaign stops instead of trying again for every recipient.
    static SmtpStatus stopping(const QString& text, int replyCode = 0) {
        SmtpStatus s(text, replyCode);
        s.m_stopsRun = true;
        return s;
    }
    // The connection itself could not be made (refused, no such host, no answer): why, in Portuguese.
    SmtpStatus withConnectReason(const QString& reason) const {
        SmtpStatus s = *this;
        s.m_connectReason = reason;
        return s;
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString& text() const { return m_text; }
    int replyCode() const { return m_replyCode; } // the server's code when a reply caused the failure, else 0
    bool stopsRun() const { return m_stopsRun; }
    const QString& connectReason() const { return m_connectReason; } // empty unless the connection failed

private:
    SmtpStatus(const QString& text, int replyCode) : m_failed(true), m_text(text), m_replyCode(replyCode) {}
    bool m_failed = false;
    QString m_text;
    int m_replyCode = 0;
    bool m_stopsRun = false;
    QString m_connectReason;
};

} // namespace vestral::mail
