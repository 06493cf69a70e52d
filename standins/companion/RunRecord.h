#pragma once

#include <QString>
#include <QStringList>

// One line of JSON per start, appended to the file that $HLX_COMPANION_RECORD names, so that
// a test can see what each companion was started with.
class RunRecord {
public:
    // `command` is the command line as received, the program's path as given first.
    static bool append(const QString &file, const QString &name, const QStringList &command,
                       const QString &folder);
};
