#include "optout/OptOutCommand.h"

#include "optout/OptOutAddress.h"
#include "optout/SuppressionList.h"
#include "store/Dataset.h"
#include "store/TADO.h"
#include "store/TimeText.h"

namespace OptOutCommand {
namespace {

// One line of output whatever the text holds.
QString oneLine(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    return text;
}

QString noAddressText(const QString& address) {
    return QStringLiteral("Endereço inválido: \"%1\" (use um número de telefone ou um e-mail)").arg(oneLine(address));
}

} // namespace

int add(TADO* ado, const QString& address, const QString& note, QTextStream& out, QTextStream& err) {
    const OptOutAddress a = OptOutAddress::from(address);
    if (!a.isUsable()) {
        err << noAddressText(address) << Qt::endl;
        return 2;
    }
    const SuppressionList::AddResult r =
        SuppressionList::add(ado->database(), address, SuppressionList::kOrigemOperador, note.trimmed());
    if (!r.ok()) {
        err << r.error << Qt::endl;
        return 1;
    }
    if (r.already > 0) {
        out << QStringLiteral("Já descadastrado: %1").arg(oneLine(a.key)) << Qt::endl;
        return 0;
    }
    QString line = QStringLiteral("Descadastrado: %1").arg(oneLine(a.key));
    if (a.kind == OptOutAddress::Kind::AsWritten)
        line += QStringLiteral(" (não normalizado)");
    out << line << QStringLiteral(" - contatos desativados: %1").arg(r.contactsDisabled) << Qt::endl;
    return 0;
}

int remove(TADO* ado, const QString& address, QTextStream& out, QTextStream& err) {
    const OptOutAddress a = OptOutAddress::from(address);
    if (!a.isUsable()) {
        err << noAddressText(address) << Qt::endl;
        return 2;
    }
    QString error;
    switch (SuppressionList::remove(ado, address, QString(), &error)) {
    case SuppressionList::Removal::Removed:
        out << QStringLiteral("Removido da lista de descadastrados: %1").arg(oneLine(a.key)) << Qt::endl;
        return 0;
    case SuppressionList::Removal::NotFound:
        err << QStringLiteral("Não está na lista de descadastrados: %1").arg(oneLine(a.key)) << Qt::endl;
        return 1;
    case SuppressionList::Removal::Failed:
        break;
    }
    err << error << Qt::endl;
    return 1;
}

int list(TADO* ado, QTextStream& out, QTextStream& err) {
    QList<SuppressionList::Entry> rows;
    QString error;
    if (!SuppressionList::list(ado->database(), QString(), &rows, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    for (const SuppressionList::Entry& e : std::as_const(rows)) {
        QString address = oneLine(e.endereco);
        if (!e.normalizado)
            address += QStringLiteral(" (não normalizado)");
        out << address << '\t' << TimeText::storedStampShown(e.data) << '\t' << e.origem << '\t' << oneLine(e.entrada)
            << '\t' << oneLine(e.texto) << Qt::endl;
    }
    return 0;
}

} // namespace OptOutCommand
