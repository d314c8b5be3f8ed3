// The spreadsheet import and export flows over a real database, without their widgets.
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

#include "ContactsTestSupport.h"
#include "FileLimits.h"
#include "TempDataDir.h"
#include "contacts/ContactExport.h"
#include "contacts/ContactImport.h"
#include "contacts/ContactSearch.h"
#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/TransferStatus.h"
#include "optout/SuppressionList.h"
#include "store/TADO.h"

namespace {

QStringList row14(const QStringList& first) {
    QStringList r = first;
    while (r.size() < SpreadsheetReader::ColumnCount)
        r << QString();
    return r;
}

class ContactTransferTestBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(m_data, storeKind());
        ado = m_data.ado.get();
        TransferStatus::clearStop();
        // No pause between rows; a test may ask for a stop at a given pause.
        status.setWait([this](int ms) {
            EXPECT_EQ(ms, TransferStatus::RowPauseMs);
            if (++pauses == stopAtPause)
                TransferStatus::requestStop();
        });
        QObject::connect(&status, &TransferStatus::textChanged, [this](const QString& t) { texts << t; });
        QObject::connect(&status, &TransferStatus::panelVisibleChanged, [this](bool v) { panel = v; });
        exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (7, 'Clientes VIP')");
        ado->dbGRUPO->refresh();
    }
    void TearDown() override { TransferStatus::clearStop(); }

    void exec(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery q(ado->database());
        ASSERT_TRUE(q.prepare(sql));
        for (const QVariant& v : values)
            q.addBindValue(v);
        ASSERT_TRUE(q.exec());
    }
    int contactCount() {
        QSqlQuery q(ado->database());
        q.exec("SELECT COUNT(*) FROM dbCLIENTE");
        return q.next() ? q.value(0).toInt() : -1;
    }
    // Every stored contact in insertion order: the fourteen sheet fields, then ID_GRUPO and DESATIVADO.
    QList<QStringList> stored() {
        QList<QStringList> out;
        QSqlQuery q(ado->database());
        q.exec("SELECT " + SpreadsheetReader::columnFields().join(", ") +
               ", ID_GRUPO, DESATIVADO FROM dbCLIENTE ORDER BY ID_CLIENTE");
        while (q.next()) {
            QStringList r;
            for (int i = 0; i < SpreadsheetReader::ColumnCount + 2; ++i)
                r << q.value(i).toString();
            out << r;
        }
        return out;
    }
    QString sheet(const QString& name, const QList<QStringList>& rows) {
        const QString path = m_files.filePath(name);
        EXPECT_TRUE(SpreadsheetWriter::write(path, rows).ok());
        return path;
    }
    QList<int> indices(ContactImport& import) {
        QList<int> out;
        for (const auto& r : import.preview()->rows())
            out << r.indice;
        return out;
    }
    void addContact(const QString& nome, const QString& fone, const QString& texto9 = {}) {
        exec("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO, TEXTO9) VALUES (?, ?, ?, 1, 0, ?)",
             QVariantList{nome, fone, QString(nome.toLower() + "@exemplo.com"), texto9});
    }

    TempDataDir m_data;
    QTemporaryDir m_files;
    TADO* ado = nullptr;
    TransferStatus status;
    QStringList texts;
    bool panel = false;
    int pauses = 0;
    int stopAtPause = -1;
};

// The LibreOffice workbooks and the CSV: the last used cell in row 250, a title in row 1.
class ImportFixtureTest : public ContactTransferTestBase, public ::testing::WithParamInterface<const char*> {};

TEST_P(ImportFixtureTest, EveryRowUpToTheLastUsedOneBecomesAContact) {
    ContactImport import(&status);
    const auto read = import.read(ContactsTest::dataFile(QString::fromUtf8(GetParam())));
    ASSERT_EQ(read.outcome, ContactImport::ReadOutcome::Finished) << read.error.toStdString();
    EXPECT_FALSE(panel);
    ASSERT_EQ(import.preview()->rowCount(), 250);
    EXPECT_EQ(import.preview()->rows().first().indice, 1);
    EXPECT_EQ(import.preview()->rows().last().indice, 250);
    ado->dbGRUPO->locate("ID_GRUPO", 7);
    const auto saved = import.save(ado, ContactImport::currentGroup(ado->dbGRUPO));
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    EXPECT_EQ(saved.saved, 250);
    EXPECT_EQ(import.preview()->rowCount(), 0);
    const QList<QStringList> rows = stored();
    ASSERT_EQ(rows.size(), 250);
    const QString title =
        "NOME,TELEFONE,EMAIL,TEXTO,TEXTO0,TEXTO1,TEXTO2,TEXTO3,TEXTO4,TEXTO5,TEXTO6,TEXTO7,TEXTO8,TEXTO9";
    EXPECT_EQ(rows[0].mid(0, 14), title.split(','));         // the title row is a contact like any other
    EXPECT_EQ(rows[1][1], "11987654321");                    // a phone typed as a number, as its digits
    EXPECT_EQ(rows[2], row14({}) + QStringList({"7", "0"})); // a blank row: an empty contact of the group
    EXPECT_EQ(rows[3].mid(3, 11), row14({}).mid(3));         // data in A to C only
    EXPECT_EQ(rows[4][13], "k");                             // column N read, O never
    EXPECT_EQ(rows[249][0], "Último");
    for (const QStringList& r : rows)
        EXPECT_EQ(r.mid(14), (QStringList{"7", "0"}));
}

INSTANTIATE_TEST_SUITE_P(LibreOfficeFiles, ImportFixtureTest,
                         ::testing::Values("contatos_num.xlsx", "contatos_texto.xls", "contatos.csv"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             return QString::fromUtf8(param.param).replace('.', '_').toStdString();
                         });

class ContactTransferTest : public OnBothStores<ContactTransferTestBase> {};

TEST_P(ContactTransferTest, ReadingShowsTheStatusTextsInOrder) {
    ContactImport import(&status);
    const QString path = sheet("dois.xlsx", {row14({"Ana", "1"}), row14({"Bia", "2"})});
    ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
    EXPECT_EQ(texts,
              (QStringList{"Inciando abertura do arquivo do excel.", "Cria Excel- OLE Object", "Esconde Excel",
                           "Abre o Workbook", "Pegar o número da última linha", "Pegar o número da última coluna",
                           "Lendo dados do Workbook (Pode demorar de acordo com a quatidade de contatos!)",
                           "Cria o loop para listar os registros no StringGrid", "Posição 2 de 2", "Posição 3 de 2",
                           "Fecha o Microsoft Excel", "Finalizado processo de leitura do arquivo excel!"}));
    EXPECT_EQ(pauses, 2); // one pause per row
}

TEST_P(ContactTransferTest, IndiceStartsAgainAtOneAfterSaveOrCancel) {
    const QString path = sheet("tres.xls", {row14({"A"}), row14({"B"}), row14({"C"})});
    for (const bool saving : {true, false}) {
        ContactImport import(&status);
        ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
        ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
        EXPECT_EQ(indices(import), (QList<int>{1, 2, 3, 4, 5, 6})); // a second read adds after the first
        const int before = contactCount();
        if (saving)
            ASSERT_TRUE(import.save(ado, 1).ok());
        else
            import.cancel();
        EXPECT_EQ(contactCount(), before + (saving ? 6 : 0)) << saving;
        EXPECT_EQ(import.preview()->rowCount(), 0);
        ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
        EXPECT_EQ(indices(import), (QList<int>{1, 2, 3})) << saving;
    }
}

TEST_P(ContactTransferTest, StopKeepsTheRowsListedAndTheNextImportContinuesTheNumbering) {
    ContactImport import(&status);
    const QString path = sheet("cinco.xlsx", {row14({"A"}), row14({"B"}), row14({"C"}), row14({"D"}), row14({"E"})});
    stopAtPause = 3; // the operator presses stop while the third row waits
    const auto read = import.read(path);
    EXPECT_EQ(read.outcome, ContactImport::ReadOutcome::Stopped);
    EXPECT_EQ(texts.last(), "Parando importação");
    EXPECT_FALSE(panel);
    EXPECT_FALSE(TransferStatus::stopRequested()); // cleared for the next transfer
    EXPECT_EQ(indices(import), (QList<int>{1, 2}));
    EXPECT_EQ(contactCount(), 0);

    ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
    EXPECT_EQ(indices(import), (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    ASSERT_TRUE(import.save(ado, 7).ok());
    QStringList names;
    for (const QStringList& r : stored())
        names << r[0];
    EXPECT_EQ(names, (QStringList{"A", "B", "A", "B", "C", "D", "E"}));
}

TEST_P(ContactTransferTest, CancelLeavesTheContactsUnchanged) {
    addContact("Zé", "1");
    ado->dbCLIENTE->refresh();
    const QList<QStringList> before = stored();
    ContactImport import(&status);
    ASSERT_EQ(import.read(ContactsTest::dataFile("contatos_texto.xlsx")).outcome, ContactImport::ReadOutcome::Finished);
    import.cancel();
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(ado->dbCLIENTE->recordCount(), 1);
    EXPECT_EQ(import.preview()->rowCount(), 0);
}

TEST_P(ContactTransferTest, ARefusedRowEndsTheSaveThereKeepingTheRowsBefore) {
    ContactImport import(&status);
    const QString tooLong(31, QChar('x'));
    const QString path =
        sheet("longo.xlsx", {row14({"A"}), row14({"B"}),
                             row14({"C", "3", "c@x", "ok", "ok", "ok", "ok", "ok", tooLong}), row14({"D"})});
    ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
    int announced = 0;
    QObject::connect(ado, &TADO::contactsCountChanged, [&announced](int) { ++announced; });
    const auto saved = import.save(ado, 7);
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(saved.saved, 2);
    EXPECT_EQ(saved.failedIndice, 3);
    EXPECT_TRUE(saved.error.contains("CHECK", Qt::CaseInsensitive)) << saved.error.toStdString();
    EXPECT_EQ(contactCount(), 2);
    EXPECT_GE(announced, 2); // the counter followed each stored row
    EXPECT_EQ(ado->dbCLIENTE->state(), Dataset::State::Browse);
    EXPECT_EQ(ado->dbCLIENTE->recordCount(), 2);
    // The stored rows leave the preview, so saving again cannot store them twice.
    EXPECT_EQ(indices(import), (QList<int>{3, 4}));
    EXPECT_FALSE(import.save(ado, 7).ok());
    EXPECT_EQ(contactCount(), 2);
}

// Many rows, with the refused row at the edges of the 256-row statements a server gets: the rows before it are
// stored in order, none twice, the opted-out ones disabled, and the refused row and those after it stay listed.
TEST_P(ContactTransferTest, ARefusedRowAmongHundredsKeepsExactlyTheRowsBeforeIt) {
    const struct {
        int rows;
        int refused; // 1-based; 0: none
    } cases[] = {{257, 0}, {257, 1}, {257, 256}, {257, 257}, {600, 300}, {513, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " linhas, recusada " << c.refused);
        exec("DELETE FROM dbCLIENTE");
        ado->dbCLIENTE->refresh();
        SuppressionList::add(ado->database(), "11900000007", SuppressionList::kOrigemOperador);
        QList<QStringList> rows;
        for (int i = 1; i <= c.rows; ++i)
            rows << row14({QString("Nome %1").arg(i), QString("119%1").arg(i, 8, 10, QChar('0')), "", "", "", "", "",
                           "", i == c.refused ? QString(31, QChar('x')) : QString("t%1").arg(i)});
        ContactImport import(&status);
        ASSERT_EQ(import.read(sheet("muitos.xlsx", rows)).outcome, ContactImport::ReadOutcome::Finished);
        const auto saved = import.save(ado, 7);
        const int kept = c.refused == 0 ? c.rows : c.refused - 1;
        EXPECT_EQ(saved.ok(), c.refused == 0) << saved.error.toStdString();
        EXPECT_EQ(saved.saved, kept);
        EXPECT_EQ(saved.failedIndice, c.refused);
        EXPECT_EQ(saved.suppressed, kept >= 7 ? 1 : 0);
        const QList<QStringList> all = stored();
        ASSERT_EQ(all.size(), kept);
        for (int i = 0; i < kept; ++i) {
            ASSERT_EQ(all[i][0], QString("Nome %1").arg(i + 1));
            ASSERT_EQ(all[i][SpreadsheetReader::ColumnCount], "7");
            ASSERT_EQ(all[i][SpreadsheetReader::ColumnCount + 1], i + 1 == 7 ? "1" : "0");
        }
        EXPECT_EQ(ado->dbCLIENTE->recordCount(), kept);
        EXPECT_EQ(import.preview()->rowCount(), c.rows - kept);
        if (c.refused > 0) {
            EXPECT_EQ(indices(import).value(0), c.refused);
        }
    }
}

TEST_P(ContactTransferTest, AnUnreadableFileEndsTheReadWithItsErrorAndListsNothing) {
    QFile broken(m_files.filePath("quebrado.xlsx"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("isto não é uma planilha");
    broken.close();
    for (const QString& path : {m_files.filePath("nao-existe.xls"), broken.fileName()}) {
        ContactImport import(&status);
        panel = true;
        const auto read = import.read(path);
        EXPECT_EQ(read.outcome, ContactImport::ReadOutcome::Failed) << path.toStdString();
        EXPECT_FALSE(read.error.isEmpty());
        EXPECT_FALSE(panel);
        EXPECT_EQ(import.preview()->rowCount(), 0);
    }
}

TEST_P(ContactTransferTest, SaveWithoutAnyGroupStoresGroupZero) {
    exec("DELETE FROM dbGRUPO");
    ado->dbGRUPO->refresh();
    EXPECT_EQ(ContactImport::currentGroup(ado->dbGRUPO).toInt(), 0);
    ado->dbCLIENTE->close(); // a list left closed by a failed search still takes the rows
    ContactImport import(&status);
    ASSERT_EQ(import.read(sheet("um.xlsx", {row14({"Só"})})).outcome, ContactImport::ReadOutcome::Finished);
    ASSERT_TRUE(import.save(ado, ContactImport::currentGroup(ado->dbGRUPO)).ok());
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].mid(14), (QStringList{"0", "0"}));
    EXPECT_TRUE(ado->dbCLIENTE->isOpen());
}

// --- export ---

TEST_P(ContactTransferTest, ExportWritesTheListedContactsInTheListOrder) {
    addContact("Carla", "3", "nove");
    addContact("Ana", "1");
    addContact("Bruno", "2");
    ContactSearch search(ado->dbCLIENTE);
    struct Case {
        QString file;
        QString nameSearch; // empty: the whole list
        QStringList names;
    };
    const Case cases[] = {
        {"todos.xls", "", {"Ana", "Bruno", "Carla"}},
        {"filtrados.xlsx", "r", {"Bruno", "Carla"}},
        {"nenhum.xls", "ninguém", {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(search.searchColumn("NOME", c.nameSearch));
        const QString path = m_files.filePath(c.file);
        const auto result = ContactExport(&status).run(ado->dbCLIENTE, [&path] { return path; });
        ASSERT_EQ(result.outcome, ContactExport::Outcome::Written) << result.error.toStdString();
        EXPECT_EQ(texts.last(), "Finalizado exportação!");
        const SpreadsheetData back = SpreadsheetReader::read(path);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        QStringList names;
        for (const QStringList& r : back.rows)
            names << r[0];
        EXPECT_EQ(names, c.names) << c.file.toStdString();
        if (c.names.contains("Carla")) {
            EXPECT_EQ(back.rows.last(), row14({"Carla", "3", "carla@exemplo.com"}).mid(0, 13) + QStringList("nove"));
        }
    }
}

TEST_P(ContactTransferTest, ExportShowsTheStatusTextsInOrder) {
    addContact("Ana", "1");
    addContact("Bia", "2");
    ado->dbCLIENTE->refresh();
    const QString path = m_files.filePath("dois.xlsx");
    ContactExport(&status).run(ado->dbCLIENTE, [&path] { return path; });
    EXPECT_EQ(texts,
              (QStringList{"Exportando contatos!", "Cria um novo documento!", "Criando dados do documento!",
                           "Iniciando laço para colocar contatos no documento!", "Salvando 2 de 2", "Salvando 3 de 2",
                           "Formatando células!", "Salvando documento", "Finalizado exportação!"}));
    EXPECT_FALSE(panel);
}

TEST_P(ContactTransferTest, StopOrCancelWritesNoFile) {
    for (int i = 0; i < 5; ++i)
        addContact(QStringLiteral("C%1").arg(i), "1");
    ado->dbCLIENTE->refresh();
    const QString path = m_files.filePath("parado.xls");
    bool asked = false;
    stopAtPause = 3;
    auto result = ContactExport(&status).run(ado->dbCLIENTE, [&] {
        asked = true;
        return path;
    });
    EXPECT_EQ(result.outcome, ContactExport::Outcome::Stopped);
    EXPECT_FALSE(asked);
    EXPECT_EQ(texts.last(), "Parando Exportação!");
    EXPECT_FALSE(panel);
    EXPECT_FALSE(TransferStatus::stopRequested());
    EXPECT_FALSE(QFile::exists(path));

    // The save dialog cancelled: no file, and the export still ends as finished.
    result = ContactExport(&status).run(ado->dbCLIENTE, [] { return QString(); });
    EXPECT_EQ(result.outcome, ContactExport::Outcome::Cancelled);
    EXPECT_EQ(texts.last(), "Finalizado exportação!");
    EXPECT_TRUE(QDir(m_files.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// An exported file read back by the import gives the same fields in the same columns.
TEST_P(ContactTransferTest, RoundTripThroughExportAndImport) {
    const QList<QStringList> contacts = {
        {"Ângela Çé€", "11987654321", "angela@exemplo.com.br", "05/03/2024", "1234,5", "", "=2+3", "aspas \"x\"", "t4",
         "t5", "t6", "t7", "t8", "texto nove"},
        row14({"Bruno", "+55 (11) 5555-0000"}),
        row14({"Carla", "", "", "", "", "", "", "", "", "", "", "", "", "só o N"}),
    };
    for (const char* suffix : {"xls", "xlsx"}) {
        exec("DELETE FROM dbCLIENTE");
        for (const QStringList& c : contacts)
            exec("INSERT INTO dbCLIENTE (" + SpreadsheetReader::columnFields().join(", ") +
                     ", ID_GRUPO, DESATIVADO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, 0)",
                 QVariantList(c.begin(), c.end()));
        ado->dbCLIENTE->refresh();
        const QString path = m_files.filePath(QStringLiteral("ida-e-volta.") + suffix);
        ASSERT_EQ(ContactExport(&status).run(ado->dbCLIENTE, [&path] { return path; }).outcome,
                  ContactExport::Outcome::Written);
        exec("DELETE FROM dbCLIENTE");
        ado->dbCLIENTE->refresh();
        ContactImport import(&status);
        ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
        ASSERT_TRUE(import.save(ado, 1).ok());
        QList<QStringList> back;
        for (const QStringList& r : stored())
            back << r.mid(0, 14);
        // The export follows the list's order (by name), the import the sheet's.
        QList<QStringList> expected = contacts;
        std::sort(expected.begin(), expected.end());
        std::sort(back.begin(), back.end());
        EXPECT_EQ(back, expected) << suffix;
    }
}

// A NUL byte in a file's cell (a damaged export, a hostile file) has no place in a contact, and
// PostgreSQL's text refuses it: it is dropped on both stores, and every row is saved.
TEST_P(ContactTransferTest, NulBytesInCellsAreDroppedOnEveryStore) {
    const QString path = m_files.filePath("nul.csv");
    QFile csv(path);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(QByteArray("A\0na;11 98765-4321;ana@x\0.com\nBia;119\n", 38));
    csv.close();
    ContactImport import(&status);
    ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
    const auto saved = import.save(ado, 7);
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    EXPECT_EQ(saved.saved, 2);
    const QList<QStringList> rows = stored();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].mid(0, 3), (QStringList{"Ana", "11 98765-4321", "ana@x.com"}));
    EXPECT_EQ(rows[1].mid(0, 2), (QStringList{"Bia", "119"}));
}

TEST_P(ContactTransferTest, EmptyCellsAreStoredAsEmptyTextsNotNull) {
    for (const char* name : {"vazias.csv", "vazias.xls", "vazias.xlsx"}) {
        exec("DELETE FROM dbCLIENTE");
        const QString path = m_files.filePath(QString::fromUtf8(name));
        if (QString::fromUtf8(name).endsWith(".csv")) {
            QFile csv(path);
            ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
            csv.write("Ana;;ana@x\n;119\n");
        } else {
            sheet(QString::fromUtf8(name), {row14({"Ana", "", "ana@x"}), row14({"", "119"})});
        }
        ContactImport import(&status);
        ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished) << name;
        ASSERT_TRUE(import.save(ado, 7).ok()) << name;
        QSqlQuery q(ado->database());
        ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM dbCLIENTE WHERE " +
                           SpreadsheetReader::columnFields().join(" IS NULL OR ") + " IS NULL"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 0) << name;
        ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM dbCLIENTE WHERE NOME = '' AND TEXTO9 = ''"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 1) << name;
    }
}

TEST_P(ContactTransferTest, AFileReadWithBadBytesSaysWhichRowsOnTheStatusLine) {
    const QString path = m_files.filePath("misto.csv");
    QFile csv(path);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("\xC3\x82ngela;1\nJos\xE9;2\n\xC3\x89rica;3\n");
    csv.close();
    ContactImport import(&status);
    const auto read = import.read(path);
    ASSERT_EQ(read.outcome, ContactImport::ReadOutcome::Finished);
    EXPECT_TRUE(read.warning.contains("a linha 2 tem")) << read.warning.toStdString();
    EXPECT_TRUE(texts.contains(read.warning));
    EXPECT_EQ(import.preview()->rows().value(0).cells.value(0), QStringLiteral("Ângela"));
    EXPECT_EQ(import.preview()->rows().value(1).cells.value(0), QStringLiteral("José"));
}

// A full disk while the contacts are saved: the disk is named, not the transaction SQLite dropped.
TEST(ContactImportDiskTest, AFullDiskDuringTheSaveIsNamedAndNothingIsLost) {
    TestFiles::SmallDisk disk(4096);
    if (!disk.mounted())
        GTEST_SKIP() << "no permission to mount a tmpfs here";
    TADO ado;
    ASSERT_TRUE(ado.start(QDir(disk.path()).filePath("dados")).ok);
    const QString path = QDir(disk.path()).filePath("contatos.csv");
    {
        QFile csv(path);
        ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
        for (int i = 0; i < 4000; ++i)
            csv.write(QStringLiteral("Contato %1;119%1;c%1@exemplo.com;%2\n").arg(i).arg(QString(28, 'x')).toUtf8());
    }
    TransferStatus status;
    status.setWait({});
    ContactImport import(&status);
    ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
    QFile::remove(path);
    disk.fill(48 * 1024);
    const auto saved = import.save(&ado, 1);
    EXPECT_FALSE(saved.ok());
    EXPECT_TRUE(saved.error.contains("O disco está cheio")) << saved.error.toStdString();
    EXPECT_FALSE(saved.error.contains("no transaction")) << saved.error.toStdString();
    // Whatever was not stored stays in the preview, to be saved again once there is room.
    QSqlQuery q(ado.database());
    ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM dbCLIENTE"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt() + import.preview()->rowCount(), 4000);
}

} // namespace

// The whole file imported twice while some of its people are on the opt-out list: each time those rows are
// stored disabled and counted, whatever the spelling of the number or the case of the e-mail.
TEST_P(ContactTransferTest, ReimportKeepsOptedOutContactsDisabled) {
    for (const char* address : {"+55 (11) 98765-4321", "bia@x.com", "LOJA 1"})
        ASSERT_TRUE(
            SuppressionList::add(ado->database(), QString::fromUtf8(address), SuppressionList::kOrigemOperador).ok());
    const QString path =
        sheet("lista.xlsx", {row14({"Ana", "11987654321", "ana@x.com"}), row14({"Bia", "(11) 98765-4322", "BIA@X.COM"}),
                             row14({"Loja", "LOJA 1", ""}), row14({"Davi", "21999990000", "d@x.com"})});
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        ContactImport import(&status);
        ASSERT_EQ(import.read(path).outcome, ContactImport::ReadOutcome::Finished);
        const auto saved = import.save(ado, 1);
        ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
        EXPECT_EQ(saved.saved, 4);
        EXPECT_EQ(saved.suppressed, 3);
    }
    QStringList disabled;
    QSqlQuery q(ado->database());
    ASSERT_TRUE(q.exec("SELECT NOME || DESATIVADO FROM dbCLIENTE ORDER BY ID_CLIENTE"));
    while (q.next())
        disabled << q.value(0).toString();
    EXPECT_EQ(disabled, QStringList({"Ana1", "Bia1", "Loja1", "Davi0", "Ana1", "Bia1", "Loja1", "Davi0"}));
}

INSTANTIATE_TEST_SUITE_P(Store, ContactTransferTest, kBothStores, storeName);
