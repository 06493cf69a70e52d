#pragma once

#include "Singleton.h"

#include <QString>
#include <QVariant>

// The settings file "UserSetting.ini" in the working directory, shared with other programs
// that keep keys of their own in it. Nothing is held between calls: the working directory
// may change while the utility runs, and other programs may change the file.
class UserSettings : public Singleton<UserSettings> {
public:
    // Invalid when the file or the key is absent or the file cannot be read.
    QVariant value(const QString &key) const;

    // Keeps every other key in the file. A write that does not reach the file leaves one line
    // of debugger output naming the file and the key; the caller is not told.
    void setValue(const QString &key, const QString &text) const;

private:
    friend class Singleton<UserSettings>;
    UserSettings() = default;
};
