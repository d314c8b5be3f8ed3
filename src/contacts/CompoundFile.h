#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The Compound File Binary container of Excel 97-2003 workbooks: a 512-byte header, sectors
// chained through the allocation table (FAT), a directory of 128-byte entries, and small streams
// kept in 64-byte mini sectors. The writer and the reader share this layout.
namespace CompoundLayout {

constexpr char Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr qsizetype SignatureSize = 8;
constexpr qsizetype HeaderSize = 512;

// Header fields, by byte offset.
constexpr qsizetype MinorVersionAt = 24;
constexpr qsizetype MajorVersionAt = 26;
constexpr qsizetype ByteOrderAt = 28;
constexpr qsizetype SectorShiftAt = 30;
constexpr qsizetype MiniSectorShiftAt = 32;
constexpr qsizetype FatSectorCountAt = 44;
constexpr qsizetype DirectoryStartAt = 48;
constexpr qsizetype MiniStreamCutoffAt = 56;
constexpr qsizetype MiniFatStartAt = 60;
constexpr qsizetype MiniFatCountAt = 64;
constexpr qsizetype DifatStartAt = 68;
constexpr qsizetype DifatCountAt = 72;
constexpr qsizetype HeaderDifatAt = 76;
constexpr int HeaderDifatSlots = 109;

constexpr quint16 SmallSectorShift = 9;  // 512-byte sectors (version 3)
constexpr quint16 LargeSectorShift = 12; // 4096-byte sectors (version 4)
constexpr quint16 MiniSectorShift = 6;
constexpr qsizetype MiniSectorSize = 64;
constexpr quint32 MiniStreamCutoff = 4096;

// Special values of the allocation tables.
constexpr quint32 LastRegularSector = 0xFFFFFFFA;
constexpr quint32 DifatSector = 0xFFFFFFFC;
constexpr quint32 FatSector = 0xFFFFFFFD;
constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 FreeSector = 0xFFFFFFFF;
constexpr quint32 NoStream = 0xFFFFFFFF;

// Directory entries.
constexpr qsizetype DirectoryEntrySize = 128;
constexpr qsizetype EntryNameBytes = 64;
constexpr qsizetype EntryNameLengthAt = 64;
constexpr qsizetype EntryTypeAt = 66;
constexpr qsizetype EntryColourAt = 67;
constexpr qsizetype EntryChildAt = 76;
constexpr qsizetype EntryStartAt = 116;
constexpr qsizetype EntrySizeAt = 120;
constexpr quint8 StreamEntry = 2;
constexpr quint8 RootEntry = 5;

} // namespace CompoundLayout

// Reads the streams of a compound file held in memory. Every offset, chain and size is checked:
// a chain that loops, leaves the file or outgrows it just ends, so a stream is never larger than
// the file it came from.
class CompoundFileReader {
public:
    explicit CompoundFileReader(const QByteArray& file) : m_file(file) {}

    // False (and error()) when the bytes are no compound file or its tables are unreadable.
    bool load();
    // The named stream (case ignored); empty when absent.
    QByteArray stream(const QString& name) const;
    QString error() const { return m_error; }

    static bool hasSignature(const QByteArray& bytes);

private:
    QByteArray sector(quint32 index) const;
    QByteArray chain(const QList<quint32>& table, quint32 start, qint64 size, bool mini) const;
    void loadFat();
    QByteArray miniStream(quint32 start, quint32 size) const;

    const QByteArray& m_file;
    qsizetype m_sectorSize = 512;
    quint32 m_miniCutoff = CompoundLayout::MiniStreamCutoff;
    QList<quint32> m_fat;
    QByteArray m_directory;
    mutable QByteArray m_miniData; // the root's mini stream, while a small stream is read
    QString m_error;
};
