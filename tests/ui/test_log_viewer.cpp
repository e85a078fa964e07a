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

    // Opens the main window on the log folder holding the log files named
    // (in the order given, not name order; dates alone stand for a day's
    // log), then the viewer from the menu.
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

    // With no log the viewer is empty and opens nothing. A file named without
    // a date shows its tail and opens nothing when clicked (".../Log
    // Velmorado htm.htm" does not exist: no opener is even asked).
    void withoutADatedLogNothingOpens() {
        openWithLogs({});
        QVERIFY(labels().isEmpty());
        QVERIFY(viewer()->findChild<QLabel*>("Label")->isHidden());
        QCOMPARE(viewer()->windowTitle(), "Check Logs - [Back to Velmorado: close] ->");
        window.reset();
        openWithLogs({"Log Velmorado.htm"});
        QCOMPARE(labels().size(), 1);
        QCOMPARE(labels()[0]->text(), "htm");
        click(labels()[0]);
        QVERIFY(opener->opened.isEmpty() && d->shown.isEmpty());
    }

    // Rows of four at the hidden buttons' left edges, in date order; only
    // the newest is purple and opened, and the first opening leaves the main
    // window alone. The scroll range is fixed and scrolling moves every label.
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
        QWidget* v = viewer();
        QCOMPARE(l[1]->x(), child<QWidget>(v, "Label1")->x());
        QCOMPARE(l[3]->pos(), QPoint(child<QWidget>(v, "Label3")->x(), l[0]->y()));
        QCOMPARE(l[4]->pos(), l[0]->pos() + QPoint(0, 30));
        QCOMPARE(std::count_if(l.begin(), l.end(), purple), 1);
        QVERIFY(purple(l[4]) && l[4]->font().underline());
        QCOMPARE(opener->opened, QStringList{logs + '/' + logOf("2026-12-05")});
        QVERIFY(!minimised());
        auto* bar = child<QScrollBar>(v, "VScroll1");
        QCOMPARE(bar->maximum(), 2800 - v->height());
        const int top = l[4]->y();
        bar->setValue(10);
        QCOMPARE(l[4]->y(), top - 10);
        QVERIFY(l[4]->isVisible());
    }

    // A click opens its log, turns it purple and minimises the main window,
    // which closing the viewer restores.
    void aClickOpensItsLogAndMinimisesTheMainWindowWhichClosingRestores() {
        openWithLogs({"2026-11-30", "2026-12-01"});
        QLabel* older = labels()[0];
        QVERIFY(!purple(older));
        click(older);
        QVERIFY(purple(older));
        QCOMPARE(opener->opened.last(), logs + '/' + logOf("2026-11-30"));
        QVERIFY(minimised());
        viewer()->close();
        QVERIFY(!minimised());
    }

    // Opened again (F1) while open, the viewer does not reload; closed, the
    // File menu's twin builds it afresh.
    void aSecondOpeningDoesNotReload() {
        openWithLogs({"2026-12-01"});
        QWidget* first = viewer();
        QVERIFY(writeFile(logs + '/' + logOf("2026-12-02"), "<html/>"));
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_F1);
        QVERIFY(viewer() == first);
        QCOMPARE(labels().size(), 1);
        QCOMPARE(opener->opened.size(), 1);
        QVERIFY(minimised());
        viewer()->close();
        QTRY_VERIFY(!viewer());
        entry(w, "mnuFichierVoirLogs")->trigger();
        QCOMPARE(labels().size(), 2);
    }

    // Removing the purple log, answered No then Yes, hides its label for
    // good; no other turns purple.
    void removingThePurpleLogHidesItAndNoOtherTurnsPurple() {
        openWithLogs({"2026-12-01", "2026-12-02"});
        QLabel* newest = labels()[1];
        QVERIFY(purple(newest));
        auto* menu = child<QMenu>(viewer(), "mnuSupprimer");
        auto* remove = child<QAction>(viewer(), "mnuSupprimerLog");
        QTest::mouseClick(newest, Qt::RightButton);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(remove->text(), "Remove Log '2026-12-02'");
        QCOMPARE(child<QAction>(viewer(), "mnuAnnuler")->text(), "Cancel");
        menu->hide();
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
