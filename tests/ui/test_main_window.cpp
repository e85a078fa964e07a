// The main window: file lists, the engine's controls, captions, closing, tray,
// files waiting.
#include "UiTestKit.h"

#include "ui/main/UiSupport.h"

using namespace uitest;

namespace {
QStringList texts(const QListWidget* list) {
    QStringList all;
    std::ranges::transform(list->findItems("*", Qt::MatchWildcard), std::back_inserter(all),
                           &QListWidgetItem::text);
    return all;
}
QString tipOver(QListWidget* list, int row) {
    moveOver(list->viewport(), list->visualItemRect(list->item(row)).center());
    return list->toolTip();
}
// The window is put away: hidden in the tray where there is one, else minimised.
const auto putAway = [](QWidget* w) {
    return QSystemTrayIcon::isSystemTrayAvailable() ? !w->isVisible() : w->isMinimized();
};
const auto shownNormal = [](QWidget* w) { return w->isVisible() && !w->isMinimized(); };
// Runs an X tool of with_tray.sh to its end; its output, empty when it failed.
QString xTool(const QString& tool, const QStringList& args) {
    const filekit::Result r = filekit::run(tool, args);
    return r.code == 0 ? QString::fromUtf8(r.out) + QLatin1Char('\n') : QString();
}
// Whether the X server shows the window: mapped, and not iconic.
bool mappedOnX(const QWidget* w) {
    const QString id = QString::number(w->winId());
    return xTool("xwininfo", {"-id", id}).contains("Map State: IsViewable") &&
           xTool("xprop", {"-id", id, "WM_STATE"}).contains("window state: Normal");
}
// A StatusNotifierItem host draws the tray icons in its own bar, a window of
// the class that with_sni_tray.sh names in VELMORADO_SNI_HOST. The bar's window
// and where icons show in it, found as a person sees them: the pixels that
// differ from the bar's far end (the icons line up from its start).
std::pair<QString, QRect> sniBarIcons() {
    const QString host = qEnvironmentVariable("VELMORADO_SNI_HOST");
    const QString bar = xTool("xdotool", {"search", "--onlyvisible", "--class", host}).trimmed();
    if (host.isEmpty() || bar.isEmpty() || bar.contains('\n')) {
        return {};
    }
    const QImage drawn = QGuiApplication::primaryScreen()->grabWindow(bar.toULongLong()).toImage();
    QRect icons;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            if (drawn.pixel(x, y) != drawn.pixel(drawn.width() - 1, drawn.height() - 1)) {
                icons |= QRect(x, y, 1, 1);
            }
        }
    }
    return {bar, icons};
}
// Where xdotool clicks the tray icon; empty while it is not shown. An XEmbed
// tray tells Qt the icon's place; in a StatusNotifierItem host's bar it is
// the one icon there (square: two side by side are twice as wide as high).
QStringList trayClick(const QSystemTrayIcon* tray) {
    if (qEnvironmentVariableIsEmpty("VELMORADO_SNI_HOST")) {
        const QPoint at = tray->geometry().center();
        return tray->geometry().isEmpty() ? QStringList()
                                          : QStringList{"mousemove", QString::number(at.x()),
                                                        QString::number(at.y()), "click", "1"};
    }
    const auto [bar, icon] = sniBarIcons();
    const QPoint at = icon.center();
    return icon.isEmpty() || icon.width() > icon.height() * 3 / 2
               ? QStringList()
               : QStringList{
                     "mousemove", "--window", bar, QString::number(at.x()), QString::number(at.y()),
                     "click",     "1"};
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
        const QString src = pf->folder("in"), tgt2 = pf->folder("out2");
        const QString gone = pf->path() + "/gone";
        for (const QString name : {"a.txt", "[x]", ".h", "B.txt"}) {
            QVERIFY(writeFile(src + '/' + name, QByteArray(name == "B.txt" ? 1536 : 1, 'b')));
        }
        QDir(src).mkdir("x");
        QFile big(tgt2 + "/big.bin");
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(Q_INT64_C(3221225472))); // sparse
        QVERIFY(open(listLine(src, gone) + listLine(pf->folder("in2"), tgt2),
                     "[Configuration]\r\nAfficherFichiers=1\r\n"));
        auto* sources = child<QListWidget>(w, "lstFichiersSources");
        auto* targets = child<QListWidget>(w, "lstFichiersCibles");
        clickCell(0, 0);
        QCOMPARE(texts(sources), QStringList({".h", "[x]", "[x]", "a.txt", "B.txt"}));
        QCOMPARE(label(w, "lblNbFichiersSources")->text(), "5 files/folders in " + src);
        QCOMPARE(label(w, "lblNbFichiersCibles")->text(), "0 files/folders in ??? " + gone);
        // The folder [x] and the file [x] look alike; their tooltips do not.
        QCOMPARE(QSet<QString>({tipOver(sources, 1), tipOver(sources, 2)}),
                 QSet<QString>({"folder [x]", "[x]   1 bytes"}));
        // The next row refills both lists; a 3 GiB file shows its real size.
        grid->setCurrentCell(1, 0);
        QCOMPARE(sources->count(), 0);
        QCOMPARE(texts(targets), QStringList{"big.bin"});
        QCOMPARE(tipOver(targets, 0), "big.bin   3.00GB (3,221,225,472 bytes)");
        // F2 off: lists hidden and emptied, the legend back; on: refilled.
        clickCell(0, 2);
        for (const bool on : {false, true}) {
            entry(w, "mnuAfficherFichiers")->trigger();
            QCOMPARE(setting("Configuration", "AfficherFichiers"), QString::number(on));
            QCOMPARE(std::tuple(sources->isVisible(), sources->count(),
                                child<QWidget>(w, "frameLegende")->isVisible()),
                     std::tuple(on, on ? 5 : 0, !on));
        }
    }
    // Every control the engine drives is in the window, alone, of its kind,
    // and reached by the engine's calls.
    void everyEngineControlIsInTheWindow() {
        QVERIFY(open());
        for (const engine::ControlEntry& c : engine::controlTable()) {
            const QString name = engine::controlName(c.control);
            const QList<QObject*> found = w->findChildren<QObject*>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            auto* menu = qobject_cast<QMenu*>(found[0]);
            QObject* o = menu ? menu->menuAction() : found[0];
            bool ok = true;
            if (c.kind == engine::ControlKind::Label) {
                w->setLabelText(c.control, "text of " + name);
                ok = o->inherits("QLabel") && o->property("text") == "text of " + name;
            } else if (c.kind == engine::ControlKind::Bar) {
                w->setBarRange(c.control, 0, 7);
                w->setBarValue(c.control, 5);
                ok = o->inherits("QProgressBar") && o->property("maximum") == 7 &&
                     o->property("value") == 5;
            } else {
                for (const bool on : {false, true}) {
                    w->setControlEnabled(c.control, on);
                    ok = ok && (o->inherits("QAction") || o->inherits("QAbstractButton")) &&
                         o->property("enabled") == on;
                }
            }
            QVERIFY2(ok, qPrintable(name));
        }
    }
    // The RAR 5 entry of the Configuration menu shows and stores FormatRar5,
    // in both languages.
    void theRar5EntryStoresFormatRar5() {
        QVERIFY(open({}, "[Configuration]\r\nFormatRar5=1\r\n"));
        QAction* rar5 = entry(w, "mnuFormatRar5");
        QVERIFY(child<QMenu>(w, "mnuConfiguration")->actions().contains(rar5));
        QCOMPARE(rar5->text(), "Archives for Windows machines (RAR 5)");
        QVERIFY(rar5->isChecked() && config::settings().formatRar5);
        for (const bool on : {false, true}) {
            rar5->trigger();
            QCOMPARE(setting("Configuration", "FormatRar5"), QString::number(on));
            QCOMPARE(std::pair(rar5->isChecked(), config::settings().formatRar5),
                     std::pair(on, on));
        }
        w->AppliquerLangue(1);
        QCOMPARE(rar5->text(), "Archives pour postes Windows (RAR 5)");
    }
    // Each caption of the table names a control of the window, which shows it.
    void everyCaptionNamesAControlOfTheWindow() {
        ui::frmKestrune bare(pf->path());
        QCOMPARE(ui::missingCaptionNames(&bare, ui::frmKestrune::captions()), QStringList());
        bare.AppliquerLangue(1);
        QCOMPARE(child<QMenu>(&bare, "mnuFichier")->title(), "&Fichier");
        QCOMPARE(button(&bare, "cmdModifierDossierCible")->text(), "Modifier");
    }
    // Closing puts the window away, the File menu offering more while it is
    // hidden; Exit asks, and No keeps the program (Yes: test_startup).
    void closingPutsTheWindowAwayAndOnlyExitEnds() {
        QVERIFY(open());
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QAction* logs = entry(w, "mnuFichierVoirLogs");
        QAction* restore = entry(w, "mnuRestaurer");
        QVERIFY(!w->close());
        QTRY_VERIFY(putAway(w));
        w->hide();
        QVERIFY(logs->isVisible() && restore->isVisible());
        restore->trigger();
        QTRY_VERIFY(shownNormal(w));
        QVERIFY(!logs->isVisible() && !restore->isVisible());
        QSignalSpy ending(w, &ui::frmKestrune::programEnding);
        answer("no");
        entry(w, "mnuQuitter")->trigger();
        QCOMPARE(last().text, "Exit program");
        QVERIFY(ending.isEmpty() && shownNormal(w));
    }
    // A click or a lone double click toggles the window, a double click after
    // its click once; the right button opens the File menu; the icon tells running.
    void theTrayTogglesOnAClickAndShowsTheRunningState() {
        QVERIFY(open(listLine(pf->folder("in"), pf->folder("out"))));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto* tray = w->findChild<QSystemTrayIcon*>("PictureVelmorado");
        QVERIFY(tray); // on a real tray (test_main_window_tray) it shows there
        QTRY_VERIFY(tray->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable());
        using Clicks = QList<QSystemTrayIcon::ActivationReason>;
        const auto click = QSystemTrayIcon::Trigger, twice = QSystemTrayIcon::DoubleClick;
        bool away = false;
        for (const Clicks& clicks : {Clicks{click}, Clicks{click}, Clicks{twice}, Clicks{twice},
                                     Clicks{click, twice}, Clicks{click}}) {
            for (const auto reason : clicks) {
                Q_EMIT tray->activated(reason);
            }
            away = !away;
            QTRY_VERIFY(away ? putAway(w) : shownNormal(w));
            QTest::qWait(QApplication::doubleClickInterval() + 50);
        }
        Q_EMIT tray->activated(QSystemTrayIcon::Context);
        QMenu* file = child<QMenu>(w, "mnuFichier");
        QVERIFY(file->isVisible());
        file->hide();
        const QImage stopped = iconImage(ui::programIcon("velmorado"));
        const QImage running = iconImage(ui::programIcon("velmorado-running"));
        QVERIFY(stopped != running);
        QCOMPARE(iconImage(tray->icon()), stopped);
        for (const QImage& shown : {running, stopped}) {
            entry(w, "mnuDemarrer")->trigger();
            QCOMPARE(iconImage(tray->icon()), shown);
        }
    }
    // The real pointer on the tray icon, under a window manager: each of
    // twenty clicks maps or withdraws the window, as the X server sees it,
    // and it stays so. The window put away by the window manager's minimise
    // or by the program's own (the log viewer's) comes back on one click too.
    void everyClickOnTheTrayIconShowsOrHidesTheWindow() {
        if (QGuiApplication::platformName() != "xcb") {
            QSKIP("needs an X server with a window manager and a tray (with_tray.sh, "
                  "with_sni_tray.sh)");
        }
        // A host's bar empty first, the icon that shows next is this window's.
        QTRY_VERIFY2(sniBarIcons().second.isEmpty(), "an earlier window's icon is in the bar");
        QVERIFY(open());
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto* tray = w->findChild<QSystemTrayIcon*>("PictureVelmorado");
        QTRY_VERIFY(tray->isVisible() && !trayClick(tray).isEmpty());
        const QStringList click = trayClick(tray);
        QTRY_VERIFY(mappedOnX(w));
        // Twenty clicks; then the window manager's minimise and the
        // program's own, each four times, followed by a click that brings it
        // back.
        const QString id = QString::number(w->winId());
        for (int i = 0; i < 20 + 2 * 8; ++i) {
            const bool shown = i % 2 == 0;
            if (shown && i >= 20 && i / 2 % 2 == 0) {
                QVERIFY(!xTool("xdotool", {"windowminimize", id}).isNull());
            } else if (shown && i >= 20) {
                w->showMinimized();
            } else {
                QVERIFY(!xTool("xdotool", click).isNull());
            }
            const QByteArray step = "step " + QByteArray::number(i);
            QTRY_VERIFY2(mappedOnX(w) == !shown, step);
            QTRY_VERIFY2(shown ? !w->isVisible() : shownNormal(w), step);
            // The next click is no double click, and nothing undoes this one.
            QTest::qWait(QApplication::doubleClickInterval() + 100);
            QVERIFY2(mappedOnX(w) == !shown && w->isVisible() == !shown, step);
        }
    }
    // After a pass the window tells which files wait and why: at its foot, in
    // the tray tip, and once as a tray notice when a cause starts.
    void filesWaitingShowAtTheFootInTheTrayTipAndOnceAsANotice() {
        const QString in = pf->folder("in"), later = pf->path() + "/later";
        QVERIFY(
            open(listLine(in, later), "[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"));
        auto* tray = w->findChild<QSystemTrayIcon*>("PictureVelmorado");
        QVERIFY(tray && !w->findChild<QLabel*>("lblEnAttente"));
        QSignalSpy told(w, &ui::frmKestrune::waitNoticeShown);
        QAction* start = entry(w, "mnuDemarrer");
        const QString waiting = "Files waiting: Target folder missing (1)";
        for (int pass = 0; pass < 3; ++pass) {
            start->trigger(); // the forced pass meets the missing target
            QCOMPARE(label(w, "lblEnAttente")->text(), waiting);
            QVERIFY(!w->statusBar()->isHidden());
            QCOMPARE(tray->toolTip(), "Velmorado 1.0c - Wait\n" + waiting);
            start->trigger(); // stopped: the files still wait
            QCOMPARE(tray->toolTip(), "Velmorado 1.0c\n" + waiting);
        }
        QCOMPARE(told.count(), 1);
        QCOMPARE(told.at(0).at(1).toString(), "Files waiting: Target folder missing - " + later);
        QVERIFY(QDir().mkdir(later));
        start->trigger(), start->trigger();
        QVERIFY(label(w, "lblEnAttente")->text().isEmpty() && w->statusBar()->isHidden());
        QCOMPARE(tray->toolTip(), "Velmorado 1.0c");
        QVERIFY(QDir().rmdir(later));
        start->trigger(), start->trigger();
        QCOMPARE(told.count(), 2);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
