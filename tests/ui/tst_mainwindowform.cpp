#include "MainWindow.h"
#include "ui_MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <xcb/xcb.h>

#include "X11Client.h"

namespace {
constexpr xcb_keysym_t kEscape = 0xff1b;
}

// The form as a user and the slot wiring see it: names, texts, geometry and menus.
class MainWindowFormTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        window.reset(new MainWindow);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    }

    void cleanup() { window.reset(); }

    void titleAndIcon() {
        QCOMPARE(window->windowTitle(), QString("HLX_Configuration_Utility"));
        QCOMPARE(x.title(xcb_window_t(window->winId())), QString("HLX_Configuration_Utility"));
        QCOMPARE(window->objectName(), QString("MainWindow"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->windowIcon().pixmap(80).toImage().convertToFormat(QImage::Format_RGB32),
                 QImage(":/new/icon/imges/myicon.png").convertToFormat(QImage::Format_RGB32));
    }

    // What a window manager reads decides whether the user can resize the window.
    void sizeIsFixed() {
        QCOMPARE(window->size(), QSize(400, 490));
        QCOMPARE(window->minimumSize(), QSize(400, 490));
        QCOMPARE(window->maximumSize(), QSize(400, 490));
        window->resize(600, 700);
        QCOMPARE(window->size(), QSize(400, 490));
        QCOMPARE(x.rootGeometry(xcb_window_t(window->winId())).size(), QSize(400, 490));

        const QPair<QSize, QSize> hints = x.sizeHints(xcb_window_t(window->winId()));
        QCOMPARE(hints.first, QSize(400, 490));
        QCOMPARE(hints.second, QSize(400, 490));
    }

    void centralWidgetsInCreationOrder() {
        QWidget *central = window->centralWidget();
        QCOMPARE(central->objectName(), QString("centralWidget"));
        QStringList names;
        for (QObject *child : central->children())
            names << child->objectName();
        QCOMPARE(names, QStringList({"line", "label_HMD_State", "label_image_HMD", "label_9",
                                     "line_3", "layoutWidget"}));
    }

    void actionsInCreationOrder() {
        QStringList names;
        for (QObject *child : window->children()) {
            if (qobject_cast<QAction *>(child) != nullptr)
                names << child->objectName();
        }
        QCOMPARE(
            names.mid(0, 11),
            QStringList({"actionAbout", "actionClose", "actionDisplayMode", "actionStopRuntime",
                         "actionStartRuntime", "actionUpdateFireware", "actionDiagnoticLog",
                         "actionDisableFirmwareWarnnings", "actionDisableSystemTrayNotifications",
                         "actionDisableEyeshield", "actionEnableEyeshieldLevel_1"}));
    }

    void widgetGeometryAndLook_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pointSize");
        QTest::newRow("line") << "line" << QRect(10, 380, 381, 16) << QString() << -1;
        QTest::newRow("status") << "label_HMD_State" << QRect(10, 310, 381, 41) << "No VR HMD"
                                << 15;
        QTest::newRow("picture") << "label_image_HMD" << QRect(20, 30, 357, 237) << "?" << 90;
        QTest::newRow("heading") << "label_9" << QRect(10, 0, 41, 20) << "Device"
                                 << QFont().pointSize();
        QTest::newRow("rule") << "line_3" << QRect(50, 0, 341, 20) << QString() << -1;
        QTest::newRow("buttons") << "layoutWidget" << QRect(10, 400, 382, 25) << QString() << -1;
    }

    void widgetGeometryAndLook() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(int, pointSize);
        auto *widget =
            window->centralWidget()->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->geometry(), geometry);
        if (auto *frame = qobject_cast<QFrame *>(widget);
            frame && !qobject_cast<QLabel *>(widget)) {
            QCOMPARE(frame->frameShape(), QFrame::HLine);
            QCOMPARE(frame->frameShadow(), QFrame::Sunken);
        }
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            QCOMPARE(label->text(), text);
            QCOMPARE(label->font().pointSize(), pointSize);
            QVERIFY(!label->autoFillBackground());
        }
    }

    void labelFontsAndAlignment() {
        const auto *status = window->findChild<QLabel *>("label_HMD_State");
        const auto *picture = window->findChild<QLabel *>("label_image_HMD");
        const auto *heading = window->findChild<QLabel *>("label_9");
        QCOMPARE(int(status->alignment()), 132);
        QCOMPARE(int(picture->alignment()), 132);
        QCOMPARE(heading->alignment(), QLabel().alignment());
        QVERIFY(picture->font().bold());
        QCOMPARE(picture->font().weight(), 75);
        QVERIFY(!status->font().bold());
        QCOMPARE(status->font().family(), QFont().family());
    }

    void buttonRow() {
        auto *row = window->findChild<QWidget *>("layoutWidget");
        auto *layout = qobject_cast<QHBoxLayout *>(row->layout());
        QVERIFY(layout != nullptr);
        QCOMPARE(layout->objectName(), QString("horizontalLayout"));
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
        QCOMPARE(layout->count(), 3);

        auto *showDemo = qobject_cast<QPushButton *>(layout->itemAt(0)->widget());
        auto *close = qobject_cast<QPushButton *>(layout->itemAt(2)->widget());
        QVERIFY(showDemo && close);
        QCOMPARE(showDemo->objectName(), QString("btnShowDemo"));
        QCOMPARE(showDemo->text(), QString("ShowDemo"));
        QCOMPARE(close->objectName(), QString("btnClose"));
        QCOMPARE(close->text(), QString("Close"));
        QCOMPARE(layout->stretch(0), 0);
        QCOMPARE(layout->stretch(2), 0);

        QSpacerItem *spacer = layout->itemAt(1)->spacerItem();
        QVERIFY(spacer != nullptr);
        QCOMPARE(spacer->sizeHint(), QSize(218, 20));
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
        QVERIFY(showDemo->geometry().right() < close->geometry().left());
    }

    void menus() {
        QMenuBar *bar = window->menuBar();
        QCOMPARE(bar->objectName(), QString("menuBar"));
        QCOMPARE(bar->actions().size(), 1);
        auto *tools = window->findChild<QMenu *>("menuTools");
        QCOMPARE(bar->actions().first(), tools->menuAction());
        QCOMPARE(tools->title(), QString("Tools"));

        const QList<QAction *> toolEntries = tools->actions();
        QCOMPARE(toolEntries.size(), 3);
        QVERIFY(toolEntries[0]->isSeparator());
        QVERIFY(toolEntries[1]->isSeparator());
        auto *eyeshield = window->findChild<QMenu *>("menuEyeshield");
        QCOMPARE(toolEntries[2], eyeshield->menuAction());
        QCOMPARE(eyeshield->title(), QString("Eyeshield"));

        auto *enable = window->findChild<QMenu *>("menuEnableEyeshield");
        QCOMPARE(enable->title(), QString("EnableEyeshield"));
        QCOMPARE(eyeshield->actions(),
                 QList<QAction *>({enable->menuAction(), action("actionDisableEyeshield")}));
        QCOMPARE(enable->actions(), QList<QAction *>({action("actionEnableEyeshieldLevel_1")}));
        QCOMPARE(action("actionDisableEyeshield")->text(), QString("DisableEyeshield"));
        QCOMPARE(action("actionEnableEyeshieldLevel_1")->text(), QString("Level 1"));
    }

    void hiddenActionsKeepTheirTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("about") << "actionAbout"
                               << "About";
        QTest::newRow("close") << "actionClose"
                               << "Close";
        QTest::newRow("display mode") << "actionDisplayMode"
                                      << "DisplayMode";
        QTest::newRow("stop runtime") << "actionStopRuntime"
                                      << "StopRuntime";
        QTest::newRow("start runtime") << "actionStartRuntime"
                                       << "StartRuntime";
        QTest::newRow("firmware") << "actionUpdateFireware"
                                  << "UpdateFirmware";
        QTest::newRow("log") << "actionDiagnoticLog"
                             << "DiagnosticLog";
        QTest::newRow("warnings") << "actionDisableFirmwareWarnnings"
                                  << "DisableFirmwareWarnnings";
        QTest::newRow("notifications") << "actionDisableSystemTrayNotifications"
                                       << "DisableSystemTrayNotifications";
    }

    void hiddenActionsKeepTheirTexts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QAction *entry = action(name);
        QVERIFY(entry != nullptr);
        QCOMPARE(entry->text(), text);
        QVERIFY2(entry->associatedWidgets().isEmpty(), "no menu or tool bar shows this action");
        QVERIFY(entry->icon().isNull());
        QVERIFY(entry->shortcut().isEmpty());
        QVERIFY(!entry->isCheckable());
    }

    void toolBarAndStatusBarAreEmpty() {
        auto *toolBar = window->findChild<QToolBar *>("mainToolBar");
        QVERIFY(toolBar != nullptr);
        QCOMPARE(window->toolBarArea(toolBar), Qt::TopToolBarArea);
        QVERIFY(toolBar->actions().isEmpty());
        QCOMPARE(window->statusBar()->objectName(), QString("statusBar"));
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
    }

    // Opens the menus with the pointer, as a person would: the two leading separators
    // collapse, so "Tools" shows "Eyeshield" alone, and its submenu lists its two entries.
    void menusOpenWithThePointer() {
        auto *tools = window->findChild<QMenu *>("menuTools");
        auto *eyeshield = window->findChild<QMenu *>("menuEyeshield");
        auto *enable = window->findChild<QMenu *>("menuEnableEyeshield");
        QMenuBar *bar = window->menuBar();

        x.click(bar->mapToGlobal(bar->actionGeometry(tools->menuAction()).center()));
        QTRY_VERIFY(tools->isVisible());
        QVERIFY(tools->actionGeometry(tools->actions()[0]).isEmpty());
        QVERIFY(tools->actionGeometry(tools->actions()[1]).isEmpty());
        QVERIFY(!tools->actionGeometry(eyeshield->menuAction()).isEmpty());

        x.click(tools->mapToGlobal(tools->actionGeometry(eyeshield->menuAction()).center()));
        QTRY_VERIFY(eyeshield->isVisible());
        QVERIFY(eyeshield->actionGeometry(enable->menuAction()).top() <
                eyeshield->actionGeometry(action("actionDisableEyeshield")).top());

        x.click(eyeshield->mapToGlobal(eyeshield->actionGeometry(enable->menuAction()).center()));
        QTRY_VERIFY(enable->isVisible());
        QCOMPARE(enable->actions().size(), 1);
        x.pressKey(kEscape);
        x.pressKey(kEscape);
        x.pressKey(kEscape);
        QTRY_VERIFY(!tools->isVisible());
    }

    void existingObjectNameIsKept() {
        QMainWindow plain;
        plain.setObjectName("Renamed");
        Ui::MainWindow form;
        form.setupUi(&plain);
        QCOMPARE(plain.objectName(), QString("Renamed"));
        QCOMPARE(plain.windowTitle(), QString("MainWindow"));
    }

private:
    QAction *action(const QString &name) const { return window->findChild<QAction *>(name); }

    testsupport::X11Client x;
    QScopedPointer<MainWindow> window;
};

QTEST_MAIN(MainWindowFormTest)
#include "tst_mainwindowform.moc"
