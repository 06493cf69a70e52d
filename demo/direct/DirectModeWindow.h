#pragma once

#include <QWidget>

// The demo's one window on the desktop while the headset shows the scene in direct mode: it
// says where the scene is, and ends the demo when it is closed or Esc is pressed in it.
class DirectModeWindow : public QWidget {
    Q_OBJECT
public:
    explicit DirectModeWindow(const QString &text, QWidget *parent = nullptr);

signals:
    // `why` tells the user, on the demo's standard error, how the window ended it.
    void closed(const QString &why);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_closedBy = QStringLiteral("its window was closed");
};
