// The main window with real widgets: the folder-pair grid and its pictures,
// the description under the pointer, the file lists and their sizes, the
// menus, the language, the tray entries, help and About.
#include "UiTestKit.h"

#include "config/FolderPairs.h"
#include "engine/EngineState.h"
#include "ui/main/FileLists.h"
#include "ui/main/frmAbout.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QToolButton>

using namespace uitest;
using ui::frmKestrune;
using ui::PairGrid;

namespace {

QLabel* label(QObject* w, const char* name) {
    return child<QLabel>(w, name);
}
QAction* entry(QObject* w, const char* name) {
    return child<QAction>(w, name);
}
void releaseOn(QWidget* widget, const QPoint& pos = QPoint(2, 2)) {
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
}
void focusIn(QWidget* widget, Qt::FocusReason reason) {
    QFocusEvent event(QEvent::FocusIn, reason);
    QApplication::sendEvent(widget, &event);
}
QStringList texts(const QListWidget* list) {
    QStringList all;
    for (int i = 0; i < list->count(); ++i) {
        all << list->item(i)->text();
    }
    return all;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { engine::state().stopped = true; }

    void withoutPairsTheHintsShowAndNothingIsSelected() {
        ProgramFolder pf;
        ui::ScriptedDialogs* d = scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);
        QCOMPARE(grid->rowCount(), 0);
        for (const char* hint : {"LineBulle", "lblBulle1", "lblBulle2", "lblBulle3"}) {
            QVERIFY2(child<QWidget>(&w, hint)->isVisible(), hint);
        }
        for (const char* heading : {"lblDossiersSources", "lblDossiersCibles", "lblNbDossiers",
                                    "picFleche1", "picFleche2", "frameLegende"}) {
            QVERIFY2(!child<QWidget>(&w, heading)->isVisible(), heading);
        }
        QCOMPARE(label(&w, "lblNbDossiers")->text(), QStringLiteral("0"));
        QCOMPARE(label(&w, "lblBulle2")->text(), QStringLiteral("2 - define folders"));

        // Pointer moves over the empty grid change nothing.
        label(&w, "lblMessage")->setText(QStringLiteral("kept"));
        moveOver(grid->viewport(), QPoint(20, 10));
        QCOMPARE(label(&w, "lblMessage")->text(), QStringLiteral("kept"));
        QCOMPARE(grid->describedRow(), -1);
        QCOMPARE(w.selectedPairNumber(), 0);

        // Nothing to remove, nothing to change, and no browser or input box.
        focusIn(grid, Qt::TabFocusReason);
        QTest::keyClick(grid, Qt::Key_Delete);
        QVERIFY(d->shown.isEmpty());
        child<QPushButton>(&w, "cmdSupprimer")->click();
        child<QPushButton>(&w, "cmdModifierDossierSource")->click();
        entry(&w, "mnuModifierCibleSaisir")->trigger();
        QCOMPARE(d->shown.size(), 3);
        QCOMPARE(d->shown[0].text, QStringLiteral("Nothing to remove"));
        QCOMPARE(d->shown[1].text, QStringLiteral("Select a SOURCE folder to modify"));
        QCOMPARE(d->shown[2].text, QStringLiteral("Select a TARGET folder to modify"));
        for (const auto& box : d->shown) {
            QCOMPARE(box.kind, QStringLiteral("message"));
            QCOMPARE(box.title, QStringLiteral("Velmorado"));
        }
    }

    void theGridDrawsEachPairInItsState() {
        ProgramFolder pf;
        const QString src1 = pf.folder(QStringLiteral("in1"));
        const QString tgt1 = pf.folder(QStringLiteral("out1"));
        const QString src2 = pf.folder(QStringLiteral("in2"));
        const QString gone = pf.path() + QStringLiteral("/gone");
        QVERIFY(writeFile(pf.list(),
                          listLine(src1, tgt1) + listLine(src2, gone) + listLine(gone, QString())));
        QVERIFY(writeFile(pf.ini(), "[Rar_2]\r\nRar=1\r\nEnable=0\r\n[Rar_3]\r\nRar=2\r\n"));
        ui::ScriptedDialogs* d = scripted({QStringLiteral("no")});
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(label(&w, "lblNbDossiers")->text(), QStringLiteral("3"));
        QVERIFY(label(&w, "lblNbDossiers")->isVisible());
        QVERIFY(!label(&w, "lblBulle1")->isVisible());
        QVERIFY(child<QGroupBox>(&w, "frameLegende")->isVisible());

        QCOMPARE(grid->cellText(0, 0), src1);
        QCOMPARE(grid->cellText(0, 2), tgt1);
        QCOMPARE(grid->cellText(1, 2), QStringLiteral("??? ") + gone);
        QCOMPARE(grid->cellText(2, 0), QStringLiteral("??? ") + gone);
        QCOMPARE(grid->cellText(2, 2), QStringLiteral("???"));
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(grid->pairNumber(r), r + 1);
        }
        // Only Rar "1" shows the uncompress picture; Rar "2" shows compress.
        QCOMPARE(grid->item(0, 1)->data(PairGrid::UncompressRole).toBool(), false);
        QCOMPARE(grid->item(1, 1)->data(PairGrid::UncompressRole).toBool(), true);
        QCOMPARE(grid->item(2, 1)->data(PairGrid::UncompressRole).toBool(), false);
        // The disabled pair is grey and struck through, the others are not.
        for (int column : {0, 2}) {
            QVERIFY(grid->item(1, column)->font().strikeOut());
            QCOMPARE(grid->item(1, column)->foreground().color(), QColor(128, 128, 128));
            QVERIFY(!grid->item(0, column)->font().strikeOut());
            QVERIFY(!grid->item(0, column)->data(Qt::ForegroundRole).isValid());
        }

        // Right after the fill no pair counts as selected: Delete does nothing.
        QVERIFY(!grid->selectionMark());
        QCOMPARE(w.selectedPairNumber(), 0);
        QTest::keyClick(grid, Qt::Key_Delete);
        QVERIFY(d->shown.isEmpty());
        // Coming back to the window does not select either; the user's focus does.
        focusIn(grid, Qt::ActiveWindowFocusReason);
        QVERIFY(!grid->selectionMark());
        focusIn(grid, Qt::TabFocusReason);
        QVERIFY(grid->selectionMark());
        QCOMPARE(w.selectedPairNumber(), 3); // the last row filled is current
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(d->shown.size(), 1);
        QCOMPARE(d->shown[0].text, QStringLiteral("Remove the selected folders"));
        QCOMPARE(grid->rowCount(), 3); // answered No

        // A click on the window background takes the mark away, a click on a row gives it.
        releaseOn(w.centralWidget());
        QVERIFY(!grid->selectionMark());
        QCOMPARE(grid->currentRow(), 0);
        QCOMPARE(w.selectedPairNumber(), 0);
        releaseOn(grid->viewport(), cellCentre(grid, 1, 0));
        QVERIFY(grid->selectionMark());
        QCOMPARE(grid->currentRow(), 1);
        QCOMPARE(w.selectedPairNumber(), 2);
        QVERIFY(grid->selectionModel()->isRowSelected(1, QModelIndex()));
    }

    void thePointerDescribesThePairUnderIt() {
        ProgramFolder pf;
        const QString src1 = pf.folder(QStringLiteral("in1"));
        const QString tgt1 = pf.folder(QStringLiteral("out1"));
        const QString longName = pf.folder(QStringLiteral("a-rather-long-folder-name/") +
                                           QString(120, QLatin1Char('x')));
        QVERIFY(writeFile(pf.list(),
                          listLine(src1, tgt1) + listLine(tgt1, src1) + listLine(longName, tgt1)));
        QVERIFY(writeFile(pf.ini(), "[Configuration]\r\nTemporisation=10\r\n"
                                    "[Rar_1]\r\nNbTemporisations=0\r\n"
                                    "[Rar_2]\r\nNbTemporisations=400\r\nRar=1\r\nEnable=0\r\n"
                                    "[Rar_3]\r\nNbTemporisations=9\r\n"));
        scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        w.resize(800, 600);
        QCoreApplication::processEvents();
        PairGrid* grid = gridOf(w);
        QLabel* message = label(&w, "lblMessage");

        moveOver(grid->viewport(), cellCentre(grid, 0, 0));
        QCOMPARE(message->text(), src1 + QStringLiteral(" -> ") + tgt1 +
                                      QStringLiteral("\r\nT = 10 s; compress files"));
        QCOMPARE(message->palette().color(QPalette::WindowText),
                 QApplication::palette().color(QPalette::ButtonText));
        QCOMPARE(grid->describedRow(), 0);
        // The same row again: the description is not redone.
        message->setText(QStringLiteral("same row"));
        moveOver(grid->viewport(), cellCentre(grid, 0, 2));
        QCOMPARE(message->text(), QStringLiteral("same row"));

        moveOver(grid->viewport(), cellCentre(grid, 1, 1));
        QCOMPARE(message->text(), tgt1 + QStringLiteral(" -> ") + src1 +
                                      QStringLiteral(" [Compress/uncompress disabled]\r\n"
                                                     "T = 1 h 6 min 40 s; uncompress files"));
        QCOMPARE(message->palette().color(QPalette::WindowText), QColor(128, 128, 128));
        moveOver(grid->viewport(), cellCentre(grid, 2, 1));
        QVERIFY2(message->text().endsWith(QStringLiteral("\r\nT = 1 min 30 s; compress files")),
                 qPrintable(message->text()));

        // A folder too wide for its column shows whole as the tooltip.
        moveOver(grid->viewport(), cellCentre(grid, 2, 0));
        QCOMPARE(grid->toolTip(), longName);
        moveOver(grid->viewport(), cellCentre(grid, 2, 2));
        QCOMPARE(grid->toolTip(), QString());

        // Below the last row, or over a heading: no description.
        moveOver(grid->viewport(), QPoint(10, grid->viewport()->height() - 2));
        QVERIFY(grid->rowUnder(QPoint(10, grid->viewport()->height() - 2)) < 0);
        QCOMPARE(message->text(), QString());
        QCOMPARE(grid->describedRow(), -1);
        moveOver(grid->viewport(), cellCentre(grid, 0, 0));
        QVERIFY(!message->text().isEmpty());
        moveOver(label(&w, "lblDossiersSources"), QPoint(1, 1));
        QCOMPARE(message->text(), QString());
        QCOMPARE(grid->describedRow(), -1);

        // While processing runs the label belongs to the pass.
        engine::state().stopped = false;
        message->setText(QStringLiteral("pass summary"));
        moveOver(grid->viewport(), cellCentre(grid, 1, 0));
        moveOver(w.centralWidget(), QPoint(1, 1));
        QCOMPARE(message->text(), QStringLiteral("pass summary"));
        engine::state().stopped = true;

        // In French.
        entry(&w, "mnuFrancais")->trigger();
        moveOver(grid->viewport(), cellCentre(grid, 1, 0));
        QVERIFY2(message->text().contains(
                     QStringLiteral(" [Compression/décompression inactive]\r\nT = 1 h 6 min 40 s; "
                                    "décompresser les fichiers")),
                 qPrintable(message->text()));

        QCOMPARE(ui::durationText(3605), QStringLiteral("1 h 0 min 5 s"));
        QCOMPARE(ui::durationText(3600), QStringLiteral("1 h 0 min 0 s"));
        QCOMPARE(ui::durationText(0), QStringLiteral("0 s"));
        QCOMPARE(ui::durationText(Q_INT64_C(64000) * 32767),
                 QStringLiteral("582524 h 26 min 40 s"));
    }

    void sizesReadInTheUsersLocale_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << QStringLiteral("0 bytes");
        QTest::newRow("512") << qint64(512) << QStringLiteral("512 bytes");
        QTest::newRow("1023") << qint64(1023) << QStringLiteral("1,023 bytes");
        QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.00KB (1,024 bytes)");
        QTest::newRow("1536") << qint64(1536) << QStringLiteral("1.50KB (1,536 bytes)");
        QTest::newRow("10240") << qint64(10240) << QStringLiteral("10.0KB (10,240 bytes)");
        QTest::newRow("1048576") << qint64(1048576) << QStringLiteral("1.00MB (1,048,576 bytes)");
        QTest::newRow("1024000") << qint64(1024000) << QStringLiteral("0.98MB (1,024,000 bytes)");
        QTest::newRow("1 GiB") << qint64(1073741824)
                               << QStringLiteral("1.00GB (1,073,741,824 bytes)");
        QTest::newRow("2 GiB") << Q_INT64_C(2147483648)
                               << QStringLiteral("2.00GB (2,147,483,648 bytes)");
        QTest::newRow("3 GiB") << Q_INT64_C(3221225472)
                               << QStringLiteral("3.00GB (3,221,225,472 bytes)");
        QTest::newRow("5000 GiB") << Q_INT64_C(5368709120000)
                                  << QStringLiteral("5000.00GB (5,368,709,120,000 bytes)");
    }
    void sizesReadInTheUsersLocale() {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QCOMPARE(ui::FormaterTaille(size), text);
    }

    void sizesTakeTheSeparatorsOfAnotherLocale() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString text = ui::FormaterTaille(1536);
        const QString big = ui::FormaterTaille(1048576);
        QLocale::setDefault(before);
        QCOMPARE(text, QStringLiteral("1,50KB (1.536 bytes)"));
        QCOMPARE(big, QStringLiteral("1,00MB (1.048.576 bytes)"));
    }

    void theFileListsShowWhatTheFoldersHold() {
        ProgramFolder pf;
        const QString src = pf.folder(QStringLiteral("in"));
        const QString src2 = pf.folder(QStringLiteral("in2"));
        const QString tgt2 = pf.folder(QStringLiteral("out2"));
        const QString gone = pf.path() + QStringLiteral("/gone");
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), "hello"));
        QVERIFY(writeFile(src + QStringLiteral("/B.txt"), QByteArray(1536, 'b')));
        QVERIFY(writeFile(src + QStringLiteral("/[x]"), QByteArray()));
        QVERIFY(writeFile(src + QStringLiteral("/.h"), "h"));
        QDir(src).mkdir(QStringLiteral("x"));
        {
            QFile big(tgt2 + QStringLiteral("/big.bin"));
            QVERIFY(big.open(QIODevice::WriteOnly));
            QVERIFY(big.resize(Q_INT64_C(3221225472))); // sparse: no disk used
        }
        QVERIFY(writeFile(pf.list(), listLine(src, gone) + listLine(src2, tgt2)));
        QVERIFY(writeFile(pf.ini(), "[Configuration]\r\nAfficherFichiers=1\r\n"));
        scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);
        auto* sources = child<QListWidget>(&w, "lstFichiersSources");
        auto* targets = child<QListWidget>(&w, "lstFichiersCibles");
        QLabel* nbSources = label(&w, "lblNbFichiersSources");
        QLabel* nbTargets = label(&w, "lblNbFichiersCibles");
        QVERIFY(sources->isVisible());
        QVERIFY(!child<QGroupBox>(&w, "frameLegende")->isVisible());

        releaseOn(grid->viewport(), cellCentre(grid, 0, 0));
        QCOMPARE(grid->currentRow(), 0);
        const QStringList shown = texts(sources);
        QCOMPARE(shown.size(), 5);
        QCOMPARE(shown[0], QStringLiteral(".h"));
        QCOMPARE(shown.mid(1, 2), QStringList({QStringLiteral("[x]"), QStringLiteral("[x]")}));
        QCOMPARE(shown.mid(3), QStringList({QStringLiteral("a.txt"), QStringLiteral("B.txt")}));
        QCOMPARE(nbSources->text(), QStringLiteral("5 files/folders in ") + src);
        QCOMPARE(targets->count(), 0);
        QCOMPARE(nbTargets->text(), QStringLiteral("0 files/folders in ??? ") + gone);

        // The folder [x] and the file [x] look alike; their tooltips do not.
        QStringList tips;
        for (int i = 0; i < sources->count(); ++i) {
            moveOver(sources->viewport(), sources->visualItemRect(sources->item(i)).center());
            tips << sources->toolTip();
        }
        QCOMPARE(tips[0], QStringLiteral(".h   1 bytes"));
        QCOMPARE(QSet<QString>(tips.begin() + 1, tips.begin() + 3),
                 QSet<QString>({QStringLiteral("folder [x]"), QStringLiteral("[x]   0 bytes")}));
        QCOMPARE(tips[4], QStringLiteral("B.txt   1.50KB (1,536 bytes)"));
        moveOver(sources->viewport(), QPoint(5, sources->viewport()->height() - 2));
        QCOMPARE(sources->toolTip(), QString());

        // Moving to the next row refills both lists; a 3 GiB file shows its real size.
        grid->setCurrentCell(1, 0);
        QCOMPARE(sources->count(), 0);
        QCOMPARE(texts(targets), QStringList{QStringLiteral("big.bin")});
        moveOver(targets->viewport(), targets->visualItemRect(targets->item(0)).center());
        QCOMPARE(targets->toolTip(), QStringLiteral("big.bin   3.00GB (3,221,225,472 bytes)"));
        QCOMPARE(targets->item(0)->data(ui::FileListItem::SizeRole).toLongLong(),
                 Q_INT64_C(3221225472));

        // The engine refills a list at the end of a pass.
        w.refreshFileList(1, src);
        QCOMPARE(sources->count(), 5);
        QCOMPARE(nbSources->text(), QStringLiteral("5 files/folders in ") + src2);

        // Another language: the lists stay, their counts go until the next refill.
        entry(&w, "mnuFrancais")->trigger();
        QCOMPARE(sources->count(), 5);
        QCOMPARE(targets->count(), 1);
        QCOMPARE(nbSources->text(), QString());
        QCOMPARE(nbTargets->text(), QString());
        releaseOn(grid->viewport(), cellCentre(grid, 0, 2));
        QCOMPARE(nbSources->text(), QStringLiteral("5 fichiers/dossiers dans ") + src);
        moveOver(sources->viewport(), sources->visualItemRect(sources->item(4)).center());
        QCOMPARE(sources->toolTip(), QStringLiteral("B.txt   1.50KB (1,536 bytes)"));

        // A click on the background leaves the lists while they are shown.
        releaseOn(w.centralWidget());
        QCOMPARE(sources->count(), 5);
        QVERIFY(grid->selectionMark());

        // F2 off: lists emptied and hidden, the legend back, the key written.
        entry(&w, "mnuAfficherFichiers")->trigger();
        QCOMPARE(pf.setting(QStringLiteral("Configuration"), QStringLiteral("AfficherFichiers")),
                 QStringLiteral("0"));
        QVERIFY(!config::settings().afficherFichiers);
        QVERIFY(!sources->isVisible());
        QVERIFY(!nbTargets->isVisible());
        QCOMPARE(sources->count(), 0);
        QVERIFY(child<QGroupBox>(&w, "frameLegende")->isVisible());
        // F2 on again: shown and filled for the current row.
        entry(&w, "mnuAfficherFichiers")->trigger();
        QCOMPARE(pf.setting(QStringLiteral("Configuration"), QStringLiteral("AfficherFichiers")),
                 QStringLiteral("1"));
        QVERIFY(sources->isVisible());
        QCOMPARE(sources->count(), 5);
        QVERIFY(!child<QGroupBox>(&w, "frameLegende")->isVisible());

        // With the lists off, a background click unselects and empties them.
        entry(&w, "mnuAfficherFichiers")->trigger();
        releaseOn(grid->viewport(), cellCentre(grid, 1, 0));
        QVERIFY(grid->selectionMark());
        releaseOn(w.centralWidget());
        QVERIFY(!grid->selectionMark());
        QCOMPARE(grid->currentRow(), 0);
    }

    void startStopCaptionsFollowStateAndLanguage() {
        ProgramFolder pf;
        QVERIFY(writeFile(pf.list(), listLine(pf.folder(QStringLiteral("in")),
                                              pf.folder(QStringLiteral("out")))));
        scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        QAction* start = entry(&w, "mnuDemarrer");
        QCOMPARE(start->text(), QStringLiteral("&Start processing"));
        start->trigger();
        QVERIFY(!engine::state().stopped);
        QCOMPARE(start->text(), QStringLiteral("&Stop processing"));
        QVERIFY(!child<QPushButton>(&w, "cmdAjouterDossierSource")->isEnabled());
        // While running, a click on the mode picture opens nothing.
        PairGrid* grid = gridOf(w);
        releaseOn(grid->viewport(), cellCentre(grid, 0, 1));
        QVERIFY(w.findChildren<QDialog*>().isEmpty() ||
                !w.findChildren<QDialog*>().first()->isVisible());
        start->trigger();
        QVERIFY(engine::state().stopped);
        QCOMPARE(start->text(), QStringLiteral("&Start compress/uncompress operations"));
        QVERIFY(child<QPushButton>(&w, "cmdAjouterDossierSource")->isEnabled());
        entry(&w, "mnuFrancais")->trigger();
        QCOMPARE(start->text(), QStringLiteral("&Démarrer la compression/décompression"));
        QCOMPARE(pf.setting(QStringLiteral("Configuration"), QStringLiteral("Langue")),
                 QStringLiteral("1"));
        entry(&w, "mnuAnglais")->trigger();
        QCOMPARE(start->text(), QStringLiteral("&Start processing"));
        QVERIFY(entry(&w, "mnuAnglais")->isChecked());
        QVERIFY(!entry(&w, "mnuFrancais")->isChecked());
    }

    void theTrayMenuOffersMoreOnlyWhileTheWindowIsHidden() {
        ProgramFolder pf;
        scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        QAction* logs = entry(&w, "mnuFichierVoirLogs");
        QAction* restore = entry(&w, "mnuRestaurer");
        QVERIFY(w.isVisible());
        QVERIFY(!logs->isVisible());
        QVERIFY(!restore->isVisible());
        QCOMPARE(logs->text(), entry(&w, "mnuVoirLogs")->text());

        auto* tray = w.findChild<QSystemTrayIcon*>(QStringLiteral("PictureVelmorado"));
        QVERIFY(tray);
        auto* file = child<QMenu>(&w, "mnuFichier");
        Q_EMIT tray->activated(QSystemTrayIcon::Context);
        QVERIFY(file->isVisible());
        file->hide();

        w.hide();
        QVERIFY(logs->isVisible());
        QVERIFY(restore->isVisible());
        restore->trigger();
        QVERIFY(w.isVisible());
        QVERIFY(!(w.windowState() & Qt::WindowMinimized));
        QVERIFY(!logs->isVisible());
        QVERIFY(!restore->isVisible());

        // A double click on the tray icon puts the window away and back.
        Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!w.isVisible() || (w.windowState() & Qt::WindowMinimized));
        Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(w.isVisible());
        QVERIFY(!(w.windowState() & Qt::WindowMinimized));
    }

    void helpAboutLegendAndToggles() {
        ProgramFolder pf;
        ui::ScriptedDialogs* d = scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        // A help file only in French.
        QVERIFY(writeFile(pf.path() + QStringLiteral("/VelmoradoHelpFR.htm"), "<html></html>"));
        entry(&w, "mnuAide")->trigger();
        QCOMPARE(d->shown.last().kind, QStringLiteral("message"));
        QCOMPARE(d->shown.last().text, QStringLiteral("Documentation not yet available..."));
        entry(&w, "mnuFrancais")->trigger();
        entry(&w, "mnuAide")->trigger();
        QCOMPARE(d->shown.last().kind, QStringLiteral("open"));
        QCOMPARE(d->shown.last().text, pf.path() + QStringLiteral("/VelmoradoHelpFR.htm"));
        entry(&w, "mnuAnglais")->trigger();

        bool seen = false;
        whenShown<ui::frmAbout>(&w, [&](ui::frmAbout* about) {
            seen = true;
            QCOMPARE(about->windowTitle(), QStringLiteral("About..."));
            const QStringList lines = label(about, "lblCredit")->text().split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0],
                     QStringLiteral("Velmorado: compress/uncompress files preserving streams"));
            QVERIFY(!lines[1].isEmpty());
            QLabel* link = label(about, "lblLink");
            QCOMPARE(link->text(), ui::frmAbout::kWebAddress);
            releaseOn(link);
            child<QPushButton>(about, "cmdOK")->click();
        });
        entry(&w, "mnuAPropos")->trigger();
        QVERIFY(seen);
        QCOMPARE(d->shown.last().kind, QStringLiteral("open"));
        QCOMPARE(d->shown.last().text, ui::frmAbout::kWebAddress);

        // The legend pictures make their label bold while pressed, nothing else.
        QLabel* compress = label(&w, "lblLegende1");
        QLabel* uncompress = label(&w, "lblLegende2");
        const int boxes = d->shown.size();
        QTest::mousePress(label(&w, "PictureSetGris"), Qt::LeftButton);
        QVERIFY(compress->font().bold());
        QVERIFY(!uncompress->font().bold());
        QTest::mouseRelease(label(&w, "PictureSetGris"), Qt::LeftButton);
        QVERIFY(!compress->font().bold());
        QTest::mousePress(label(&w, "PictureSetGrisMod"), Qt::LeftButton);
        QVERIFY(uncompress->font().bold());
        QTest::mouseRelease(label(&w, "PictureSetGrisMod"), Qt::LeftButton);
        QVERIFY(!uncompress->font().bold());
        QCOMPARE(d->shown.size(), boxes);

        // The check toggles write their key at once.
        const struct {
            const char* entry;
            const char* key;
        } toggles[] = {{"mnuVoirConsoleRAR", "VoirConsoleRar"},
                       {"mnuAutomatique", "Automatique"},
                       {"mnuArretAutomatique", "ArretAutomatique"}};
        for (const auto& t : toggles) {
            entry(&w, t.entry)->trigger();
            QCOMPARE(pf.setting(QStringLiteral("Configuration"), QString::fromLatin1(t.key)),
                     QStringLiteral("1"));
            entry(&w, t.entry)->trigger();
            QCOMPARE(pf.setting(QStringLiteral("Configuration"), QString::fromLatin1(t.key)),
                     QStringLiteral("0"));
        }
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // A point for decimals and a comma for thousands, as the sizes are written here.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
