#pragma once

#include <QMenu>

class QAction;

// The tray icon's context menu; it only announces the user's choice.
class TrayMenu : public QMenu {
    Q_OBJECT

public:
    explicit TrayMenu(QWidget *parent);

signals:
    void appQuit();
    void appShow();
    void appInfo();

private:
    QAction *exitAction = nullptr;
    QAction *aboutAction = nullptr;
    QAction *openAction = nullptr;
};
