#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

struct zip;
struct zip_file;

// Read-only view of the zip archive of an .xlsx workbook. Parts are looked up by name without
// regard to case (part names in Office Open XML are case-insensitive) and read with a size cap.
class XlsxArchive {
public:
    XlsxArchive() = default;
    XlsxArchive(const XlsxArchive&) = delete;
    XlsxArchive& operator=(const XlsxArchive&) = delete;
    ~XlsxArchive();

    bool openFile(const QString& path);
    bool openBytes(const QByteArray& bytes);
    QString errorString() const { return m_error; }

    bool contains(const QString& partName) const;
    // The whole part, at most maxSize bytes; on failure an empty array and errorString().
    QByteArray readAll(const QString& partName, qint64 maxSize);
    // A sequential device streaming the part; nullptr (and errorString()) when it cannot be opened.
    std::unique_ptr<QIODevice> openPart(const QString& partName, qint64 maxSize);

private:
    zip* m_zip = nullptr;
    QByteArray m_bytes; // kept alive while libzip reads from it
    QString m_error;
};

// Streams one zip entry; fails (and says so) past its size cap.
class XlsxPartDevice : public QIODevice {
public:
    XlsxPartDevice(zip_file* file, qint64 maxSize);
    ~XlsxPartDevice() override;
    bool isSequential() const override { return true; }
    bool tooLarge() const { return m_tooLarge; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    zip_file* m_file;
    qint64 m_limit;
    qint64 m_done = 0;
    bool m_tooLarge = false;
};
