// `--receive-sms` in a process of its own, so that a test can kill it in the middle of a reading:
// inbox_reader_child DATA_DIR. Prints what the command prints and exits with its code.
#include "modem/ComMapping.h"
#include "sms/SmsCommands.h"
#include "store/TADO.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    ComMapping::setDataDir(dir);
    TADO ado;
    if (!ado.start(dir).ok)
        return 1;
    QTextStream out(stdout);
    QTextStream err(stderr);
    return SmsCommands::receiveSms(&ado, out, err);
}
