// The settings dialogs of the Configuration and Logs menus, opened from the
// real main window's menu entries on a real program folder, their controls
// found by name, their boxes answered by script.
#include "UiTestKit.h"

#include "engine/EngineState.h"
#include "engine/Scheduler.h"
#include "ui/common/Captions.h"
#include "ui/dialogs/frmAvertirDossierErr.h"
#include "ui/dialogs/frmPathLogs.h"
#include "ui/dialogs/frmPerformance.h"
#include "ui/dialogs/frmPrefixeCible.h"
#include "ui/dialogs/frmPurgeLogs.h"
#include "ui/dialogs/frmTempo.h"
#include "ui/dialogs/frmVoirLogs.h"

#include <QLineEdit>
#include <QProgressBar>

using namespace uitest;

namespace {

QLineEdit* edit(QObject* parent, const char* name = "Text1") {
    return child<QLineEdit>(parent, name);
}

// Every name of a window's caption table is one of its controls, and the
// table puts its texts on them in each language.
template <typename W> void checkTable(const char* frenchOf, const char* french) {
    W window(nullptr);
    QCOMPARE(ui::missingCaptionNames(&window, W::captions()), QStringList());
    QCOMPARE(ui::applyCaptions(&window, W::captions(), 1), QStringList());
    const bool title = window.objectName() == QLatin1String(frenchOf);
    QObject* control = title ? &window : window.template findChild<QObject*>(frenchOf);
    QVERIFY(control);
    QCOMPARE(title ? window.windowTitle() : control->property("text").toString(),
             QString::fromUtf8(french));
}

} // namespace

class TestSettingsDialogs : public WindowTest {
    Q_OBJECT

    // Opens the dialog of a menu entry and runs action on it while shown.
    template <typename D> int viaMenu(const char* entryName, std::function<void(D*)> action) {
        OnShown<D> watcher(w, std::move(action));
        entry(w, entryName)->trigger();
        return watcher.count;
    }
    QString messageText() const { return last().kind == "message" ? last().text : QString(); }

private Q_SLOTS:
    void init() { fresh(); }

    void everyCaptionTableNamesControlsOfItsWindow() {
        checkTable<ui::frmTempo>("lblSecondes", "secondes");
        checkTable<ui::frmPerformance>("lblMax", "Plus fluide et moins rapide");
        checkTable<ui::frmPrefixeCible>("cmdAnnuler", "&Annuler");
        checkTable<ui::frmPurgeLogs>("lblJours", "jours");
        checkTable<ui::frmPathLogs>("lblTitre", "Les journaux sont stockés dans le dossier:");
        checkTable<ui::frmAvertirDossierErr>("frmAvertirDossierErr",
                                             "Avertir lorsqu'un dossier est inconnu");
        QVERIFY(open());
        checkTable<ui::frmVoirLogs>("frmVoirLogs", "Voir les journaux - [Retour à Velmorado] ->");
    }

    // The number boxes of the wait between passes and of the log purge: a
    // value out of range is refused with its message and the dialog stays
    // open; a value accepted is read from its leading number and stored.
    void numberBoxesRefuseWhatIsOutOfRange_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::newRow("wait: zero") << "mnuTempo" << 0 << "0"
                                    << "Invalid value: 0";
        QTest::newRow("wait: past the top") << "mnuTempo" << 0 << "60001"
                                            << "Invalid value: 60001";
        QTest::newRow("wait: French") << "mnuTempo" << 1 << "-3"
                                      << "Valeur de temporisation incorrecte: -3";
        QTest::newRow("wait: accepted") << "mnuTempo" << 0 << "15 s"
                                        << "";
        QTest::newRow("purge: past a year") << "mnuPurgeLogs" << 0 << "367"
                                            << "Invalid value: 367";
    }
    void numberBoxesRefuseWhatIsOutOfRange() {
        QFETCH(QString, menu);
        QFETCH(int, language);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QVERIFY(open({}, "[Configuration]\r\nTemporisation=25\r\nLangue=" +
                             QByteArray::number(language) + "\r\n"));
        const bool wait = menu == "mnuTempo";
        const int shown = viaMenu<QDialog>(qPrintable(menu), [&](QDialog* dlg) {
            edit(dlg)->setText(typed);
            button(dlg, "cmdOK")->click();
            QCOMPARE(dlg->isVisible(), !message.isEmpty());
        });
        QCOMPARE(shown, 1);
        QCOMPARE(messageText(), message);
        const QString stored =
            wait ? pf->setting("Configuration", "Temporisation") : pf->setting("Logs", "DelaiLogs");
        if (message.isEmpty()) {
            QCOMPARE(stored, "15");
            QCOMPARE(config::settings().temporisation, 15);
            QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->maximum(), 14);
            QCOMPARE(engine::state().countdown, 15);
            return;
        }
        QCOMPARE(stored, wait ? "25" : "");
        QCOMPARE(config::settings().temporisation, 25);
    }

    // A wait past 16 bits is counted down, and comes back at the next start.
    void aWaitPast16BitsIsCountedDownByTheScheduler() {
        QVERIFY(open(listLine(pf->folder("in"), pf->folder("out"))));
        viaMenu<ui::frmTempo>("mnuTempo", [](ui::frmTempo* dlg) {
            edit(dlg)->setText("60000");
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(pf->setting("Configuration", "Temporisation"), "60000");
        QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->maximum(), 59999);
        w->scheduler().startStop(); // the forced pass, then the wait
        QVERIFY(!engine::state().stopped);
        w->scheduler().tick();
        QCOMPARE(label(w, "lblTempo")->text(), "60000 s");
        w->scheduler().tick();
        QCOMPARE(label(w, "lblTempo")->text(), "59999 s");
        QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->value(), 1);
        w->scheduler().startStop();
        config::Settings reread;
        reread.load(pf->ini(), pf->path());
        QCOMPARE(reread.temporisation, 60000);
    }

    // Try sends the typed text, unsaved, split by the shell as typed (a fake
    // net in the program folder, found first, records its words); Cancel
    // keeps the old text.
    void trySendsTheTypedTextUnsavedAndCancelKeepsTheOld() {
        const QByteArray record = pf->filePath("net-received").toUtf8();
        QVERIFY(writeFile(pf->filePath("net"),
                          "#!/bin/sh\nprintf '%s|' \"$@\" >\"" + record + ".part\"\nmv \"" +
                              record + ".part\" \"" + record + "\"\n",
                          0755));
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\nMessageNetSend=old\r\n"));
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [&](ui::frmAvertirDossierErr* dlg) {
            edit(dlg, "txtNetSend")->setText("bob \"disk gone\" now");
            button(dlg, "cmdEssayer")->click();
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
            button(dlg, "cmdAnnuler")->click();
        });
        QCOMPARE(readFile(record), "send|bob|disk gone|now|");
        QCOMPARE(config::settings().messageNetSend, "old");
        QCOMPARE(pf->setting("Configuration", "MessageNetSend"), "old");
    }
};

VELMORADO_UI_TEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
