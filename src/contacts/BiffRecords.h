#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Walking the records of a BIFF5/BIFF8 workbook stream: a 2-byte type, a 2-byte length, the body.
// Every read is checked against the stream's end; a read past it fails instead of going on.
namespace Biff {

enum Record : quint16 {
    Formula = 0x0006,
    Eof = 0x000A,
    DateMode = 0x0022,
    FilePass = 0x002F,
    Continue = 0x003C,
    Codepage = 0x0042,
    BoundSheet = 0x0085,
    MulRk = 0x00BD,
    MulBlank = 0x00BE,
    RString = 0x00D6,
    Xf = 0x00E0,
    Sst = 0x00FC,
    LabelSst = 0x00FD,
    Dimension = 0x0200,
    Blank = 0x0201,
    Number = 0x0203,
    Label = 0x0204,
    BoolErr = 0x0205,
    String = 0x0207,
    Rk = 0x027E,
    Format = 0x041E,
    Bof = 0x0809,
};

constexpr quint16 Biff8Version = 0x0600;
constexpr quint16 Biff5Version = 0x0500;

quint16 get16(QByteArrayView bytes, qsizetype at);
quint32 get32(QByteArrayView bytes, qsizetype at);
double getDouble(QByteArrayView bytes, qsizetype at);
// An RK number: a 30-bit integer or the high 30 bits of a double, perhaps divided by 100.
double rkValue(quint32 rk);

// One record at a time, from a given offset.
class RecordWalker {
public:
    RecordWalker(const QByteArray& stream, qsizetype at) : m_stream(stream), m_next(at) {}
    // False at the end of the stream or at a record cut short.
    bool next();
    quint16 type() const { return m_type; }
    QByteArrayView body() const { return m_body; }
    // The bodies of the CONTINUE records right after this one (consumed).
    QList<QByteArrayView> continuations();

private:
    const QByteArray& m_stream;
    qsizetype m_next;
    quint16 m_type = 0;
    QByteArrayView m_body;
};

// Reads across a record and its CONTINUE records. Inside the characters of a string, a new
// CONTINUE begins with the option byte that says whether the rest is one or two bytes a character.
class SegmentReader {
public:
    explicit SegmentReader(QList<QByteArrayView> segments) : m_segments(std::move(segments)) {}
    bool u8(quint8& value);
    bool u16(quint16& value);
    bool u32(quint32& value);
    bool skip(qint64 bytes);
    // BIFF8 XLUnicodeString: 2-byte (or 1-byte when shortCount) length, options, characters,
    // rich-text runs and phonetic data skipped.
    bool unicodeString(QString& text, bool shortCount = false);
    // BIFF5 byte string in the workbook's code page (Windows-1252 here).
    bool byteString(QString& text, bool shortCount = false);
    bool atEnd() const;

private:
    bool characters(quint32 count, bool wide, QString& text);
    bool nextSegment();

    QList<QByteArrayView> m_segments;
    qsizetype m_segment = 0;
    qsizetype m_at = 0;
};

} // namespace Biff
