// The main window with real widgets: the file lists and their sizes, the
// controls the engine drives, the captions, closing and the tray.
#include "UiTestKit.h"

#include "ui/common/Captions.h"
#include "ui/main/UiSupport.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
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
        clickCell(0, 0);
        QCOMPARE(texts(sources), QStringList({".h", "[x]", "[x]", "a.txt", "B.txt"}));
        QCOMPARE(nbSources->text(), QStringLiteral("5 files/folders in ") + src);
        QCOMPARE(nbTargets->text(), QStringLiteral("0 files/folders in ??? ") + gone);
        // The folder [x] and the file [x] look alike; their tooltips do not.
        QCOMPARE(tipOver(sources, 0), QStringLiteral(".h   1 bytes"));
        QCOMPARE(QSet<QString>({tipOver(sources, 1), tipOver(sources, 2)}),
                 QSet<QString>({QStringLiteral("folder [x]"), QStringLiteral("[x]   0 bytes")}));
        QCOMPARE(tipOver(sources, 4), QStringLiteral("B.txt   1.50KB (1,536 bytes)"));
        // Moving to the next row refills both lists; a 3 GiB file shows its real size.
        grid->setCurrentCell(1, 0);
        QCOMPARE(sources->count(), 0);
        QCOMPARE(texts(targets), QStringList{QStringLiteral("big.bin")});
        QCOMPARE(tipOver(targets, 0), QStringLiteral("big.bin   3.00GB (3,221,225,472 bytes)"));
        // F2 off: lists emptied and hidden, the legend back, the key written;
        // on again: shown and filled for the current row.
        clickCell(0, 2);
        for (const bool on : {false, true}) {
            entry(w, "mnuAfficherFichiers")->trigger();
            QCOMPARE(pf->setting("Configuration", "AfficherFichiers"), QString::number(on));
            QCOMPARE(sources->isVisible(), on);
            QCOMPARE(legend->isVisible(), !on);
            QCOMPARE(sources->count(), on ? 5 : 0);
        }
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

    void closingPutsTheWindowAwayAndOnlyExitEnds() {
        QVERIFY(open());
        QVERIFY(QTest::qWaitForWindowExposed(w));
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
        QCOMPARE(last().text, QStringLiteral("Exit program"));
        QCOMPARE(ending.count(), 0);
        QVERIFY(shownNormal(w));
        // Yes: test_startup (it leaves the event loop for good).
    }

    void theTrayTogglesOnAClickAndShowsTheRunningState() {
        QVERIFY(
            open(listLine(pf->folder(QStringLiteral("in")), pf->folder(QStringLiteral("out")))));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QSystemTrayIcon* tray = w->findChild<QSystemTrayIcon*>(QStringLiteral("PictureVelmorado"));
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
};

VELMORADO_UI_TEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
