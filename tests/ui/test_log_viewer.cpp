// The log viewer over real log folders, opened from the main window's menu,
// with a recording document opener in place of the desktop.
#include "UiTestKit.h"

#include "ui/common/DocumentOpener.h"
#include "ui/dialogs/frmVoirLogs.h"

#include <QMenu>
#include <QScrollBar>

using namespace uitest;

namespace {

bool purple(const QLabel* label) {
    return label->styleSheet().contains("128, 0, 128");
}

} // namespace

class TestLogViewer : public WindowTest {
    Q_OBJECT

    ui::RecordingOpener* opener = nullptr;
    QString logs;

    // Opens the viewer on log files written in the order given (a date: that day's log).
    void openWithLogs(const QStringList& names) {
        for (const QString& name : names) {
            QVERIFY(
                writeFile(logs + '/' + (name.startsWith("20") ? logOf(name) : name), "<html/>"));
        }
        QVERIFY(open({}, "[Logs]\r\nPathLogs=" + logs.toUtf8() + "\r\n"));
        entry(w, "mnuVoirLogs")->trigger();
        QVERIFY(viewer());
    }
    QString logOf(const QString& date) const { return "Log Velmorado " + date + ".htm"; }
    QWidget* viewer() const {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "frmVoirLogs" && top->isVisible()) {
                return top;
            }
        }
        return nullptr;
    }
    // The date labels by index, those hidden included.
    QList<QLabel*> labels() const {
        QList<QLabel*> used;
        for (QLabel* l : viewer()->findChildren<QLabel*>("Label")) {
            if (l->property("index").isValid()) {
                used << l;
            }
        }
        std::sort(used.begin(), used.end(), [](QLabel* a, QLabel* b) {
            return a->property("index").toInt() < b->property("index").toInt();
        });
        return used;
    }
    bool minimised() const { return w->windowState() & Qt::WindowMinimized; }

private Q_SLOTS:
    void init() {
        fresh();
        logs = pf->folder("logs");
        auto recording = std::make_unique<ui::RecordingOpener>();
        opener = recording.get();
        ui::setDocumentOpener(std::move(recording));
    }
    void cleanup() {
        window.reset(); // closes the viewer with it
        ui::setDocumentOpener(nullptr);
    }

    // The logs in date order; only the newest is purple and opened, and the
    // first opening leaves the main window alone. A click opens another log,
    // turns it purple and minimises the main window, which closing restores.
    void logsFillRowsOfFourInDateOrderAndTheNewestOpens() {
        openWithLogs(
            {"2026-12-05", "2026-12-01", "2026-12-04", "2026-12-02", "2026-12-03", "notes.htm"});
        const QList<QLabel*> l = labels();
        QStringList dates;
        for (QLabel* x : l) {
            dates << x->text();
        }
        QCOMPARE(dates, (QStringList{"2026-12-01", "2026-12-02", "2026-12-03", "2026-12-04",
                                     "2026-12-05"}));
        QCOMPARE(std::count_if(l.begin(), l.end(), purple), 1);
        QVERIFY(purple(l[4]) && l[4]->font().underline());
        QCOMPARE(opener->opened, QStringList{logs + '/' + logOf("2026-12-05")});
        QVERIFY(!minimised());
        click(l[0]);
        QVERIFY(purple(l[0]));
        QCOMPARE(opener->opened.last(), logs + '/' + logOf("2026-12-01"));
        QVERIFY(minimised());
        viewer()->close();
        QVERIFY(!minimised());
    }

    // Removing the purple log, answered No then Yes, hides its label for
    // good; no other turns purple.
    void removingThePurpleLogHidesItAndNoOtherTurnsPurple() {
        openWithLogs({"2026-12-01", "2026-12-02"});
        QLabel* newest = labels()[1];
        QVERIFY(purple(newest));
        auto* remove = child<QAction>(viewer(), "mnuSupprimerLog");
        QTest::mouseClick(newest, Qt::RightButton); // the label the menu acts on
        child<QMenu>(viewer(), "mnuSupprimer")->hide();
        answer("no");
        remove->trigger();
        QCOMPARE(last().text, "Remove Log '2026-12-02'");
        QVERIFY(QFile::exists(logs + '/' + logOf("2026-12-02")) && newest->isVisible());
        answer("yes");
        remove->trigger();
        QVERIFY(!QFile::exists(logs + '/' + logOf("2026-12-02")));
        QVERIFY(QFile::exists(logs + '/' + logOf("2026-12-01")));
        QVERIFY(newest->isHidden() && labels()[0]->isVisible() && !purple(labels()[0]));
        child<QScrollBar>(viewer(), "VScroll1")->setValue(10);
        QVERIFY(newest->isHidden());
    }
};

VELMORADO_UI_TEST_MAIN(TestLogViewer)
#include "test_log_viewer.moc"
