// The settings dialogs of the Configuration and Logs menus, opened from the
// main window's menu entries, their boxes answered by script.
#include "UiTestKit.h"

#include "config/Language.h"
#include "engine/DailyLog.h"
#include "engine/Scheduler.h"
#include "ui/dialogs/FolderTree.h"
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
    // The prefix dialog applies the rule of start-up and of every compression:
    // what it refuses (a leading dot above all: hidden archives) is said in the window's language
    // and never used; the pass packs under "RA", standing in for the ".B" start-up refused, and the
    // log says so. A prefix accepted ends that refusal: the log no longer tells it.
    void thePrefixDialogRefusesWhatCompressionWouldNotUse_data() {
        for (const char* column : {"typed", "language", "message", "prefix"}) {
            QTest::addColumn<QString>(column);
        }
        const auto row = [](const char* typed, const char* language, const char* message,
                            const char* prefix) {
            QTest::newRow(typed) << QString::fromUtf8(typed) << language
                                 << QString::fromUtf8(message) << QString::fromUtf8(prefix);
        };
        row(".a", "0", "Prefix cannot begin with a dot: the archives would be hidden files", "RA");
        row(".b", "1",
            "Le préfixe ne peut pas commencer par un point : les archives seraient des fichiers "
            "cachés",
            "RA");
        row("a[", "0", "Invalid character", "RA");
        row("aß", "0", "Prefix must be 2 characters", "RA"); // three once in upper case
        row(" é1 ", "0", "", "É1");
    }
    void thePrefixDialogRefusesWhatCompressionWouldNotUse() {
        QFETCH(QString, typed);
        QFETCH(QString, language);
        QFETCH(QString, message);
        QFETCH(QString, prefix);
        const QString in = pf->folder("in"), out = pf->folder("out"), logs = pf->folder("logs");
        QVERIFY(
            open(listLine(in, out),
                 "[Configuration]\r\nPrefixeFichiersCompresses=.B\r\nLangue=" + language.toUtf8() +
                     "\r\n[Logs]\r\nLogs=1\r\nPathLogs=" + logs.toUtf8() + "\r\n"));
        OnShown<ui::frmPrefixeCible> shown(w, [&](ui::frmPrefixeCible* dlg) {
            child<QLineEdit>(dlg, "Text1")->setText(typed);
            button(dlg, "cmdOK")->click();
            QCOMPARE(dlg->isVisible(), !message.isEmpty());
        });
        entry(w, "mnuPrefixe")->trigger();
        QCOMPARE(last().kind == "message" ? last().text : QString(), message);
        QCOMPARE(setting("Configuration", "PrefixeFichiersCompresses"),
                 message.isEmpty() ? prefix : ".B");
        writeFile(in + "/report.txt", "the user's");
        filekit::age(in + "/report.txt");
        w->scheduler().startStop();
        w->scheduler().startStop();
        QCOMPARE(filekit::entries(out), QStringList{prefix + "000001.rar"});
        const QString log =
            QString::fromUtf8(readFile(engine::dayLogPath(logs, QDate::currentDate())));
        QCOMPARE(log.contains("&quot;.B&quot;"), !message.isEmpty());
    }
    // The log folder is never a folder of a pair, however either path is
    // written (a trailing slash, a link): the dialog says which pair in the
    // window's language and stays open, nothing stored. Another folder is.
    void theLogFolderIsNeverAFolderOfAPair_data() {
        QTest::addColumn<QString>("chosen");  // a folder under the program folder
        QTest::addColumn<QString>("message"); // empty: stored
        const QString english = "This folder is the source or the target of pair %1: Log files "
                                "cannot be stored there. Choose another one.";
        QTest::newRow("a source") << "in" << english.arg(1);
        QTest::newRow("a target stored with a slash") << "out2" << english.arg(2);
        QTest::newRow("a source stored as a link") << "in3" << english.arg(3);
        QTest::newRow("a source through a link, French")
            << "link"
            << "Ce dossier est la source ou la cible du couple 1 : les journaux ne "
               "peuvent pas y être rangés. Choisissez-en un autre.";
        QTest::newRow("another folder") << "logs"
                                        << "";
    }
    void theLogFolderIsNeverAFolderOfAPair() {
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        const auto f = [&](const char* name) { return pf->folder(name); };
        QVERIFY(QFile::link(f("in"), pf->filePath("link")) &&
                QFile::link(f("in3"), pf->filePath("link3")));
        const QByteArray french = message.startsWith("Ce") ? "Langue=1" : "";
        QVERIFY(open(listLine(f("in"), f("out")) + listLine(f("in2"), f("out2") + "/") +
                         listLine(pf->filePath("link3"), f("out3")),
                     "[Configuration]\r\n" + french +
                         "\r\n[Logs]\r\nPathLogs=" + f("old").toUtf8() + "\r\n"));
        const QString folder = f(qPrintable(chosen));
        OnShown<ui::frmPathLogs> shown(w, [&](ui::frmPathLogs* dlg) {
            QVERIFY(child<ui::FolderTree>(dlg, "Chemins")->setCurrentFolder(folder));
            button(dlg, "cmdOK")->click();
            QCOMPARE(dlg->isVisible(), !message.isEmpty());
        });
        entry(w, "mnuDefinirLogs")->trigger();
        QCOMPARE(last().kind == "message" ? last().text : QString(),
                 message.isEmpty() ? QString() : message + "\r\n" + folder);
        QCOMPARE(setting("Logs", "PathLogs"), message.isEmpty() ? folder : f("old"));
    }
    // Enter on a highlighted folder opens it, as a double click does, and the
    // dialog stays open; OK then stores the folder opened.
    void enterOpensTheHighlightedFolder() {
        const QString week = pf->folder("logs/week");
        QVERIFY(open({}, "[Logs]\r\nLogs=1\r\nPathLogs=" + pf->folder("logs").toUtf8() + "\r\n"));
        OnShown<ui::frmPathLogs> shown(w, [&](ui::frmPathLogs* dlg) {
            auto* tree = child<ui::FolderTree>(dlg, "Chemins");
            tree->setCurrentItem(tree->findItems("week", Qt::MatchRecursive).value(0));
            tree->setFocus();
            QTest::keyClick(tree, Qt::Key_Return);
            QVERIFY(dlg->isVisible());
            QTRY_COMPARE(label(dlg, "lblDossier")->text(), week);
            button(dlg, "cmdOK")->click();
        });
        entry(w, "mnuDefinirLogs")->trigger();
        QCOMPARE(setting("Logs", "PathLogs"), week);
    }
    // Try sends the typed text, unsaved: the recipient, then the rest as typed
    // (to a net in the program folder, found first, that records its words);
    // a net that fails is said in a box with what it wrote; Cancel keeps the
    // old text.
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
        QVERIFY(writeFile(pf->filePath("net"),
                          "#!/bin/sh\nprintf '%s|' \"$@\" >>'" + record +
                              "'\n[ \"$2\" = bob ] || { echo 'net: no such machine' >&2; exit 3; }",
                          0755));
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\nMessageNetSend=old\r\n"));
        OnShown<ui::frmAvertirDossierErr> shown(w, [&](ui::frmAvertirDossierErr* dlg) {
            child<QLineEdit>(dlg, "txtNetSend")->setText("bob \"disk gone\" n'est plus -> là");
            button(dlg, "cmdEssayer")->click();
            QTRY_COMPARE_WITH_TIMEOUT(readFile(record), "send|bob|\"disk gone\" n'est plus -> là|",
                                      10000);
            child<QLineEdit>(dlg, "txtNetSend")->setText("pc7 hello");
            button(dlg, "cmdEssayer")->click();
            QTRY_COMPARE_WITH_TIMEOUT(d->shown.size(), 1, 10000);
            button(dlg, "cmdAnnuler")->click();
        });
        entry(w, "mnuDossierErr")->trigger();
        QCOMPARE(shown.count, 1);
        QCOMPARE(last().text, "Network message not sent: " + pf->filePath("net") +
                                  " ended with status 3: net: no such machine");
        QCOMPARE(config::settings().messageNetSend, "old");
        QCOMPARE(setting("Configuration", "MessageNetSend"), "old");
    }
};

QTEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
