#include "UserSettings.h"

#include "Platform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

QString settingsFilePath() {
    return QDir::currentPath() + QStringLiteral("/UserSetting.ini");
}

QByteArray fileContents(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// QSettings keeps only the first error it meets, so the FormatError of a damaged file hides
// an AccessError of the write that follows. Qt writes only what it can parse again, so a
// write that lands always changes a damaged file: unchanged bytes mean it did not land.
bool writeReachedFile(QSettings::Status status, const QString &path, const QByteArray &before) {
    if (status == QSettings::FormatError)
        return fileContents(path) != before;
    return status == QSettings::NoError;
}

void reportLostWrite(const QString &path, const QString &key) {
    platform::writeDebugOutput(QStringLiteral("UserSetting.ini: could not write \"%1\" to %2")
                                   .arg(key, path)
                                   .toStdString());
}

} // namespace

QVariant UserSettings::value(const QString &key) const {
    const QSettings settings(settingsFilePath(), QSettings::IniFormat);
    return settings.value(key, QVariant());
}

void UserSettings::setValue(const QString &key, const QString &text) const {
    const QString path = settingsFilePath();
    // QSettings refuses an empty key without setting an error.
    if (key.isEmpty()) {
        reportLostWrite(path, key);
        return;
    }
    const QByteArray before = fileContents(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(key, QVariant(text));
    settings.sync();
    if (!writeReachedFile(settings.status(), path, before))
        reportLostWrite(path, key);
}
