// The main window with real widgets: the folder-pair grid and its pictures,
// the description under the pointer, the file lists and their sizes, the
// menus and captions, the language, the tray, help and About.
#include "UiTestKit.h"

#include "ui/common/Captions.h"
#include "ui/main/FileLists.h"
#include "ui/main/UiSupport.h"
#include "ui/main/frmAbout.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>

using namespace uitest;

namespace {

QStringList texts(const QListWidget* list) {
    QStringList all;
    for (int i = 0; i < list->count(); ++i) {
        all << list->item(i)->text();
    }
    return all;
}

QString tipOver(QListWidget* list, int row) {
    moveOver(list->viewport(), list->visualItemRect(list->item(row)).center());
    return list->toolTip();
}

// The rows of the grid drawn in a highlight colour, as they show on screen.
QList<int> highlightedRows(PairGrid* grid) {
    const QImage image = grid->viewport()->grab().toImage();
    const QPalette normal = QApplication::palette(grid);
    const QSet<QRgb> highlight = {normal.color(QPalette::Active, QPalette::Highlight).rgb(),
                                  normal.color(QPalette::Inactive, QPalette::Highlight).rgb()};
    QList<int> rows;
    for (int row = 0; row < grid->rowCount(); ++row) {
        const QRect rect = grid->visualRect(grid->model()->index(row, 0))
                               .united(grid->visualRect(grid->model()->index(row, 2)))
                               .intersected(image.rect());
        int count = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                count += highlight.contains(image.pixel(x, y) | 0xff000000u) ? 1 : 0;
            }
        }
        if (count > rect.width()) { // more than a line's worth
            rows << row;
        }
    }
    return rows;
}

QSystemTrayIcon* trayOf(QWidget* w) {
    return w->findChild<QSystemTrayIcon*>(QStringLiteral("PictureVelmorado"));
}
// The window is put away: hidden in the tray where there is one, else minimised.
bool putAway(QWidget* w) {
    return QSystemTrayIcon::isSystemTrayAvailable() ? !w->isVisible()
                                                    : (w->windowState() & Qt::WindowMinimized);
}
bool shownNormal(QWidget* w) {
    return w->isVisible() && !(w->windowState() & Qt::WindowMinimized);
}
QImage iconImage(const QIcon& icon) {
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestMainWindow : public WindowTest {
    Q_OBJECT
private Q_SLOTS:
    void init() { fresh(); }

    void theGridShowsItsSelectionExactlyWhileTheMarkIsOn() {
        QVERIFY(open());
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // No pair: the hints show instead of the headings, nothing is selected,
        // pointer moves change nothing and Delete is silent.
        for (const char* hint : {"LineBulle", "lblBulle1", "lblBulle2", "lblBulle3"}) {
            QVERIFY2(child<QWidget>(w, hint)->isVisible(), hint);
        }
        for (const char* heading : {"lblDossiersSources", "lblDossiersCibles", "lblNbDossiers",
                                    "picFleche1", "picFleche2", "frameLegende"}) {
            QVERIFY2(!child<QWidget>(w, heading)->isVisible(), heading);
        }
        QCOMPARE(label(w, "lblNbDossiers")->text(), QStringLiteral("0"));
        label(w, "lblMessage")->setText(QStringLiteral("kept"));
        moveOver(grid->viewport(), QPoint(20, 10));
        QCOMPARE(label(w, "lblMessage")->text(), QStringLiteral("kept"));
        QCOMPARE(grid->describedRow(), -1);
        QCOMPARE(w->selectedPairNumber(), 0);
        focusIn(grid, Qt::TabFocusReason);
        QTest::keyClick(grid, Qt::Key_Delete);
        QVERIFY(d->shown.isEmpty());

        const QString a = pf->folder(QStringLiteral("a"));
        const QString b = pf->folder(QStringLiteral("b"));
        QVERIFY(writeFile(pf->list(), listLine(a, b) + listLine(b, a) + listLine(a, a)));
        w->reloadFolderPairs();
        QVERIFY(!label(w, "lblBulle1")->isVisible());
        // After the fill the last row is current and selected in the view's
        // model, but no pair counts as selected: Delete does nothing, nor does
        // coming back to the window, and none looks selected.
        QVERIFY(grid->selectionModel()->isRowSelected(2, QModelIndex()));
        QTest::keyClick(grid, Qt::Key_Delete);
        focusIn(grid, Qt::ActiveWindowFocusReason);
        QVERIFY(d->shown.isEmpty());
        QCOMPARE(w->selectedPairNumber(), 0);
        QCOMPARE(highlightedRows(grid), QList<int>());
        // The user's focus selects the current row.
        focusIn(grid, Qt::TabFocusReason);
        QCOMPARE(w->selectedPairNumber(), 3);
        QCOMPARE(highlightedRows(grid), QList<int>{2});
        answer(QStringLiteral("no"));
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(last().text, QStringLiteral("Remove the selected folders"));
        QCOMPARE(grid->rowCount(), 3);
        // A click on the background takes the mark away, a click on a row gives it.
        click(w->centralWidget());
        QCOMPARE(w->selectedPairNumber(), 0);
        QCOMPARE(highlightedRows(grid), QList<int>());
        clickCell(1, 0);
        QCOMPARE(w->selectedPairNumber(), 2);
        QCOMPARE(highlightedRows(grid), QList<int>{1});
        // A change of folder reloads the grid: the mark and the highlight go,
        // so that Modify asking for a selection matches the view.
        answer(pf->folder(QStringLiteral("c")));
        entry(w, "mnuModifierSourceSaisir")->trigger();
        QCOMPARE(grid->cellText(1, 0), pf->path() + QStringLiteral("/c"));
        QVERIFY(!grid->selectionMark());
        QCOMPARE(highlightedRows(grid), QList<int>());
    }

    void theGridDrawsEachPairAndDescribesTheOneUnderThePointer() {
        const QString src1 = pf->folder(QStringLiteral("in1"));
        const QString tgt1 = pf->folder(QStringLiteral("out1"));
        const QString longName = pf->folder(QStringLiteral("long/") + QString(140, 'x'));
        const QString gone = pf->path() + QStringLiteral("/gone");
        QVERIFY(open(listLine(src1, tgt1) + listLine(tgt1, src1) + listLine(longName, tgt1) +
                         listLine(src1, gone) + listLine(gone, QString()),
                     "[Configuration]\r\nTemporisation=10\r\n[Rar_1]\r\nNbTemporisations=0\r\n"
                     "[Rar_2]\r\nNbTemporisations=400\r\nRar=1\r\nEnable=0\r\n"
                     "[Rar_3]\r\nNbTemporisations=9\r\n[Rar_5]\r\nRar=2\r\n"));
        QCOMPARE(label(w, "lblNbDossiers")->text(), QStringLiteral("5"));
        QVERIFY(!label(w, "lblBulle1")->isVisible());
        QVERIFY(child<QGroupBox>(w, "frameLegende")->isVisible());
        QCOMPARE(grid->cellText(0, 2), tgt1);
        QCOMPARE(grid->cellText(3, 2), QStringLiteral("??? ") + gone);
        QCOMPARE(grid->cellText(4, 0), QStringLiteral("??? ") + gone);
        QCOMPARE(grid->cellText(4, 2), QStringLiteral("???"));
        // Only Rar "1" shows the uncompress picture; Rar "2" shows compress.
        for (int r = 0; r < 5; ++r) {
            QCOMPARE(grid->item(r, 1)->data(PairGrid::UncompressRole).toBool(), r == 1);
        }
        // The disabled pair is grey and struck through, the others are not.
        for (int column : {0, 2}) {
            QVERIFY(grid->item(1, column)->font().strikeOut());
            QCOMPARE(grid->item(1, column)->foreground().color(), QColor(128, 128, 128));
            QVERIFY(!grid->item(0, column)->font().strikeOut());
            QVERIFY(!grid->item(0, column)->data(Qt::ForegroundRole).isValid());
        }
        w->resize(800, 600);
        QCoreApplication::processEvents();
        QLabel* message = label(w, "lblMessage");
        const QColor grey(128, 128, 128);
        moveOverCell(0, 0);
        QCOMPARE(message->text(), src1 + " -> " + tgt1 + "\r\nT = 10 s; compress files");
        moveOverCell(1, 1);
        QCOMPARE(message->text(), tgt1 + " -> " + src1 +
                                      " [Compress/uncompress disabled]\r\n"
                                      "T = 1 h 6 min 40 s; uncompress files");
        QCOMPARE(message->palette().color(QPalette::WindowText), grey);
        moveOverCell(2, 1);
        QCOMPARE(message->palette().color(QPalette::WindowText),
                 QApplication::palette().color(QPalette::ButtonText));
        QCOMPARE(message->text(), longName + " -> " + tgt1 + "\r\nT = 1 min 30 s; compress files");
        moveOverCell(2, 2); // a folder that fits has no tooltip
        QCOMPARE(grid->toolTip(), QString());
        // Below the last row, or over a heading: no description.
        moveOver(grid->viewport(), QPoint(10, grid->viewport()->height() - 2));
        QCOMPARE(message->text(), QString());
        moveOverCell(0, 0);
        moveOver(label(w, "lblDossiersSources"), QPoint(1, 1));
        QCOMPARE(message->text(), QString());
        QCOMPARE(grid->describedRow(), -1);
        // While processing runs the label belongs to the pass.
        engine::state().stopped = false;
        message->setText(QStringLiteral("pass summary"));
        moveOverCell(1, 0);
        moveOver(w->centralWidget(), QPoint(1, 1));
        QCOMPARE(message->text(), QStringLiteral("pass summary"));
        engine::state().stopped = true;
        // Another language describes the same pair again, in that language.
        moveOverCell(1, 0);
        entry(w, "mnuFrancais")->trigger();
        QCOMPARE(message->text(), QString());
        moveOverCell(1, 0);
        QCOMPARE(message->text(), tgt1 + " -> " + src1 +
                                      " [Compression/décompression inactive]\r\n"
                                      "T = 1 h 6 min 40 s; décompresser les fichiers");
        // The pair described goes: so does its description.
        clickCell(1, 0);
        moveOverCell(1, 0);
        answer(QStringLiteral("yes"));
        button(w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 4);
        QCOMPARE(message->text(), QString());
        // The counts stay empty in the new language when no list was shown.
        entry(w, "mnuAnglais")->trigger();
        QCOMPARE(label(w, "lblNbFichiersSources")->text(), QString());
        QCOMPARE(ui::durationText(3600), QStringLiteral("1 h 0 min 0 s"));
        QCOMPARE(ui::durationText(Q_INT64_C(64000) * 32767),
                 QStringLiteral("582524 h 26 min 40 s"));
    }

    void sizesReadInTheUsersLocale() {
        const std::pair<qint64, const char*> rows[] = {
            {512, "512 bytes"},
            {1023, "1,023 bytes"},
            {1024, "1.00KB (1,024 bytes)"},
            {10240, "10.0KB (10,240 bytes)"},
            {1024000, "0.98MB (1,024,000 bytes)"},
            {1073741824, "1.00GB (1,073,741,824 bytes)"},
            {Q_INT64_C(5368709120000), "5000.00GB (5,368,709,120,000 bytes)"}};
        for (const auto& [size, text] : rows) {
            QCOMPARE(ui::FormaterTaille(size), QString::fromLatin1(text));
            // Another locale brings its own separators.
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            const QString german = ui::FormaterTaille(size);
            QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
            QCOMPARE(german, QString::fromLatin1(text).replace(',', '_').replace('.', ',').replace(
                                 '_', '.'));
        }
    }

    void theFileListsShowWhatTheFoldersHold() {
        const QString src = pf->folder(QStringLiteral("in"));
        const QString src2 = pf->folder(QStringLiteral("in2"));
        const QString tgt2 = pf->folder(QStringLiteral("out2"));
        const QString gone = pf->path() + QStringLiteral("/gone");
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), "hello"));
        QVERIFY(writeFile(src + QStringLiteral("/B.txt"), QByteArray(1536, 'b')));
        QVERIFY(writeFile(src + QStringLiteral("/[x]"), QByteArray()));
        QVERIFY(writeFile(src + QStringLiteral("/.h"), "h"));
        QDir(src).mkdir(QStringLiteral("x"));
        QFile big(tgt2 + QStringLiteral("/big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(Q_INT64_C(3221225472))); // sparse
        big.close();
        QVERIFY(open(listLine(src, gone) + listLine(src2, tgt2),
                     "[Configuration]\r\nAfficherFichiers=1\r\n"));
        auto* sources = child<QListWidget>(w, "lstFichiersSources");
        auto* targets = child<QListWidget>(w, "lstFichiersCibles");
        QLabel* nbSources = label(w, "lblNbFichiersSources");
        QLabel* nbTargets = label(w, "lblNbFichiersCibles");
        auto* legend = child<QGroupBox>(w, "frameLegende");
        QVERIFY(!legend->isVisible());
        clickCell(0, 0);
        QCOMPARE(texts(sources), QStringList({".h", "[x]", "[x]", "a.txt", "B.txt"}));
        QCOMPARE(nbSources->text(), QStringLiteral("5 files/folders in ") + src);
        QCOMPARE(targets->count(), 0);
        QCOMPARE(nbTargets->text(), QStringLiteral("0 files/folders in ??? ") + gone);
        // The folder [x] and the file [x] look alike; their tooltips do not.
        QCOMPARE(tipOver(sources, 0), QStringLiteral(".h   1 bytes"));
        QCOMPARE(QSet<QString>({tipOver(sources, 1), tipOver(sources, 2)}),
                 QSet<QString>({QStringLiteral("folder [x]"), QStringLiteral("[x]   0 bytes")}));
        QCOMPARE(tipOver(sources, 4), QStringLiteral("B.txt   1.50KB (1,536 bytes)"));
        moveOver(sources->viewport(), QPoint(5, sources->viewport()->height() - 2));
        QCOMPARE(sources->toolTip(), QString());
        // Moving to the next row refills both lists; a 3 GiB file shows its real size.
        grid->setCurrentCell(1, 0);
        QCOMPARE(sources->count(), 0);
        QCOMPARE(texts(targets), QStringList{QStringLiteral("big.bin")});
        QCOMPARE(tipOver(targets, 0), QStringLiteral("big.bin   3.00GB (3,221,225,472 bytes)"));
        QCOMPARE(targets->item(0)->data(ui::FileListItem::SizeRole).toLongLong(),
                 Q_INT64_C(3221225472));
        // The engine refills a list at the end of a pass.
        w->refreshFileList(1, src);
        QCOMPARE(sources->count(), 5);
        QCOMPARE(nbSources->text(), QStringLiteral("5 files/folders in ") + src2);
        // Another language: the lists stay, and their counts read in it at once.
        entry(w, "mnuFrancais")->trigger();
        QCOMPARE(texts(targets), QStringList{QStringLiteral("big.bin")});
        QCOMPARE(nbSources->text(), QStringLiteral("5 fichiers/dossiers dans ") + src2);
        QCOMPARE(nbTargets->text(), QStringLiteral("1 fichiers/dossiers dans ") + tgt2);
        clickCell(0, 2);
        QCOMPARE(nbSources->text(), QStringLiteral("5 fichiers/dossiers dans ") + src);
        // A click on the background leaves the lists and the mark while they are shown.
        click(w->centralWidget());
        QCOMPARE(sources->count(), 5);
        QVERIFY(grid->selectionMark());
        // F2 off: lists emptied and hidden, the legend back, the key written;
        // on again: shown and filled for the current row.
        for (const bool on : {false, true}) {
            entry(w, "mnuAfficherFichiers")->trigger();
            QCOMPARE(pf->setting("Configuration", "AfficherFichiers"), QString::number(on));
            QCOMPARE(sources->isVisible(), on);
            QCOMPARE(legend->isVisible(), !on);
            QCOMPARE(sources->count(), on ? 5 : 0);
        }
        // With the lists off, a background click unselects.
        entry(w, "mnuAfficherFichiers")->trigger();
        clickCell(1, 0);
        click(w->centralWidget());
        QVERIFY(!grid->selectionMark());
    }

    // Every control the engine drives is in the window under its name, alone
    // and of the kind the engine uses it as, and the engine's calls reach it.
    void everyEngineControlIsInTheWindow() {
        QVERIFY(open());
        for (const engine::ControlEntry& c : engine::controlTable()) {
            const QString name = engine::controlName(c.control);
            const QList<QObject*> found = w->findChildren<QObject*>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            QObject* object = found.first();
            if (c.kind == engine::ControlKind::Label) {
                auto* label = qobject_cast<QLabel*>(object);
                QVERIFY2(label, qPrintable(name));
                w->setLabelText(c.control, "text of " + name);
                QCOMPARE(label->text(), "text of " + name);
            } else if (c.kind == engine::ControlKind::Bar) {
                auto* bar = qobject_cast<QProgressBar*>(object);
                QVERIFY2(bar, qPrintable(name));
                w->setBarRange(c.control, 0, 7);
                w->setBarValue(c.control, 5);
                QCOMPARE(std::pair(bar->maximum(), bar->value()), std::pair(7, 5));
            } else {
                auto* menu = qobject_cast<QMenu*>(object);
                auto* action = menu ? menu->menuAction() : qobject_cast<QAction*>(object);
                auto* button = qobject_cast<QAbstractButton*>(object);
                QVERIFY2(action || button, qPrintable(name));
                for (const bool on : {false, true}) {
                    w->setControlEnabled(c.control, on);
                    QVERIFY2((action ? action->isEnabled() : button->isEnabled()) == on,
                             qPrintable(name));
                }
            }
        }
    }

    // Each caption of the table names a control of the window, which shows it.
    void everyCaptionNamesAControlOfTheWindow() {
        ui::frmKestrune bare(pf->path());
        QCOMPARE(ui::missingCaptionNames(&bare, ui::frmKestrune::captions()), QStringList());
        bare.AppliquerLangue(1);
        QCOMPARE(child<QMenu>(&bare, "mnuFichier")->title(), QStringLiteral("&Fichier"));
        QCOMPARE(button(&bare, "cmdModifierDossierCible")->text(), QStringLiteral("Modifier"));
    }

    void startStopCaptionsFollowStateAndLanguage() {
        QVERIFY(
            open(listLine(pf->folder(QStringLiteral("in")), pf->folder(QStringLiteral("out")))));
        QAction* start = entry(w, "mnuDemarrer");
        QCOMPARE(start->text(), QStringLiteral("&Start processing"));
        start->trigger();
        QVERIFY(!engine::state().stopped);
        QCOMPARE(start->text(), QStringLiteral("&Stop processing"));
        QVERIFY(!button(w, "cmdAjouterDossierSource")->isEnabled());
        {
            // While running, a click on the mode picture opens nothing.
            OnShown<QDialog> dialogs(w);
            clickCell(0, 1);
            QCOMPARE(dialogs.count, 0);
        }
        start->trigger();
        QVERIFY(engine::state().stopped);
        QCOMPARE(start->text(), QStringLiteral("&Start compress/uncompress operations"));
        QVERIFY(button(w, "cmdAjouterDossierSource")->isEnabled());
        entry(w, "mnuFrancais")->trigger();
        QCOMPARE(start->text(), QStringLiteral("&Démarrer la compression/décompression"));
        QCOMPARE(pf->setting("Configuration", "Langue"), QStringLiteral("1"));
        entry(w, "mnuAnglais")->trigger();
        QCOMPARE(start->text(), QStringLiteral("&Start processing"));
        QVERIFY(!entry(w, "mnuFrancais")->isChecked());
    }

    void aFolderElidedInItsCellAlwaysShowsWholeAsTheTooltip() {
        QVERIFY(open(listLine(QStringLiteral("/a"), QStringLiteral("/b"))));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // A missing folder's text just too wide for its cell, yet narrower
        // than half the grid less 15 pixels.
        const QFontMetrics metrics(label(w, "lblTestLongueur")->font());
        QString text;
        for (int n = 1; n < 400 && text.isEmpty(); ++n) {
            const QString candidate = QStringLiteral("??? /") + QString(n, QLatin1Char('m'));
            const int width = metrics.horizontalAdvance(candidate);
            if (width > grid->columnWidth(0) - 4 && width <= grid->width() / 2 - 15) {
                text = candidate;
            }
        }
        if (text.isEmpty()) {
            QSKIP("no text width falls between the two limits with this font");
        }
        QVERIFY(writeFile(pf->list(), listLine(text.mid(4), QStringLiteral("/b"))));
        w->reloadFolderPairs();
        QCOMPARE(grid->cellText(0, 0), text);
        moveOverCell(0, 0);
        QCOMPARE(grid->toolTip(), text);
    }

    // The window opens showing its whole caption, eight rows of the grid and
    // both file lists, lists on or off; paths of any length never make it
    // wider than the screen.
    void theWindowOpensShowingTheCaptionEightRowsAndBothLists() {
        for (const char* lists : {"1", "0"}) {
            fresh();
            QString deep = QStringLiteral("deep"); // more than 300 characters
            for (const char c : {'p', 'q', 'r'}) {
                deep += QLatin1Char('/') + QString(100, QLatin1Char(c));
            }
            const QString longPath = pf->folder(deep);
            QVERIFY(writeFile(longPath + QStringLiteral("/f.txt"), "x"));
            const QString other = pf->folder(QStringLiteral("other"));
            QVERIFY(open(listLine(longPath, other) + listLine(other, longPath).repeated(9),
                         QByteArray("[Configuration]\r\nAfficherFichiers=") + lists + "\r\n"));
            QVERIFY(QTest::qWaitForWindowExposed(w));
            const QRect screen = w->screen()->availableGeometry();
            QCOMPARE(screen.width(), 1280); // as the test program sets the screen
            const auto fits = [&] {
                QCoreApplication::processEvents();
                return w->frameGeometry().width() <= screen.width() &&
                       w->frameGeometry().height() <= screen.height() &&
                       w->minimumSizeHint().width() <= screen.width();
            };
            QVERIFY2(fits(), lists);
            QFont bold = w->font();
            bold.setBold(true);
            QVERIFY2(w->width() > QFontMetrics(bold).horizontalAdvance(w->windowTitle()),
                     qPrintable(QStringLiteral("%1 for %2").arg(w->width()).arg(w->windowTitle())));
            if (!entry(w, "mnuAfficherFichiers")->isChecked()) {
                // Turned on later, the lists take the legend's place without
                // taking the grid's rows.
                const QSize before = w->size();
                entry(w, "mnuAfficherFichiers")->trigger();
                QCoreApplication::processEvents();
                QCOMPARE(w->size(), before);
            }
            QVERIFY2(grid->viewport()->height() >= 8 * grid->rowHeight(0), lists);
            for (const char* name : {"lstFichiersSources", "lstFichiersCibles"}) {
                auto* files = child<QListWidget>(w, name);
                QVERIFY2(files->isVisible() && files->height() >= 4 * files->fontMetrics().height(),
                         lists);
            }
            // The description and the counts hold the whole path; the cell's
            // tooltip too. None of them widens the window, not even when asked to.
            moveOverCell(0, 0);
            QVERIFY(label(w, "lblMessage")->text().startsWith(longPath + QStringLiteral(" -> ")));
            QCOMPARE(grid->toolTip(), longPath);
            clickCell(0, 2);
            QCOMPARE(label(w, "lblNbFichiersSources")->text(), "1 files/folders in " + longPath);
            QCOMPARE(label(w, "lblNbFichiersCibles")->text(), "0 files/folders in " + other);
            QVERIFY2(fits(), lists);
            w->resize(3000, w->height());
            QVERIFY2(fits(), lists);
        }
    }

    void closingPutsTheWindowAwayAndOnlyExitEnds() {
        QVERIFY(open());
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY((w->windowFlags() & Qt::WindowCloseButtonHint));
        QAction* logs = entry(w, "mnuFichierVoirLogs");
        QAction* restore = entry(w, "mnuRestaurer");
        QVERIFY(!logs->isVisible() && !restore->isVisible());
        // The close button and Alt+F4 reach the window as a close request.
        QVERIFY(!w->close());
        QTRY_VERIFY(putAway(w));
        // The File menu offers more while the window is hidden; the tray, or
        // the task bar, brings it back.
        w->hide();
        QVERIFY(logs->isVisible() && restore->isVisible());
        restore->trigger();
        QTRY_VERIFY(shownNormal(w));
        QVERIFY(!logs->isVisible() && !restore->isVisible());
        // Exit still asks; No keeps the program.
        QSignalSpy ending(w, &ui::frmKestrune::programEnding);
        answer(QStringLiteral("no"));
        entry(w, "mnuQuitter")->trigger();
        QCOMPARE(last().kind, QStringLiteral("question"));
        QCOMPARE(last().title, QStringLiteral("Velmorado"));
        QCOMPARE(last().text, QStringLiteral("Exit program"));
        QCOMPARE(ending.count(), 0);
        QVERIFY(shownNormal(w));
        // Yes: test_startup (it leaves the event loop for good).
    }

    void theTrayTogglesOnAClickAndShowsTheRunningState() {
        QVERIFY(
            open(listLine(pf->folder(QStringLiteral("in")), pf->folder(QStringLiteral("out")))));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QSystemTrayIcon* tray = trayOf(w);
        QVERIFY(tray);
        // On a real tray (test_main_window_tray) the icon shows there.
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QTRY_VERIFY(tray->isVisible());
            QCOMPARE(tray->toolTip(), w->trayTip());
        }
        // A single click puts the window away and brings it back; so does a
        // double click alone; a double click starts with a click: together
        // they toggle once.
        for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
            Q_EMIT tray->activated(reason);
            QTRY_VERIFY(putAway(w));
            QTest::qWait(QApplication::doubleClickInterval() + 50);
            Q_EMIT tray->activated(reason);
            QTRY_VERIFY(shownNormal(w));
            QTest::qWait(QApplication::doubleClickInterval() + 50);
        }
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick);
        QTest::qWait(50);
        QVERIFY(putAway(w));
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(shownNormal(w));
        // The right button opens the File menu.
        Q_EMIT tray->activated(QSystemTrayIcon::Context);
        QVERIFY(child<QMenu>(w, "mnuFichier")->isVisible());
        child<QMenu>(w, "mnuFichier")->hide();
        // The icon tells running from stopped; the tip is what the engine says.
        const QImage stopped = iconImage(ui::programIcon("velmorado"));
        const QImage running = iconImage(ui::programIcon("velmorado-running"));
        QVERIFY(stopped != running);
        QCOMPARE(iconImage(tray->icon()), stopped);
        entry(w, "mnuDemarrer")->trigger();
        QCOMPARE(iconImage(tray->icon()), running);
        w->setTrayTip(QStringLiteral("Velmorado 1.0c - 2 files waiting"));
        QCOMPARE(tray->toolTip(), QStringLiteral("Velmorado 1.0c - 2 files waiting"));
        QCOMPARE(iconImage(tray->icon()), running);
        entry(w, "mnuDemarrer")->trigger();
        QCOMPARE(iconImage(tray->icon()), stopped);
    }

    void helpAboutLegendAndToggles() {
        QVERIFY(open());
        // A help file only in French.
        QVERIFY(writeFile(pf->path() + QStringLiteral("/VelmoradoHelpFR.htm"), "<html></html>"));
        entry(w, "mnuAide")->trigger();
        QCOMPARE(last().text, QStringLiteral("Documentation not yet available..."));
        entry(w, "mnuFrancais")->trigger();
        entry(w, "mnuAide")->trigger();
        QCOMPARE(last().kind, QStringLiteral("open"));
        QCOMPARE(last().text, pf->path() + QStringLiteral("/VelmoradoHelpFR.htm"));
        entry(w, "mnuAnglais")->trigger();
        OnShown<ui::frmAbout> about(w, [](ui::frmAbout* dlg) {
            QVERIFY(label(dlg, "lblCredit")
                        ->text()
                        .startsWith("Velmorado: compress/uncompress files preserving streams\n"));
            click(label(dlg, "lblLink"));
            button(dlg, "cmdOK")->click();
        });
        entry(w, "mnuAPropos")->trigger();
        QCOMPARE(about.count, 1);
        QCOMPARE(last().kind, QStringLiteral("open"));
        QCOMPARE(last().text, ui::frmAbout::kWebAddress);
        // A legend picture makes its own label bold while pressed, nothing else.
        const int boxes = d->shown.size();
        const char* pictures[] = {"PictureSetGris", "PictureSetGrisMod"};
        for (int i : {0, 1}) {
            QTest::mousePress(label(w, pictures[i]), Qt::LeftButton);
            QCOMPARE(label(w, "lblLegende1")->font().bold(), i == 0);
            QCOMPARE(label(w, "lblLegende2")->font().bold(), i == 1);
            QTest::mouseRelease(label(w, pictures[i]), Qt::LeftButton);
            QVERIFY(!label(w, i == 0 ? "lblLegende1" : "lblLegende2")->font().bold());
        }
        QCOMPARE(d->shown.size(), boxes);
        // The check toggles write their key at once.
        for (const auto& [name, key] : {std::pair{"mnuVoirConsoleRAR", "VoirConsoleRar"},
                                        std::pair{"mnuAutomatique", "Automatique"},
                                        std::pair{"mnuArretAutomatique", "ArretAutomatique"}}) {
            for (const char* value : {"1", "0"}) {
                entry(w, name)->trigger();
                QCOMPARE(pf->setting("Configuration", key), QString::fromLatin1(value));
            }
        }
    }
};

int main(int argc, char* argv[]) {
    // A 1280 x 1024 screen, as the window must fit on one.
    QTemporaryDir config;
    const QString screens = config.filePath(QStringLiteral("screens.json"));
    QFile file(screens);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": 1280,
            "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0) {
        return 2;
    }
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens));
    // On a real X server instead (test_main_window_tray): with a tray there.
    if (qEnvironmentVariableIsSet("VELMORADO_TEST_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", qgetenv("VELMORADO_TEST_PLATFORM"));
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // A point for decimals and a comma for thousands, as sizes are written here.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
