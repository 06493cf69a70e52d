#include "TrayMenu.h"

#include <QAction>
#include <QIcon>

TrayMenu::TrayMenu(QWidget *parent)
    : QMenu(parent) {
    exitAction = new QAction(QIcon(":/image/image/close.png"), "exit", this);
    aboutAction = new QAction(QIcon(":/image/image/info.png"), "about", this);
    openAction = new QAction(QIcon(":/image/image/home.png"), "open", this);

    addAction(openAction);
    addAction(aboutAction);
    addSeparator();
    addAction(exitAction);

    connect(openAction, &QAction::triggered, this, &TrayMenu::appShow);
    connect(aboutAction, &QAction::triggered, this, &TrayMenu::appInfo);
    connect(exitAction, &QAction::triggered, this, &TrayMenu::appQuit);
}
