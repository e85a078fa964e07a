// The log viewer from the main window's menu, with a recording document opener.
#include "UiTestKit.h"

#include "ui/common/DocumentOpener.h"
#include "ui/dialogs/frmVoirLogs.h"

using namespace uitest;

const auto purple = [](const QLabel* l) { return l->styleSheet().contains("128, 0, 128"); };

class TestLogViewer : public WindowTest {
    Q_OBJECT
    ui::RecordingOpener* opener = nullptr;
    QString logs;
    QWidget* viewer = nullptr;
    QString logOf(const QString& date) const { return logs + "/Log Velmorado " + date + ".htm"; }
    // Opens the viewer on logs written in the order given (a date: that day's
    // log), the main window put in the tray first when told; returns its date
    // labels by index, those hidden included.
    QList<QLabel*> openWithLogs(const QStringList& names, bool mainAway = false) {
        for (const QString& name : names) {
            writeFile(name.startsWith("20") ? logOf(name) : logs + '/' + name, "<html/>");
        }
        open({}, "[Logs]\r\nPathLogs=" + logs.toUtf8() + "\r\n");
        if (mainAway) {
            w->minimiseToTray();
            w->hide(); // what minimising does where there is a tray
        }
        entry(w, "mnuVoirLogs")->trigger();
        const QWidgetList tops = QApplication::topLevelWidgets();
        const auto it = std::ranges::find_if(
            tops, [](QWidget* t) { return t->objectName() == "frmVoirLogs" && t->isVisible(); });
        viewer = it == tops.end() ? nullptr : *it;
        QList<QLabel*> used = viewer ? viewer->findChildren<QLabel*>("Label") : QList<QLabel*>();
        used.removeIf([](QLabel* l) { return !l->property("index").isValid(); });
        std::ranges::sort(used, {}, [](QLabel* l) { return l->property("index").toInt(); });
        return used;
    }

private Q_SLOTS:
    void init() {
        fresh();
        logs = pf->folder("logs");
        ui::setDocumentOpener(
            std::unique_ptr<ui::DocumentOpener>(opener = new ui::RecordingOpener));
    }
    // The daily logs in date order, no other file (a kept copy of a log, a
    // summary, a date that does not exist); only the newest is purple and
    // opened, and the first opening leaves the main window alone. A click opens another log,
    // turns it purple and minimises the main window, which closing restores.
    void logsFillRowsOfFourInDateOrderAndTheNewestOpens() {
        const QList<QLabel*> l = openWithLogs(
            {"2026-12-05", "2026-12-01", "2026-12-04", "2026-12-02", "2026-12-03", "notes.htm",
             "Log Velmorado 2026-12-01 (kept copy).htm", "Log Velmorado.htm",
             "Log Velmorado 2025 summary.htm", "Log Velmorado 2026-02-30.htm"});
        QStringList dates;
        std::ranges::transform(l, std::back_inserter(dates), &QLabel::text);
        QCOMPARE(dates, (QStringList{"2026-12-01", "2026-12-02", "2026-12-03", "2026-12-04",
                                     "2026-12-05"}));
        QCOMPARE(std::count_if(l.begin(), l.end(), purple), 1);
        QVERIFY(purple(l[4]) && l[4]->font().underline());
        QCOMPARE(opener->opened, QStringList{logOf("2026-12-05")});
        QVERIFY(!w->isMinimized());
        QTest::mouseClick(l[0], Qt::LeftButton);
        QVERIFY(purple(l[0]));
        QCOMPARE(opener->opened.last(), logOf("2026-12-01"));
        QVERIFY(w->isMinimized());
        viewer->close();
        QVERIFY(!w->isMinimized());
    }
    // Closing the viewer brings back the main window its click put away, also
    // once minimising has hidden it in the tray (here hidden by hand: the
    // offscreen platform has no tray); one the user had put away stays.
    void closingBringsBackWhatAClickPutAway_data() {
        QTest::addColumn<bool>("awayBefore");
        QTest::newRow("put away by a click") << false;
        QTest::newRow("put in the tray before") << true;
    }
    // A log folder named relative to the current folder (a parameters file
    // edited by hand): the log is handed on as a full path, never as text
    // that the desktop could take for a web address.
    void aRelativeLogFolderOpensItsLogsAsFiles() {
        writeFile(logOf("2026-12-05"), "<html/>");
        const QString here = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QFileInfo(logs).absolutePath()));
        open({}, "[Logs]\r\nPathLogs=logs\r\n");
        entry(w, "mnuVoirLogs")->trigger();
        QDir::setCurrent(here);
        QCOMPARE(opener->opened, QStringList{logOf("2026-12-05")});
    }
    void closingBringsBackWhatAClickPutAway() {
        QFETCH(bool, awayBefore);
        const QList<QLabel*> l = openWithLogs({"2026-12-01", "2026-12-02"}, awayBefore);
        QCOMPARE(l.size(), 2);
        QTest::mouseClick(l[0], Qt::LeftButton);
        QCOMPARE(opener->opened.last(), logOf("2026-12-01"));
        QVERIFY(w->isMinimized());
        w->hide(); // what minimising does where there is a tray
        viewer->close();
        QCOMPARE(w->isVisible(), !awayBefore);
        QCOMPARE(w->isMinimized(), awayBefore);
    }
    // The remove acts on the log right-clicked, open (purple) or not, and on
    // no other file; No keeps it, Yes hides its label for good, and no other
    // turns purple.
    void theRemoveActsOnTheLogRightClicked() {
        const QString copy = "Log Velmorado 2026-12-02 (kept copy).htm";
        const QList<QLabel*> l = openWithLogs({"2026-12-01", "2026-12-02", "2026-12-03", copy});
        QCOMPARE(l.size(), 3);
        QVERIFY(purple(l[2]));
        for (const int i : {1, 2}) {
            QTest::mouseClick(l[i], Qt::RightButton);
            child<QMenu>(viewer, "mnuSupprimer")->hide();
            answer("no");
            entry(viewer, "mnuSupprimerLog")->trigger();
            QCOMPARE(last().text, "Remove Log '" + l[i]->text() + "'");
            QVERIFY(QFile::exists(logOf(l[i]->text())) && l[i]->isVisible());
            answer("yes");
            entry(viewer, "mnuSupprimerLog")->trigger();
            QVERIFY(!QFile::exists(logOf(l[i]->text())) && l[i]->isHidden());
        }
        QCOMPARE(QDir(logs).entryList(QDir::Files),
                 QStringList({"Log Velmorado 2026-12-01.htm", copy}));
        QVERIFY(l[0]->isVisible() && !purple(l[0]));
        child<QScrollBar>(viewer, "VScroll1")->setValue(10);
        QVERIFY(l[1]->isHidden() && l[2]->isHidden());
    }
};

QTEST_MAIN(TestLogViewer)
#include "test_log_viewer.moc"
