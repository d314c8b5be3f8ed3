#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>

// Whether the database file is sound, and what the operator reads when it is not.
namespace Integrity {

// Runs "PRAGMA quick_check" (or the slower, thorough "PRAGMA integrity_check" when `full`) on the
// file through a read-only handle of its own. Empty when the file is sound; otherwise the problems
// SQLite found, or why the file could not be checked. `cancel`, when given and raised, interrupts it.
QStringList check(const QString& path, bool full, const std::atomic<bool>* cancel = nullptr);

// True for SQLite's texts of a damaged file ("database disk image is malformed", "file is not a
// database").
bool isDamage(const QString& errorText);

// What to do with a damaged file.
QString adviceText();
// "O banco de dados está danificado: " + the problems + what to do.
QString damagedText(const QStringList& problems);
// The text for a failed read: the damaged-file text for damage, otherwise a plain read error.
QString readErrorText(const QString& errorText);
// "Não foi possível gravar no banco de dados: " + reason.
QString writeErrorText(const QString& reason);

} // namespace Integrity

// Runs the quick check on a thread of its own, so that a large file does not hold up the window.
// `finished` arrives on the thread that owns this object. The destructor interrupts a check that is
// still running and waits for its thread.
class IntegrityCheck : public QObject {
    Q_OBJECT
public:
    explicit IntegrityCheck(QObject* parent = nullptr) : QObject(parent) {}
    ~IntegrityCheck() override;
    void start(const QString& path);

Q_SIGNALS:
    void finished(const QStringList& problems);

private:
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};
