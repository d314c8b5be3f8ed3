#include "contacts/CompoundFile.h"

#include <QList>

#include <vector>

using namespace CompoundLayout;

namespace {

quint16 get16(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 2 > bytes.size()) {
        return 0;
    }
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

quint32 get32(const QByteArray& bytes, qsizetype at) {
    return get16(bytes, at) | (quint32{get16(bytes, at + 2)} << 16);
}

void appendEntries(QList<quint32>& table, const QByteArray& bytes) {
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4) {
        table.append(get32(bytes, at));
    }
}

} // namespace

bool CompoundFileReader::hasSignature(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayView(Signature, SignatureSize));
}

bool CompoundFileReader::load() {
    if (m_file.size() < HeaderSize || !hasSignature(m_file)) {
        m_error = QStringLiteral("não é um arquivo do Excel 97-2003");
        return false;
    }
    const quint16 shift = get16(m_file, SectorShiftAt);
    if (shift != SmallSectorShift && shift != LargeSectorShift) {
        m_error = QStringLiteral("tamanho de setor inválido (%1)").arg(shift);
        return false;
    }
    m_sectorSize = qsizetype{1} << shift;
    m_miniCutoff = get32(m_file, MiniStreamCutoffAt);
    loadFat();
    m_directory = chain(m_fat, get32(m_file, DirectoryStartAt), -1, false);
    if (m_fat.isEmpty() || m_directory.size() < DirectoryEntrySize) {
        m_error = QStringLiteral("tabela de alocação ou diretório danificados");
        return false;
    }
    return true;
}

QByteArray CompoundFileReader::sector(quint32 index) const {
    const qsizetype at = (qsizetype{index} + 1) * m_sectorSize; // the header fills sector -1
    return at + m_sectorSize <= m_file.size() ? m_file.mid(at, m_sectorSize) : QByteArray();
}

void CompoundFileReader::loadFat() {
    const qsizetype maxSectors = m_file.size() / m_sectorSize;
    QList<quint32> fatSectors;
    for (int i = 0; i < HeaderDifatSlots; ++i) {
        fatSectors.append(get32(m_file, HeaderDifatAt + 4 * i));
    }
    quint32 difat = get32(m_file, DifatStartAt);
    for (qsizetype steps = 0; difat <= LastRegularSector && steps < maxSectors; ++steps) {
        const QByteArray bytes = sector(difat);
        if (bytes.isEmpty()) {
            break;
        }
        appendEntries(fatSectors, bytes.left(bytes.size() - 4));
        difat = get32(bytes, bytes.size() - 4);
    }
    // No more table than the file has sectors to describe.
    const qsizetype maxEntries = maxSectors + m_sectorSize / 4;
    for (const quint32 index : fatSectors) {
        if (index <= LastRegularSector && m_fat.size() < maxEntries) {
            appendEntries(m_fat, sector(index));
        }
    }
}

QByteArray CompoundFileReader::chain(const QList<quint32>& table, quint32 start, qint64 size, bool mini) const {
    QByteArray out;
    std::vector<bool> seen(static_cast<size_t>(table.size()), false);
    for (quint32 next = start; next < static_cast<quint32>(table.size()) && !seen[next]; next = table.at(next)) {
        seen[next] = true;
        if (mini) {
            const qsizetype at = qsizetype{next} * MiniSectorSize;
            if (at + MiniSectorSize > m_miniData.size()) {
                break;
            }
            out.append(m_miniData.constData() + at, MiniSectorSize);
        } else {
            const QByteArray bytes = sector(next);
            if (bytes.isEmpty()) {
                break;
            }
            out.append(bytes);
        }
        if (size >= 0 && out.size() >= size) {
            break;
        }
    }
    return size >= 0 ? out.left(size) : out;
}

QByteArray CompoundFileReader::miniStream(quint32 start, quint32 size) const {
    if (static_cast<quint8>(m_directory[EntryTypeAt]) != RootEntry) {
        return QByteArray();
    }
    QList<quint32> miniFat;
    appendEntries(miniFat, chain(m_fat, get32(m_file, MiniFatStartAt), -1, false));
    m_miniData = chain(m_fat, get32(m_directory, EntryStartAt), get32(m_directory, EntrySizeAt), false);
    const QByteArray out = chain(miniFat, start, size, true);
    m_miniData.clear();
    return out;
}

QByteArray CompoundFileReader::stream(const QString& name) const {
    for (qsizetype at = 0; at + DirectoryEntrySize <= m_directory.size(); at += DirectoryEntrySize) {
        const int nameBytes = std::min<int>(get16(m_directory, at + EntryNameLengthAt), EntryNameBytes);
        QString entryName;
        for (int i = 0; i + 2 < nameBytes; i += 2) {
            entryName += QChar(get16(m_directory, at + i));
        }
        if (static_cast<quint8>(m_directory[at + EntryTypeAt]) == StreamEntry &&
            entryName.compare(name, Qt::CaseInsensitive) == 0) {
            const quint32 size = get32(m_directory, at + EntrySizeAt);
            const quint32 start = get32(m_directory, at + EntryStartAt);
            return size < m_miniCutoff ? miniStream(start, size) : chain(m_fat, start, size, false);
        }
    }
    return QByteArray();
}
