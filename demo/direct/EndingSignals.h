#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP brought from their handler to the event loop through a pipe, so
// that the demo ends through its own ending (the CRTC's table given back, the lease freed)
// instead of dying with the display still warm. One at a time in a process.
class EndingSignals : public QObject {
    Q_OBJECT
public:
    explicit EndingSignals(QObject *parent = nullptr);
    // A signal caught but not yet told is raised again once the defaults are back: nothing is
    // left to end it otherwise.
    ~EndingSignals() override;

signals:
    // `name` as in "SIGTERM".
    void arrived(const QString &name);

private:
    void readSignals();

    QSocketNotifier *m_notifier = nullptr;
};
