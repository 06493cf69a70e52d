#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// What the companion stand-ins wrote about their starts, and their end: every program that
// reported itself is stopped when the object goes, so a test leaves no demo behind.
class CompanionRecords {
public:
    explicit CompanionRecords(const QString &file)
        : m_file(file) {}
    ~CompanionRecords();
    CompanionRecords(const CompanionRecords &) = delete;
    CompanionRecords &operator=(const CompanionRecords &) = delete;

    // The command line the utility gives the demo.
    static QStringList demoArguments();

    QString file() const { return m_file; }
    // Each start as the program recorded it, in order, for the program of this name.
    QVector<QJsonObject> starts(const QString &program);
    bool waitForStarts(const QString &program, int count, int timeoutMs = 10000);

private:
    QVector<QJsonObject> all();

    QString m_file;
};
