#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/DataFolderLock.h"
#include "app/QtTextGaps.h"
#include "app/RegionalFormats.h"
#include "app/TfPrincipal.h"
#include "app/VersionInfo.h"
#include "app/WheelTranslator.h"
#include "history/TfImp.h"
#include "modem/ComMapping.h"
#include "modem/ModemManual.h"
#include "store/DataDir.h"
#include "store/Integrity.h"
#include "store/Station.h"
#include "store/StationRegistry.h"
#include "store/StoreLocation.h"
#include "store/StoreLock.h"
#include "store/TADO.h"

namespace {
QStringList rawArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

// Dates that Qt formats with the system's locale (the file dialog's "Date Modified") read as the
// program's own: the time locale is Brazilian Portuguese; LC_ALL, which would win over it, goes to LANG.
void useRegionalSystemDates() {
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty()) {
        qputenv("LANG", all);
        qunsetenv("LC_ALL");
    }
    qputenv("LC_TIME", "pt_BR.UTF-8");
}

int runWindow(QApplication& app, const QString& dataDir) {
    DataFolderLock lock(dataDir);
    if (!lock.tryLock()) {
        QMessageBox::critical(nullptr, app.applicationName(), lock.message());
        return 1;
    }
    StoreLock storeLock(StoreLocation::current());
    if (!storeLock.tryLock()) {
        QMessageBox::critical(nullptr, app.applicationName(), storeLock.message());
        return 1;
    }
    if (!storeLock.notice().isEmpty())
        QTextStream(stderr) << storeLock.notice() << Qt::endl;
    TADO ado;
    const TADO::StartResult started = ado.start(dataDir);
    if (!started.ok) {
        QMessageBox::critical(nullptr, app.applicationName(), started.error);
        return 1; // the program does not run without its data
    }
    for (const QString& w : started.warnings)
        QMessageBox::warning(nullptr, app.applicationName(), w);
    StationRegistry registry(StoreLocation::current(), dataDir, VersionInfo::current()); // row and heartbeat
    registry.start();
    ModemManual::ensure(DataDir::current()); // the manual the modem pages open
    WheelTranslator wheel;
    app.installEventFilter(&wheel);
    TfPrincipal window(&ado);
    TfImp imp(&ado); // the report window, hidden, kept for the run
    // A page that cannot be read stops what needed it; the operator reads why once the event is over.
    for (Dataset* d : ado.queryDatasets() + ado.tableDatasets())
        QObject::connect(
            d, &Dataset::readError, &window,
            [&](const QString& e) {
                QMessageBox::critical(&window, app.applicationName(), Integrity::readErrorText(e));
            },
            Qt::QueuedConnection);
    IntegrityCheck check; // PRAGMA quick_check off the window thread; a large file takes seconds
    QObject::connect(&check, &IntegrityCheck::finished, &window, [&](const QStringList& problems) {
        if (!problems.isEmpty())
            QMessageBox::critical(&window, app.applicationName(), Integrity::damagedText(problems));
    });
    if (!ado.store().isPostgres()) // the server keeps its own pages sound
        check.start(ado.databasePath());
    window.show();
    QTimer::singleShot(0, &window, &TfPrincipal::checkScreenSize);
    return app.exec();
}
} // namespace

int main(int argc, char** argv) {
    const QStringList args = rawArguments(argc, argv);
    CommandLine::Parsed parsed = CommandLine::parse(args);
    if (!parsed.error.isEmpty()) { // one line on stderr, said before Qt starts (and prints its own warnings)
        QTextStream out(stdout);
        QTextStream err(stderr);
        return CommandLine::run(parsed, out, err);
    }
    const bool headless = !parsed.command.isEmpty();
    // Commands run without a display (cron, ssh): drawing reports needs no screen.
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!headless)
        useRegionalSystemDates();
    // The e-mail preview's browser cannot use its sandbox as root (CI, containers).
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName("VESTRAL_SMS");
    QApplication::setStyle("Fusion");
    RegionalFormats::install();
    // Qt's own texts (message box buttons, print and file dialogs) in Brazilian Portuguese too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    QtTextGaps qtTextGaps; // asked before the catalogue: the few texts it lacks
    QApplication::installTranslator(&qtTextGaps);

    parsed.dataDir = DataDir::resolve(parsed.dataDir, QFileInfo(QApplication::applicationFilePath()).absolutePath());
    DataDir::setCurrent(parsed.dataDir);
    if (parsed.command != "--help" && parsed.command != "--version") {
        // --database, else VESTRAL_DATABASE, else the data folder's vestral.conf; none: the SQLite file.
        QString storeError;
        StoreLocation::setCurrent(StoreLocation::choose(
            parsed.values.text("database"), qEnvironmentVariable("VESTRAL_DATABASE"), parsed.dataDir, &storeError));
        if (!storeError.isEmpty()) {
            QTextStream(stderr) << storeError << Qt::endl;
            return 2;
        }
        // The station's name among the programs sharing the store; the host name by default.
        if (parsed.values.isSet("station")) {
            const QString stationError = Station::validate(parsed.values.text("station"));
            if (!stationError.isEmpty()) {
                QTextStream(stderr) << stationError << Qt::endl;
                return 2;
            }
            Station::setCurrent(parsed.values.text("station"));
        }
    }
    ComMapping::setDataDir(DataDir::current()); // COM n -> portas/COMn of the data folder
    if (headless) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return CommandLine::run(parsed, out, err);
    }
    return runWindow(app, parsed.dataDir);
}
