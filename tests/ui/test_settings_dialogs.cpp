// The settings dialogs of the Configuration and Logs menus, opened from the
// real main window's menu entries on a real program folder, their controls
// found by name, their boxes answered by script.
#include "UiTestKit.h"

#include "config/ProgramValues.h"
#include "engine/EngineState.h"
#include "engine/Scheduler.h"
#include "ui/common/Captions.h"
#include "ui/common/UpDown.h"
#include "ui/dialogs/FolderTree.h"
#include "ui/dialogs/frmAvertirDossierErr.h"
#include "ui/dialogs/frmPathLogs.h"
#include "ui/dialogs/frmPerformance.h"
#include "ui/dialogs/frmPrefixeCible.h"
#include "ui/dialogs/frmPurgeLogs.h"
#include "ui/dialogs/frmTempo.h"
#include "ui/dialogs/frmVoirLogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStorageInfo>
#include <QToolButton>

using namespace uitest;

namespace {

QLineEdit* edit(QObject* parent, const char* name = "Text1") {
    return child<QLineEdit>(parent, name);
}
QCheckBox* check(QObject* parent, const char* name) {
    return child<QCheckBox>(parent, name);
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

// Clicks an arrow of the dialog's up-down, then checks the text and the
// limit label ("" when hidden, nullptr: not checked).
void arrow(QWidget* dialog, const char* which, const QString& text, const char* limit = "") {
    child<QToolButton>(child<ui::UpDown>(dialog, "UpDown1"), which)->click();
    QCOMPARE(edit(dialog)->text(), text);
    QLabel* shown = label(dialog, "Label1");
    QVERIFY(!limit || (shown->isHidden() ? QString() : shown->text()) == QLatin1String(limit));
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

    void aNameMissingFromItsWindowIsReported() {
#ifndef QT_NO_DEBUG
        QSKIP("a debug build stops at once on a missing name");
#else
        ui::frmPrefixeCible prefix(nullptr);
        const ui::Caption table[] = {{"lblPrefixe", "a", "b"}, {"lblAbsent", "c", "d"}};
        QTest::ignoreMessage(QtCriticalMsg, "frmPrefixeCible: no captioned control lblAbsent");
        QCOMPARE(ui::applyCaptions(&prefix, table, 0), QStringList{"lblAbsent"});
        QCOMPARE(ui::missingCaptionNames(&prefix, table), QStringList{"lblAbsent"});
        QCOMPARE(label(&prefix, "lblPrefixe")->text(), "b");
#endif
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
        QTest::newRow("wait: no number") << "mnuTempo" << 0 << "abc"
                                         << "Invalid value: abc";
        QTest::newRow("wait: past the top") << "mnuTempo" << 0 << "60001"
                                            << "Invalid value: 60001";
        QTest::newRow("wait: a half under the top rounds in but is refused")
            << "mnuTempo" << 0 << "60000.5"
            << "Invalid value: 60000.5";
        QTest::newRow("wait: French") << "mnuTempo" << 1 << "-3"
                                      << "Valeur de temporisation incorrecte: -3";
        QTest::newRow("wait: accepted") << "mnuTempo" << 0 << "15 s"
                                        << "";
        QTest::newRow("purge: one") << "mnuPurgeLogs" << 0 << "1"
                                    << "Invalid value: 1";
        QTest::newRow("purge: past a year") << "mnuPurgeLogs" << 0 << "367"
                                            << "Invalid value: 367";
        QTest::newRow("purge: no number") << "mnuPurgeLogs" << 0 << "abc"
                                          << "Invalid value: abc";
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
        QCOMPARE(last().icon, ui::Dialogs::Icon::Critical);
        QCOMPARE(last().title, "Velmorado 1.0c");
        QCOMPARE(stored, wait ? "25" : "");
        QCOMPARE(pf->setting("Logs", "PurgeLogs"), QString());
        QCOMPARE(config::settings().temporisation, 25);
    }

    // The wait's arrows stop at 1 going down only, and a half goes to the
    // even neighbour; the purge's stop at 2 and 366, and up from no number
    // gives 1 (which OK then refuses).
    void arrowsStopAtTheirLimits() {
        QVERIFY(open());
        viaMenu<ui::frmTempo>("mnuTempo", [](ui::frmTempo* dlg) {
            edit(dlg)->setText("2");
            arrow(dlg, "down", "1", "Minimal temporisation reached");
            arrow(dlg, "down", "1", "Minimal temporisation reached");
            arrow(dlg, "up", "2");
            edit(dlg)->setText("60000");
            arrow(dlg, "up", "60001");
            edit(dlg)->setText("4.5 s");
            arrow(dlg, "up", "6");
            arrow(dlg, "down", "5");
        });
        QCOMPARE(config::settings().temporisation, 10); // cancelled
        viaMenu<ui::frmPurgeLogs>("mnuPurgeLogs", [](ui::frmPurgeLogs* dlg) {
            QCOMPARE(edit(dlg)->text(), "10");
            edit(dlg)->setText("3");
            arrow(dlg, "down", "2", "Minimal value reached");
            arrow(dlg, "down", "2", "Minimal value reached");
            arrow(dlg, "up", "3");
            edit(dlg)->setText("365");
            arrow(dlg, "up", "366", "Maximal value reached");
            arrow(dlg, "up", "366", "Maximal value reached");
            edit(dlg)->setText("abc");
            arrow(dlg, "up", "1", nullptr);
        });
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

    // A stored performance opens at the nearer end of the bar and stays as
    // stored; a new one is stored on OK only.
    void performanceOpensAtTheNearerEndAndIsStoredOnOkOnly() {
        QVERIFY(open({}, "[Configuration]\r\nPerformance=250\r\n"));
        for (const auto& [stored, shown] :
             {std::pair{"250", 100}, std::pair{"-7", 1}, std::pair{"37", 37}}) {
            config::WriteSettingTo(pf->ini(), "Configuration", "Performance", stored);
            config::settings().load(pf->ini(), pf->path());
            viaMenu<ui::frmPerformance>("mnuPerformance", [&](ui::frmPerformance* dlg) {
                QCOMPARE(child<QScrollBar>(dlg, "HScroll1")->value(), shown);
                child<QScrollBar>(dlg, "HScroll1")->setValue(40);
                button(dlg, "cmdAnnuler")->click();
            });
            QCOMPARE(pf->setting("Configuration", "Performance"), stored);
        }
        viaMenu<ui::frmPerformance>("mnuPerformance", [](ui::frmPerformance* dlg) {
            child<QScrollBar>(dlg, "HScroll1")->setValue(40);
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(config::settings().performance, 40);
        QCOMPARE(pf->setting("Configuration", "Performance"), "40");
    }

    void prefixIsTrimmedCheckedAndStoredInUpperCase_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<QString>("stored");
        const QString length = "Prefix must be 2 characters", invalid = "Invalid character";
        QTest::newRow("trimmed and upper-cased") << " ra "
                                                 << ""
                                                 << "RA";
        QTest::newRow("one character") << "R" << length << "RA";
        QTest::newRow("three characters") << "RAA" << length << "RA";
        QTest::newRow("question mark") << "R?" << invalid << "RA";
        QTest::newRow("length before characters") << "???" << length << "RA";
        QTest::newRow("space inside counts") << "R A" << length << "RA";
        QTest::newRow("space after is trimmed") << "R " << length << "RA";
        QTest::newRow("backslash") << "\\A" << invalid << "RA";
        QTest::newRow("wildcard bracket") << "[A" << invalid << "RA";
        QTest::newRow("lower case kept apart") << "xy"
                                               << ""
                                               << "XY";
    }
    void prefixIsTrimmedCheckedAndStoredInUpperCase() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        QVERIFY(open());
        QString shownAfter;
        viaMenu<ui::frmPrefixeCible>("mnuPrefixe", [&](ui::frmPrefixeCible* dlg) {
            QCOMPARE(edit(dlg)->text(), "RA");
            edit(dlg)->setText(typed);
            button(dlg, "cmdOK")->click();
            shownAfter = edit(dlg)->text();
        });
        QCOMPARE(shownAfter, typed.trimmed());
        QCOMPARE(messageText(), message);
        QVERIFY(message.isEmpty() || (last().icon == ui::Dialogs::Icon::Exclamation &&
                                      last().title == "Velmorado 1.0c"));
        QCOMPARE(config::settings().prefix, stored);
        QCOMPARE(pf->setting("Configuration", "PrefixeFichiersCompresses"),
                 message.isEmpty() ? stored : QString());
    }

    // OK stores the flag, the days and the menu mark; Cancel leaves them.
    void purgeOkStoresFlagDaysAndTheMenuMark() {
        QVERIFY(open());
        QVERIFY(!entry(w, "mnuPurgeLogs")->isChecked());
        for (const bool ok : {true, false}) {
            viaMenu<ui::frmPurgeLogs>("mnuPurgeLogs", [ok](ui::frmPurgeLogs* dlg) {
                check(dlg, "chkPurgeLogs")->setChecked(ok);
                edit(dlg)->setText("12 jours");
                button(dlg, ok ? "cmdOK" : "cmdAnnuler")->click();
            });
            QVERIFY(d->shown.isEmpty());
            QCOMPARE(pf->setting("Logs", "PurgeLogs"), "1");
            QCOMPARE(pf->setting("Logs", "DelaiLogs"), "12");
            QVERIFY(config::settings().purgeLogs);
            QCOMPARE(config::settings().delaiLogs, 12);
            QVERIFY(entry(w, "mnuPurgeLogs")->isChecked());
        }
    }

    // The log folder dialog opens on the stored folder; a folder opened
    // (Enter on it) is the one stored, a folder only highlighted is not.
    // Unticked, the rest greys out but is stored all the same.
    void logFolderIsTheOneOpenedAndUntickedLogsStillStoreTheRest() {
        const QString logs = pf->folder("logs"), other = pf->folder("logs/older");
        pf->folder("logs/highlighted");
        QVERIFY(open({}, "[Logs]\r\nLogs=1\r\nPathLogs=" + logs.toUtf8() + "\r\n"));
        QVERIFY(entry(w, "mnuDefinirLogs")->isChecked());
        viaMenu<ui::frmPathLogs>("mnuDefinirLogs", [&](ui::frmPathLogs* dlg) {
            auto* tree = child<ui::FolderTree>(dlg, "Chemins");
            QCOMPARE(tree->currentFolder(), logs);
            QCOMPARE(label(dlg, "lblDossier")->text(), logs);
            QCOMPARE(child<QComboBox>(dlg, "Lecteurs")->currentData().toString(),
                     QStorageInfo(logs).rootPath());
            const auto under = [](QTreeWidgetItem* parent, const QString& name) {
                for (int i = 0; i < parent->childCount(); ++i) {
                    if (parent->child(i)->text(0) == name) {
                        return parent->child(i);
                    }
                }
                return static_cast<QTreeWidgetItem*>(nullptr);
            };
            QTreeWidgetItem* older = under(tree->currentItem(), "older");
            QVERIFY(older);
            tree->setCurrentItem(older);
            QCOMPARE(tree->currentFolder(), logs);
            QTest::keyClick(tree, Qt::Key_Return);
            QTRY_COMPARE(tree->currentFolder(), other);
            QCOMPARE(label(dlg, "lblDossier")->text(), other);
            // The tree is built again around the opened folder.
            QTreeWidgetItem* highlighted = under(tree->currentItem()->parent(), "highlighted");
            QVERIFY(highlighted);
            tree->setCurrentItem(highlighted);
            check(dlg, "chkLogs")->click();
            for (const char* name :
                 {"chkFichiersLogs", "lblTitre", "Lecteurs", "Chemins", "lblDossier"}) {
                QVERIFY2(!dlg->findChild<QWidget*>(name)->isEnabled(), name);
            }
            check(dlg, "chkFichiersLogs")->setChecked(true);
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(pf->setting("Logs", "Logs"), "0");
        QCOMPARE(pf->setting("Logs", "FichiersLogs"), "1");
        QCOMPARE(pf->setting("Logs", "PathLogs"), other);
        QCOMPARE(config::settings().pathLogs, other);
        QVERIFY(!config::settings().logs && !entry(w, "mnuDefinirLogs")->isChecked());
    }

    // The program's folder stands in for a missing log folder; a volume that
    // cannot be listed puts the list back without a word, another volume
    // takes the tree to its top; nothing is stored before OK.
    void switchingTheDailyLogOnTicksTheMenu() {
        QVERIFY(open());
        viaMenu<ui::frmPathLogs>("mnuDefinirLogs", [&](ui::frmPathLogs* dlg) {
            QCOMPARE(label(dlg, "lblDossier")->text(), pf->path());
            QVERIFY(!child<QWidget>(dlg, "Chemins")->isEnabled());
            check(dlg, "chkLogs")->click();
            QVERIFY(child<QWidget>(dlg, "Chemins")->isEnabled());
            auto* drives = child<QComboBox>(dlg, "Lecteurs");
            const int before = drives->currentIndex();
            drives->addItem("/gone  [unplugged]", "/gone-volume");
            drives->setCurrentIndex(drives->count() - 1);
            Q_EMIT drives->activated(drives->count() - 1);
            QCOMPARE(drives->currentIndex(), before);
            QCOMPARE(label(dlg, "lblDossier")->text(), pf->path());
            const int root = drives->findData("/");
            if (root >= 0 && root != before) {
                drives->setCurrentIndex(root);
                Q_EMIT drives->activated(root);
                QCOMPARE(label(dlg, "lblDossier")->text(), "/");
                Q_EMIT drives->activated(before);
                QCOMPARE(label(dlg, "lblDossier")->text(), drives->itemData(before).toString());
                child<ui::FolderTree>(dlg, "Chemins")->setCurrentFolder(pf->path());
            }
            QCOMPARE(pf->setting("Logs", "Logs"), QString());
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(pf->setting("Logs", "Logs"), "1");
        QCOMPARE(pf->setting("Logs", "PathLogs"), pf->path());
        QVERIFY(entry(w, "mnuDefinirLogs")->isChecked());
    }

    // The unknown-folder warnings: OK writes the four keys in order (an empty
    // text accepted) and the mark, in which the system log plays no part.
    void warningsOkWritesTheFourKeysInOrderAndTheMark() {
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierEventLog=1\r\nErreurDossierSon=1\r\n"));
        QVERIFY(entry(w, "mnuDossierErr")->isChecked());
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [](ui::frmAvertirDossierErr* dlg) {
            QVERIFY(check(dlg, "chkDossierErrSon")->isChecked());
            QVERIFY(!edit(dlg, "txtNetSend")->isEnabled());
            QCOMPARE(edit(dlg, "txtNetSend")->text(), config::kDefaultMessageNetSend);
            check(dlg, "chkDossierErrSon")->setChecked(false);
            edit(dlg, "txtNetSend")->clear();
            button(dlg, "cmdOK")->click();
        });
        const QByteArray ini = readFile(pf->ini());
        const auto at = [&](const char* key) { return ini.indexOf(QByteArray(key) + '='); };
        QVERIFY(at("ErreurDossier") >= 0 && at("ErreurDossierNetSend") > at("ErreurDossier"));
        QVERIFY(at("MessageNetSend") > at("ErreurDossierNetSend"));
        QVERIFY(ini.contains("ErreurDossierSon=0") && ini.contains("MessageNetSend=\r\n"));
        QCOMPARE(config::settings().messageNetSend, QString());
        QVERIFY(!entry(w, "mnuDossierErr")->isChecked());
    }

    void withoutTheNtFlagTheNetworkMessageIsOffAndStoredOff() {
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\n"));
        config::program().ntFlag = false;
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [](ui::frmAvertirDossierErr* dlg) {
            QVERIFY(!check(dlg, "chkDossierErrNetSend")->isChecked());
            for (const char* name :
                 {"chkDossierErrNetSend", "cmdEssayer", "txtNetSend", "lblNetSend"}) {
                QVERIFY2(!dlg->findChild<QWidget*>(name)->isEnabled(), name);
            }
            button(dlg, "cmdOK")->click();
        });
        config::program().ntFlag = true;
        QCOMPARE(pf->setting("Configuration", "ErreurDossierNetSend"), "0");
        QVERIFY(!config::settings().erreurDossierNetSend);
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

    void tryWithNoTextWarnsInTheStoredLanguage_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("warning");
        QTest::newRow("English") << 0 << "No message to send";
        QTest::newRow("French") << 1 << "Aucun message à envoyer";
        QTest::newRow("the language 2 of the file") << 2 << "Naõ ha mensagem";
    }
    void tryWithNoTextWarnsInTheStoredLanguage() {
        QFETCH(int, language);
        QFETCH(QString, warning);
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\nLangue=" +
                             QByteArray::number(language) + "\r\n"));
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [](ui::frmAvertirDossierErr* dlg) {
            edit(dlg, "txtNetSend")->clear();
            button(dlg, "cmdEssayer")->click();
            QVERIFY(dlg->isVisible());
        });
        QCOMPARE(messageText(), warning);
        QCOMPARE(last().title, "Velmorado");
        QCOMPARE(last().icon, ui::Dialogs::Icon::Exclamation);
    }
};

VELMORADO_UI_TEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
