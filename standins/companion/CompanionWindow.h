#pragma once

#include <QLabel>

// What a person sees of a companion stand-in: its name, the command line it was given and
// the folder it runs in.
class CompanionWindow : public QLabel {
public:
    CompanionWindow(const QString &name, const QStringList &arguments, const QString &folder);
};
