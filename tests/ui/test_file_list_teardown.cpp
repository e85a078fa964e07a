// A file list with its tooltips, shown and then destroyed with its window, under
// the undefined-behaviour sanitizer: a list being destroyed still sends viewport
// events, and a tooltip filter that then asked it for its viewport made a
// member call on an object no longer a list, which only this build reports.
#include "UiTestKit.h"

#include "ui/main/FileLists.h"

class TestFileListTeardown : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Round 0: the window goes with the list shown; round 1: the list alone
    // first; round 2: the tooltip helper before the list.
    void theTooltipsWorkAndTheListGoesQuietly() {
        for (int round = 0; round < 3; ++round) {
            auto* window = new QWidget;
            auto* list = new QListWidget(window);
            (new QVBoxLayout(window))->addWidget(list);
            list->addItem(new ui::FileListItem(QStringLiteral("a.txt"), 1536));
            new ui::FileListTips(list);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QPoint over = list->visualItemRect(list->item(0)).center();
            uitest::moveOver(list->viewport(), over);
            QCOMPARE(list->toolTip(), QStringLiteral("a.txt   1.50KB (1,536 bytes)"));
            if (round == 1) {
                delete list;
            } else if (round == 2) {
                delete list->findChild<ui::FileListTips*>();
                uitest::moveOver(list->viewport(), over);
            }
            delete window;
        }
    }
};

QTEST_MAIN(TestFileListTeardown)
#include "test_file_list_teardown.moc"
