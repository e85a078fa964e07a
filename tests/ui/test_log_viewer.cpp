// The log viewer over real log folders, opened from the main window's menu,
// with a recording document opener in place of the desktop.
#include "UiTestKit.h"

#include "ui/common/DocumentOpener.h"
#include "ui/dialogs/frmVoirLogs.h"

#include <QMenu>
#include <QScrollBar>

using namespace uitest;

namespace {

const QString kPurple = QStringLiteral("128, 0, 128");

bool purple(const QLabel* label) {
    return label->styleSheet().contains(kPurple);
}

} // namespace

class TestLogViewer : public WindowTest {
    Q_OBJECT

    ui::RecordingOpener* opener = nullptr;
    QString logs;

    // Log files in the log folder, in the order given (not name order).
    void makeLogs(const QStringList& names) {
        for (const QString& name : names) {
            QVERIFY(writeFile(logs + "/" + name, "<html></html>"));
        }
    }
    bool openOnLogs() { return open({}, "[Logs]\r\nPathLogs=" + logs.toUtf8() + "\r\n"); }
    QWidget* viewer() const {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("frmVoirLogs") && top->isVisible()) {
                return top;
            }
        }
        return nullptr;
    }
    // The date labels by index, those hidden included.
    QList<QLabel*> labels() const {
        QList<QLabel*> all = viewer()->findChildren<QLabel*>(QStringLiteral("Label"));
        QList<QLabel*> used;
        for (QLabel* l : all) {
            if (l->property("index").isValid()) {
                used << l;
            }
        }
        std::sort(used.begin(), used.end(), [](QLabel* a, QLabel* b) {
            return a->property("index").toInt() < b->property("index").toInt();
        });
        return used;
    }
    QString logOf(const QString& date) const { return logs + "/Log Velmorado " + date + ".htm"; }
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

    void withNoLogTheViewerIsEmptyAndOpensNothing() {
        QVERIFY(openOnLogs());
        entry(w, "mnuVoirLogs")->trigger();
        QVERIFY(viewer());
        QVERIFY(labels().isEmpty());
        QVERIFY(viewer()->findChild<QLabel*>("Label")->isHidden());
        QVERIFY(opener->opened.isEmpty());
        QCOMPARE(viewer()->windowTitle(),
                 QStringLiteral("Check Logs - [Back to Velmorado: close] ->"));
    }

    void logsFillRowsOfFourInDateOrderAndTheNewestOpens() {
        makeLogs({"Log Velmorado 2026-12-05.htm", "Log Velmorado 2026-12-01.htm",
                  "Log Velmorado 2026-12-04.htm", "Log Velmorado 2026-12-02.htm",
                  "Log Velmorado 2026-12-03.htm", "notes.htm"});
        QVERIFY(openOnLogs());
        entry(w, "mnuVoirLogs")->trigger();
        const QList<QLabel*> l = labels();
        QCOMPARE(l.size(), 5);
        QStringList dates;
        for (QLabel* x : l) {
            dates << x->text();
        }
        QCOMPARE(dates, (QStringList{"2026-12-01", "2026-12-02", "2026-12-03", "2026-12-04",
                                     "2026-12-05"}));
        // Columns at the hidden buttons' left edges, the fifth on a new row.
        QWidget* v = viewer();
        QCOMPARE(l[1]->x(), child<QWidget>(v, "Label1")->x());
        QCOMPARE(l[3]->x(), child<QWidget>(v, "Label3")->x());
        QCOMPARE(l[3]->y(), l[0]->y());
        QCOMPARE(l[4]->x(), l[0]->x());
        QCOMPARE(l[4]->y(), l[0]->y() + 30);
        // Only the newest is purple and opened, and the first opening leaves
        // the main window alone.
        QCOMPARE(std::count_if(l.begin(), l.end(), purple), 1);
        QVERIFY(purple(l[4]));
        QVERIFY(l[4]->font().underline());
        QCOMPARE(opener->opened, QStringList{logOf("2026-12-05")});
        QVERIFY(!minimised());
        // The scroll range is fixed, and scrolling moves every label.
        auto* bar = child<QScrollBar>(v, "VScroll1");
        QCOMPARE(bar->maximum(), 2800 - v->height());
        const int top = l[4]->y();
        bar->setValue(10);
        QCOMPARE(l[4]->y(), top - 10);
        QVERIFY(l[4]->isVisible());
    }

    void aClickOpensItsLogAndMinimisesTheMainWindowWhichClosingRestores() {
        makeLogs({"Log Velmorado 2026-11-30.htm", "Log Velmorado 2026-12-01.htm"});
        QVERIFY(openOnLogs());
        entry(w, "mnuVoirLogs")->trigger();
        QLabel* older = labels()[0];
        QVERIFY(!purple(older));
        click(older);
        QVERIFY(purple(older));
        QCOMPARE(opener->opened.last(), logOf("2026-11-30"));
        QVERIFY(minimised());
        viewer()->close();
        QVERIFY(!minimised());
    }

    void aSecondOpeningDoesNotReload() {
        makeLogs({"Log Velmorado 2026-12-01.htm"});
        QVERIFY(openOnLogs());
        entry(w, "mnuVoirLogs")->trigger();
        QWidget* first = viewer();
        makeLogs({"Log Velmorado 2026-12-02.htm"});
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_F1); // the shortcut of mnuVoirLogs
        QVERIFY(viewer() == first);
        QCOMPARE(labels().size(), 1);
        QCOMPARE(opener->opened.size(), 1);
        QVERIFY(minimised());
        // Closed, the File menu's twin builds it afresh.
        viewer()->close();
        QTRY_VERIFY(!viewer());
        entry(w, "mnuFichierVoirLogs")->trigger();
        QCOMPARE(labels().size(), 2);
    }

    void aFileNamedWithoutADateShowsItsTailAndOpensNothing() {
        makeLogs({"Log Velmorado.htm"});
        QVERIFY(openOnLogs());
        entry(w, "mnuVoirLogs")->trigger();
        QCOMPARE(labels().size(), 1);
        QCOMPARE(labels()[0]->text(), QStringLiteral("htm"));
        click(labels()[0]);
        // ".../Log Velmorado htm.htm" does not exist: no opener is even asked.
        QVERIFY(opener->opened.isEmpty());
        QVERIFY(d->shown.isEmpty());
    }

    void removingThePurpleLogHidesItAndNoOtherTurnsPurple() {
        makeLogs({"Log Velmorado 2026-12-01.htm", "Log Velmorado 2026-12-02.htm"});
        QVERIFY(openOnLogs());
        entry(w, "mnuVoirLogs")->trigger();
        QLabel* newest = labels()[1];
        QVERIFY(purple(newest));
        auto* menu = child<QMenu>(viewer(), "mnuSupprimer");
        auto* remove = child<QAction>(viewer(), "mnuSupprimerLog");

        QTest::mouseClick(newest, Qt::RightButton);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(remove->text(), QStringLiteral("Remove Log '2026-12-02'"));
        QCOMPARE(child<QAction>(viewer(), "mnuAnnuler")->text(), QStringLiteral("Cancel"));
        menu->hide();
        answer("no");
        remove->trigger();
        QCOMPARE(last().text, QStringLiteral("Remove Log '2026-12-02'"));
        QVERIFY(QFile::exists(logOf("2026-12-02")));
        QVERIFY(newest->isVisible());

        answer("yes");
        remove->trigger();
        QVERIFY(!QFile::exists(logOf("2026-12-02")));
        QVERIFY(QFile::exists(logOf("2026-12-01")));
        QVERIFY(newest->isHidden());
        QVERIFY(!purple(labels()[0]));
        QVERIFY(labels()[0]->isVisible());
        // Scrolling does not bring it back.
        child<QScrollBar>(viewer(), "VScroll1")->setValue(10);
        QVERIFY(newest->isHidden());
    }
};

VELMORADO_UI_TEST_MAIN(TestLogViewer)
#include "test_log_viewer.moc"
