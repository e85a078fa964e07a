// A file list with its tooltips, shown and then destroyed with its window.
//
// This program is built with the undefined-behaviour sanitizer, stopping at
// the first report: while a list is being destroyed its viewport still sends
// events (it is hidden, then deleted), and a tooltip filter that asked the
// list for its viewport then made a member call on an object that was no
// longer a list. Without the sanitizer the call happened to work, so only
// this build sees the fault: it ends the program with a report.
#include "ui/main/FileLists.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QtTest>

class TestFileListTeardown : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theTooltipsWorkAndTheListGoesQuietly() {
        for (int round = 0; round < 3; ++round) {
            auto* window = new QWidget;
            auto* list = new QListWidget(window);
            (new QVBoxLayout(window))->addWidget(list);
            list->addItem(new ui::FileListItem(QStringLiteral("a.txt"), 1536));
            list->addItem(new ui::FileListItem(QStringLiteral("[x]"), -1));
            new ui::FileListTips(list);
            window->resize(300, 200);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            // The filter does its work while the list lives.
            const QPoint over = list->visualItemRect(list->item(0)).center();
            QMouseEvent move(QEvent::MouseMove, QPointF(over),
                             QPointF(list->viewport()->mapToGlobal(over)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &move);
            QCOMPARE(list->toolTip(), QStringLiteral("a.txt   1.50KB (1,536 bytes)"));

            // Round 0: the window goes with the list shown; round 1: the list
            // alone; round 2: the tooltip helper before the list.
            if (round == 0) {
                delete window;
            } else if (round == 1) {
                delete list;
                delete window;
            } else {
                delete list->findChild<ui::FileListTips*>();
                QApplication::sendEvent(list->viewport(), &move);
                delete window;
            }
        }
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TestFileListTeardown test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_file_list_teardown.moc"
