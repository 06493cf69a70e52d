#include "CompanionRecords.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <csignal>

CompanionRecords::~CompanionRecords() {
    for (const QJsonObject &record : all())
        ::kill(static_cast<pid_t>(record.value("pid").toInt()), SIGTERM);
}

QStringList CompanionRecords::demoArguments() {
    return {"-screen-fullscreen", "1",    "-screen-height", "1080",
            "-screen-width",      "1920", "-adapter",       "1"};
}

QVector<QJsonObject> CompanionRecords::starts(const QString &program) {
    QVector<QJsonObject> matching;
    for (const QJsonObject &record : all()) {
        if (record.value("program").toString() == program)
            matching.append(record);
    }
    return matching;
}

bool CompanionRecords::waitForStarts(const QString &program, int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return starts(program).size() >= count; }, timeoutMs);
}

QVector<QJsonObject> CompanionRecords::all() {
    QVector<QJsonObject> records;
    QFile in(m_file);
    if (!in.open(QIODevice::ReadOnly))
        return records;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            records.append(document.object());
    }
    return records;
}
