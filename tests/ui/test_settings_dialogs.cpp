// The settings dialogs of the Configuration and Logs menus, opened from the
// main window's menu entries, their boxes answered by script.
#include "UiTestKit.h"

#include "config/Language.h"
#include "engine/Scheduler.h"
#include "ui/dialogs/frmAide.h"
#include "ui/dialogs/frmAvertirDossierErr.h"
#include "ui/dialogs/frmPathLogs.h"
#include "ui/dialogs/frmPerformance.h"
#include "ui/dialogs/frmPrefixeCible.h"
#include "ui/dialogs/frmPurgeLogs.h"
#include "ui/dialogs/frmTempo.h"
#include "ui/dialogs/frmVoirLogs.h"

using namespace uitest;

namespace {
// Every name of a window's caption table is one of its controls, and the
// table puts its texts on them in French (frenchOf: a control, or the window).
template <typename W> void checkTable(const char* frenchOf, const char* french) {
    W window(nullptr);
    QCOMPARE(ui::missingCaptionNames(&window, W::captions()), QStringList());
    QCOMPARE(ui::applyCaptions(&window, W::captions(), 1), QStringList());
    QObject* control = child<QObject>(&window, frenchOf);
    QCOMPARE(control ? control->property("text").toString() : window.windowTitle(),
             QString::fromUtf8(french));
}
} // namespace

class TestSettingsDialogs : public WindowTest {
    Q_OBJECT
private Q_SLOTS:
    void init() { fresh(); }
    void everyCaptionTableNamesControlsOfItsWindow() {
        checkTable<ui::frmTempo>("lblSecondes", "secondes");
        checkTable<ui::frmAide>("cmdFermer", "&Fermer");
        checkTable<ui::frmPerformance>("lblMax", "Plus fluide et moins rapide");
        checkTable<ui::frmPrefixeCible>("cmdAnnuler", "&Annuler");
        checkTable<ui::frmPurgeLogs>("lblJours", "jours");
        checkTable<ui::frmPathLogs>("lblTitre", "Les journaux sont stockés dans le dossier:");
        checkTable<ui::frmAvertirDossierErr>("frmAvertirDossierErr",
                                             "Avertir lorsqu'un dossier est inconnu");
        QVERIFY(open());
        checkTable<ui::frmVoirLogs>("frmVoirLogs", "Voir les journaux - [Retour à Velmorado] ->");
    }
    // The wait between passes and the log purge: a value out of range is
    // refused with its message, the dialog staying; one accepted is read from
    // its leading number, stored and counted down whole (past 16 bits too).
    void numberBoxesRefuseWhatIsOutOfRange_data() {
        for (const char* column : {"menu", "typed", "message", "stored"}) { // message "": accepted
            QTest::addColumn<QString>(column);
        }
        const auto row = [](const char* name, const char* menu, const char* typed,
                            const char* message, const char* stored) {
            QTest::newRow(name) << menu << typed << message << stored;
        };
        row("wait: zero", "mnuTempo", "0", "Invalid value: 0", "25");
        row("wait: past the top", "mnuTempo", "60001", "Invalid value: 60001", "25");
        row("wait: French", "mnuTempo", "-3", "Valeur de temporisation incorrecte: -3", "25");
        row("wait: accepted", "mnuTempo", "15 s", "", "15");
        row("wait: past 16 bits", "mnuTempo", "60000", "", "60000");
        row("purge: past a year", "mnuPurgeLogs", "367", "Invalid value: 367", "");
    }
    void numberBoxesRefuseWhatIsOutOfRange() {
        QFETCH(QString, menu);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        const QByteArray french = message.startsWith("Valeur") ? "Langue=1\r\n" : "";
        QVERIFY(open(listLine(pf->folder("in"), pf->folder("out")),
                     "[Configuration]\r\nTemporisation=25\r\n" + french));
        OnShown<QDialog> shown(w, [&](QDialog* dlg) {
            child<QLineEdit>(dlg, "Text1")->setText(typed);
            button(dlg, "cmdOK")->click();
            QCOMPARE(dlg->isVisible(), !message.isEmpty());
        });
        entry(w, qPrintable(menu))->trigger();
        QCOMPARE(last().kind == "message" ? last().text : QString(), message);
        QCOMPARE(menu == "mnuTempo" ? setting("Configuration", "Temporisation")
                                    : setting("Logs", "DelaiLogs"),
                 stored);
        const int wait = message.isEmpty() ? stored.toInt() : 25;
        QCOMPARE(config::settings().temporisation, wait);
        if (message.isEmpty()) { // the forced pass, then the wait
            QCOMPARE(engine::state().countdown, wait);
            QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->maximum(), wait - 1);
            w->scheduler().startStop();
            w->scheduler().tick();
            w->scheduler().tick();
            QCOMPARE(label(w, "lblTempo")->text(), QString::number(wait - 1) + " s");
            QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->value(), 1);
            w->scheduler().startStop();
        }
    }
    // The minimum text of the wait dialog showing and going moves nothing:
    // the dialog keeps its size and every control its place, in both languages.
    void theWaitDialogKeepsItsLayoutWhenTheMinimumShows() {
        for (const int language : {0, 1}) {
            config::setLanguage(language);
            ui::frmTempo dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            const auto layout = [&dlg] {
                QApplication::processEvents();
                QList<QRect> places{QRect(QPoint(), dlg.size())};
                for (const char* name :
                     {"lblTempo", "Text1", "UpDown1", "lblSecondes", "cmdOK", "cmdAnnuler"}) {
                    places << child<QWidget>(&dlg, name)->geometry();
                }
                return places;
            };
            QWidget* minimum = child<QWidget>(&dlg, "Label1");
            child<QLineEdit>(&dlg, "Text1")->setText("2");
            const QList<QRect> before = layout();
            QVERIFY(!minimum->isVisible());
            for (const char* arrow : {"down", "down", "up"}) {
                child<QAbstractButton>(&dlg, arrow)->click();
                QCOMPARE(minimum->isVisible(), QByteArray(arrow) == "down");
                QCOMPARE(layout(), before);
            }
        }
    }
    // Try sends the typed text, unsaved, split by the shell as typed (to a net
    // in the program folder, found first, that records its words); Cancel
    // keeps the old text.
    void trySendsTheTypedTextUnsavedAndCancelKeepsTheOld() {
        const QByteArray record = pf->filePath("net-received").toUtf8();
        QVERIFY(writeFile(pf->filePath("net"), "#!/bin/sh\nprintf '%s|' \"$@\" >'" + record + "'",
                          0755));
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\nMessageNetSend=old\r\n"));
        OnShown<ui::frmAvertirDossierErr> shown(w, [&](ui::frmAvertirDossierErr* dlg) {
            child<QLineEdit>(dlg, "txtNetSend")->setText("bob \"disk gone\" now");
            button(dlg, "cmdEssayer")->click();
            QTRY_COMPARE_WITH_TIMEOUT(readFile(record), "send|bob|disk gone|now|", 10000);
            button(dlg, "cmdAnnuler")->click();
        });
        entry(w, "mnuDossierErr")->trigger();
        QCOMPARE(shown.count, 1);
        QCOMPARE(config::settings().messageNetSend, "old");
        QCOMPARE(setting("Configuration", "MessageNetSend"), "old");
    }
};

QTEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
