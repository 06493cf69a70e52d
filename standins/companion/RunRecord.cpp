#include "RunRecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

bool RunRecord::append(const QString &file, const QString &name, const QStringList &command,
                       const QString &folder) {
    QJsonObject record{
        {QStringLiteral("program"), name},
        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
        {QStringLiteral("path"), command.value(0)},
        {QStringLiteral("arguments"), QJsonArray::fromStringList(command.mid(1))},
        {QStringLiteral("workingDirectory"), folder},
    };
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // One write per line: several companions may append to the same file at once.
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    return out.write(line) == line.size();
}
