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

QLineEdit* edit(QObject* parent, const char* name) {
    return child<QLineEdit>(parent, name);
}
QCheckBox* check(QObject* parent, const char* name) {
    return child<QCheckBox>(parent, name);
}
void arrow(QWidget* dialog, const char* which) {
    child<QToolButton>(child<ui::UpDown>(dialog, "UpDown1"), which)->click();
}

// Every name of a window's caption table is one of its controls, and the
// table puts its texts on them in each language.
template <typename W> void checkTable(const char* frenchOf, const char* french) {
    W window(nullptr);
    QCOMPARE(ui::missingCaptionNames(&window, W::captions()), QStringList());
    QCOMPARE(ui::applyCaptions(&window, W::captions(), 1), QStringList());
    QObject* control = window.objectName() == QLatin1String(frenchOf)
                           ? static_cast<QObject*>(&window)
                           : window.template findChild<QObject*>(QString::fromLatin1(frenchOf));
    QVERIFY(control);
    const QString shown =
        control == &window ? window.windowTitle() : control->property("text").toString();
    QCOMPARE(shown, QString::fromUtf8(french));
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
        QCOMPARE(child<QLabel>(&prefix, "lblPrefixe")->text(), QStringLiteral("b"));
#endif
    }

    // ---------------------------------------------------------- temporisation

    void temporisationRefusesWhatIsOutOfRange_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero") << 0 << "0"
                              << "Invalid value: 0";
        QTest::newRow("no number") << 0 << "abc"
                                   << "Invalid value: abc";
        QTest::newRow("past the top") << 0 << "60001"
                                      << "Invalid value: 60001";
        QTest::newRow("a half under the top rounds in but is refused") << 0 << "60000.5"
                                                                       << "Invalid value: 60000.5";
        QTest::newRow("French") << 1 << "-3"
                                << "Valeur de temporisation incorrecte: -3";
    }
    void temporisationRefusesWhatIsOutOfRange() {
        QFETCH(int, language);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QVERIFY(open({}, "[Configuration]\r\nTemporisation=25\r\nLangue=" +
                             QByteArray::number(language) + "\r\n"));
        const int shown = viaMenu<ui::frmTempo>("mnuTempo", [&](ui::frmTempo* dlg) {
            edit(dlg, "Text1")->setText(typed);
            button(dlg, "cmdOK")->click();
            QVERIFY(dlg->isVisible()); // stays open
        });
        QCOMPARE(shown, 1);
        QCOMPARE(messageText(), message);
        QCOMPARE(last().icon, ui::Dialogs::Icon::Critical);
        QCOMPARE(last().title, QStringLiteral("Velmorado 1.0c"));
        QCOMPARE(config::settings().temporisation, 25);
        QCOMPARE(pf->setting("Configuration", "Temporisation"), QStringLiteral("25"));
    }

    void temporisationReadsTheLeadingNumberAndRestartsTheWaitBar() {
        QVERIFY(open());
        viaMenu<ui::frmTempo>("mnuTempo", [](ui::frmTempo* dlg) {
            QCOMPARE(edit(dlg, "Text1")->text(), QStringLiteral("10"));
            edit(dlg, "Text1")->setText(QStringLiteral("15 s"));
            button(dlg, "cmdOK")->click();
        });
        QVERIFY(d->shown.isEmpty());
        QCOMPARE(config::settings().temporisation, 15);
        QCOMPARE(pf->setting("Configuration", "Temporisation"), QStringLiteral("15"));
        QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->maximum(), 14);
        QCOMPARE(engine::state().countdown, 15);
    }

    void temporisationArrowsStopAtOneGoingDownOnly() {
        QVERIFY(open());
        viaMenu<ui::frmTempo>("mnuTempo", [](ui::frmTempo* dlg) {
            QLineEdit* text = edit(dlg, "Text1");
            QLabel* minimum = label(dlg, "Label1");
            text->setText(QStringLiteral("2"));
            arrow(dlg, "down");
            QCOMPARE(text->text(), QStringLiteral("1"));
            QVERIFY(!minimum->isHidden());
            QCOMPARE(minimum->text(), QStringLiteral("Minimal temporisation reached"));
            arrow(dlg, "down");
            QCOMPARE(text->text(), QStringLiteral("1"));
            arrow(dlg, "up");
            QCOMPARE(text->text(), QStringLiteral("2"));
            QVERIFY(minimum->isHidden());
            // No top of its own; a half goes to the even neighbour.
            text->setText(QStringLiteral("60000"));
            arrow(dlg, "up");
            QCOMPARE(text->text(), QStringLiteral("60001"));
            text->setText(QStringLiteral("4.5 s"));
            arrow(dlg, "up");
            QCOMPARE(text->text(), QStringLiteral("6"));
            arrow(dlg, "down");
            QCOMPARE(text->text(), QStringLiteral("5"));
        });
        QCOMPARE(config::settings().temporisation, 10); // cancelled
    }

    void aWaitPast16BitsIsCountedDownByTheScheduler() {
        const QString source = pf->folder("in"), target = pf->folder("out");
        QVERIFY(open(listLine(source, target)));
        viaMenu<ui::frmTempo>("mnuTempo", [](ui::frmTempo* dlg) {
            edit(dlg, "Text1")->setText(QStringLiteral("60000"));
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(pf->setting("Configuration", "Temporisation"), QStringLiteral("60000"));
        QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->maximum(), 59999);
        w->scheduler().startStop(); // the forced pass, then the wait
        QVERIFY(!engine::state().stopped);
        w->scheduler().tick();
        QCOMPARE(label(w, "lblTempo")->text(), QStringLiteral("60000 s"));
        w->scheduler().tick();
        QCOMPARE(label(w, "lblTempo")->text(), QStringLiteral("59999 s"));
        QCOMPARE(child<QProgressBar>(w, "ProgressBarAttente")->value(), 1);
        w->scheduler().startStop();
        // And it comes back as it was at the next start.
        config::Settings reread;
        reread.load(pf->ini(), pf->path());
        QCOMPARE(reread.temporisation, 60000);
    }

    // ---------------------------------------------------------- performance

    void performanceShowsAStoredValueAtTheNearerEnd_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("above") << QByteArray("250") << 100;
        QTest::newRow("below") << QByteArray("-7") << 1;
        QTest::newRow("inside") << QByteArray("37") << 37;
    }
    void performanceShowsAStoredValueAtTheNearerEnd() {
        QFETCH(QByteArray, stored);
        QFETCH(int, shown);
        QVERIFY(open({}, "[Configuration]\r\nPerformance=" + stored + "\r\n"));
        viaMenu<ui::frmPerformance>("mnuPerformance", [&](ui::frmPerformance* dlg) {
            QCOMPARE(child<QScrollBar>(dlg, "HScroll1")->value(), shown);
        });
        QCOMPARE(pf->setting("Configuration", "Performance"), QString::fromLatin1(stored));
    }

    void performanceIsStoredOnOkOnly() {
        QVERIFY(open());
        viaMenu<ui::frmPerformance>("mnuPerformance", [](ui::frmPerformance* dlg) {
            child<QScrollBar>(dlg, "HScroll1")->setValue(40);
            button(dlg, "cmdAnnuler")->click();
        });
        QCOMPARE(config::settings().performance, 1);
        QCOMPARE(pf->setting("Configuration", "Performance"), QString());
        viaMenu<ui::frmPerformance>("mnuPerformance", [](ui::frmPerformance* dlg) {
            child<QScrollBar>(dlg, "HScroll1")->setValue(40);
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(config::settings().performance, 40);
        QCOMPARE(pf->setting("Configuration", "Performance"), QStringLiteral("40"));
    }

    // ---------------------------------------------------------- prefix

    void prefixIsTrimmedCheckedAndStoredInUpperCase_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<QString>("stored");
        const QString length = QStringLiteral("Prefix must be 2 characters");
        const QString invalid = QStringLiteral("Invalid character");
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
            QCOMPARE(edit(dlg, "Text1")->text(), QStringLiteral("RA"));
            edit(dlg, "Text1")->setText(typed);
            button(dlg, "cmdOK")->click();
            shownAfter = edit(dlg, "Text1")->text();
        });
        QCOMPARE(shownAfter, typed.trimmed());
        QCOMPARE(messageText(), message);
        if (!message.isEmpty()) {
            QCOMPARE(last().icon, ui::Dialogs::Icon::Exclamation);
            QCOMPARE(last().title, QStringLiteral("Velmorado 1.0c"));
        }
        QCOMPARE(config::settings().prefix, stored);
        QCOMPARE(pf->setting("Configuration", "PrefixeFichiersCompresses"),
                 message.isEmpty() ? stored : QString());
    }

    // ---------------------------------------------------------- purge

    void purgeRefusesDaysOutOfRangeTickedOrNot_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("one") << "1";
        QTest::newRow("past a year") << "367";
        QTest::newRow("no number") << "abc";
    }
    void purgeRefusesDaysOutOfRangeTickedOrNot() {
        QFETCH(QString, typed);
        QVERIFY(open());
        viaMenu<ui::frmPurgeLogs>("mnuPurgeLogs", [&](ui::frmPurgeLogs* dlg) {
            edit(dlg, "Text1")->setText(typed);
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(messageText(), QStringLiteral("Invalid value: ") + typed);
        QCOMPARE(last().icon, ui::Dialogs::Icon::Critical);
        QCOMPARE(pf->setting("Logs", "DelaiLogs"), QString());
        QCOMPARE(pf->setting("Logs", "PurgeLogs"), QString());
    }

    void purgeArrowsStopAtBothLimits() {
        QVERIFY(open());
        viaMenu<ui::frmPurgeLogs>("mnuPurgeLogs", [](ui::frmPurgeLogs* dlg) {
            QLineEdit* text = edit(dlg, "Text1");
            QLabel* limit = label(dlg, "Label1");
            QCOMPARE(text->text(), QStringLiteral("10"));
            text->setText(QStringLiteral("3"));
            arrow(dlg, "down");
            QCOMPARE(text->text(), QStringLiteral("2"));
            QCOMPARE(limit->text(), QStringLiteral("Minimal value reached"));
            QVERIFY(!limit->isHidden());
            arrow(dlg, "down");
            QCOMPARE(text->text(), QStringLiteral("2"));
            arrow(dlg, "up");
            QVERIFY(limit->isHidden());
            text->setText(QStringLiteral("365"));
            arrow(dlg, "up");
            QCOMPARE(text->text(), QStringLiteral("366"));
            QCOMPARE(limit->text(), QStringLiteral("Maximal value reached"));
            arrow(dlg, "up");
            QCOMPARE(text->text(), QStringLiteral("366"));
            // Up from no number gives 1, which OK then refuses.
            text->setText(QStringLiteral("abc"));
            arrow(dlg, "up");
            QCOMPARE(text->text(), QStringLiteral("1"));
        });
    }

    void purgeOkStoresFlagDaysAndTheMenuMark() {
        QVERIFY(open());
        QVERIFY(!entry(w, "mnuPurgeLogs")->isChecked());
        viaMenu<ui::frmPurgeLogs>("mnuPurgeLogs", [](ui::frmPurgeLogs* dlg) {
            check(dlg, "chkPurgeLogs")->setChecked(true);
            edit(dlg, "Text1")->setText(QStringLiteral("12 jours"));
            button(dlg, "cmdOK")->click();
        });
        QVERIFY(d->shown.isEmpty());
        QCOMPARE(pf->setting("Logs", "PurgeLogs"), QStringLiteral("1"));
        QCOMPARE(pf->setting("Logs", "DelaiLogs"), QStringLiteral("12"));
        QVERIFY(config::settings().purgeLogs);
        QCOMPARE(config::settings().delaiLogs, 12);
        QVERIFY(entry(w, "mnuPurgeLogs")->isChecked());
        // Cancel leaves the mark as it was.
        viaMenu<ui::frmPurgeLogs>("mnuPurgeLogs", [](ui::frmPurgeLogs* dlg) {
            check(dlg, "chkPurgeLogs")->setChecked(false);
            button(dlg, "cmdAnnuler")->click();
        });
        QVERIFY(entry(w, "mnuPurgeLogs")->isChecked());
        QCOMPARE(pf->setting("Logs", "PurgeLogs"), QStringLiteral("1"));
    }

    // ---------------------------------------------------------- log folder

    void logFolderIsTheOneOpenedAndUntickedLogsStillStoreTheRest() {
        const QString logs = pf->folder("logs");
        const QString other = pf->folder("logs/older");
        pf->folder("logs/highlighted");
        QVERIFY(open({}, "[Logs]\r\nLogs=1\r\nPathLogs=" + logs.toUtf8() + "\r\n"));
        QVERIFY(entry(w, "mnuDefinirLogs")->isChecked());
        viaMenu<ui::frmPathLogs>("mnuDefinirLogs", [&](ui::frmPathLogs* dlg) {
            auto* tree = child<ui::FolderTree>(dlg, "Chemins");
            QCOMPARE(tree->currentFolder(), logs);
            QCOMPARE(label(dlg, "lblDossier")->text(), logs);
            QCOMPARE(child<QComboBox>(dlg, "Lecteurs")->currentData().toString(),
                     QStorageInfo(logs).rootPath());
            // Open one folder (Enter on it), then only highlight another.
            QTreeWidgetItem* current = tree->currentItem();
            QTreeWidgetItem* older = nullptr;
            QTreeWidgetItem* highlighted = nullptr;
            for (int i = 0; i < current->childCount(); ++i) {
                (current->child(i)->text(0) == "older" ? older : highlighted) = current->child(i);
            }
            QVERIFY(older && highlighted);
            tree->setCurrentItem(older);
            QCOMPARE(tree->currentFolder(), logs);
            QTest::keyClick(tree, Qt::Key_Return);
            QTRY_COMPARE(tree->currentFolder(), other);
            QCOMPARE(label(dlg, "lblDossier")->text(), other);
            // The tree is built again around the opened folder.
            highlighted = nullptr;
            QTreeWidgetItem* parent = tree->currentItem()->parent();
            for (int i = 0; i < parent->childCount(); ++i) {
                if (parent->child(i)->text(0) == "highlighted") {
                    highlighted = parent->child(i);
                }
            }
            QVERIFY(highlighted);
            tree->setCurrentItem(highlighted);
            // Unticked: the rest greys out but is stored all the same.
            check(dlg, "chkLogs")->click();
            for (const char* name :
                 {"chkFichiersLogs", "lblTitre", "Lecteurs", "Chemins", "lblDossier"}) {
                QVERIFY2(!dlg->findChild<QWidget*>(name)->isEnabled(), name);
            }
            check(dlg, "chkFichiersLogs")->setChecked(true);
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(pf->setting("Logs", "Logs"), QStringLiteral("0"));
        QCOMPARE(pf->setting("Logs", "FichiersLogs"), QStringLiteral("1"));
        QCOMPARE(pf->setting("Logs", "PathLogs"), other);
        QCOMPARE(config::settings().pathLogs, other);
        QVERIFY(!config::settings().logs);
        QVERIFY(!entry(w, "mnuDefinirLogs")->isChecked());
    }

    void switchingTheDailyLogOnTicksTheMenu() {
        QVERIFY(open());
        viaMenu<ui::frmPathLogs>("mnuDefinirLogs", [&](ui::frmPathLogs* dlg) {
            // The program's folder stands in for a missing log folder.
            QCOMPARE(label(dlg, "lblDossier")->text(), pf->path());
            QVERIFY(!child<QWidget>(dlg, "Chemins")->isEnabled());
            check(dlg, "chkLogs")->click();
            QVERIFY(child<QWidget>(dlg, "Chemins")->isEnabled());
            // A volume that cannot be listed puts the list back, without a word.
            auto* drives = child<QComboBox>(dlg, "Lecteurs");
            const int before = drives->currentIndex();
            drives->addItem(QStringLiteral("/gone  [unplugged]"), QStringLiteral("/gone-volume"));
            drives->setCurrentIndex(drives->count() - 1);
            Q_EMIT drives->activated(drives->count() - 1);
            QCOMPARE(drives->currentIndex(), before);
            QCOMPARE(label(dlg, "lblDossier")->text(), pf->path());
            // Another volume: the tree goes to its top.
            const int root = drives->findData(QStringLiteral("/"));
            if (root >= 0 && root != before) {
                drives->setCurrentIndex(root);
                Q_EMIT drives->activated(root);
                QCOMPARE(label(dlg, "lblDossier")->text(), QStringLiteral("/"));
                Q_EMIT drives->activated(before);
                QCOMPARE(label(dlg, "lblDossier")->text(), drives->itemData(before).toString());
                child<ui::FolderTree>(dlg, "Chemins")->setCurrentFolder(pf->path());
            }
            QCOMPARE(pf->setting("Logs", "Logs"), QString()); // nothing stored before OK
            button(dlg, "cmdOK")->click();
        });
        QCOMPARE(pf->setting("Logs", "Logs"), QStringLiteral("1"));
        QCOMPARE(pf->setting("Logs", "PathLogs"), pf->path());
        QVERIFY(entry(w, "mnuDefinirLogs")->isChecked());
    }

    // ---------------------------------------------------------- unknown-folder warnings

    void warningsOkWritesTheFourKeysInOrderAndTheMark() {
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierEventLog=1\r\nErreurDossierSon=1\r\n"));
        QVERIFY(entry(w, "mnuDossierErr")->isChecked());
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [](ui::frmAvertirDossierErr* dlg) {
            QVERIFY(check(dlg, "chkDossierErrSon")->isChecked());
            QVERIFY(!edit(dlg, "txtNetSend")->isEnabled());
            QCOMPARE(edit(dlg, "txtNetSend")->text(), config::kDefaultMessageNetSend);
            check(dlg, "chkDossierErrSon")->setChecked(false);
            edit(dlg, "txtNetSend")->clear(); // an empty text is accepted
            button(dlg, "cmdOK")->click();
        });
        const QByteArray ini = readFile(pf->ini());
        const auto at = [&](const char* key) { return ini.indexOf(QByteArray(key) + '='); };
        QVERIFY(at("ErreurDossier") >= 0);
        QVERIFY(at("ErreurDossierNetSend") > at("ErreurDossier"));
        QVERIFY(at("MessageNetSend") > at("ErreurDossierNetSend"));
        QVERIFY(ini.contains("ErreurDossierSon=0"));
        QVERIFY(ini.contains("MessageNetSend=\r\n"));
        QCOMPARE(config::settings().messageNetSend, QString());
        // The event-log warning plays no part in the mark.
        QVERIFY(!entry(w, "mnuDossierErr")->isChecked());
    }

    void withoutTheNtFlagTheNetworkMessageIsOffAndStoredOff() {
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\n"));
        config::program().ntFlag = false;
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [](ui::frmAvertirDossierErr* dlg) {
            QCheckBox* netSend = check(dlg, "chkDossierErrNetSend");
            QVERIFY(!netSend->isChecked());
            QVERIFY(!netSend->isEnabled());
            for (const char* name : {"cmdEssayer", "txtNetSend", "lblNetSend"}) {
                QVERIFY2(!dlg->findChild<QWidget*>(name)->isEnabled(), name);
            }
            button(dlg, "cmdOK")->click();
        });
        config::program().ntFlag = true;
        QCOMPARE(pf->setting("Configuration", "ErreurDossierNetSend"), QStringLiteral("0"));
        QVERIFY(!config::settings().erreurDossierNetSend);
    }

    void trySendsTheTypedTextUnsavedAndCancelKeepsTheOld() {
        // A fake net in the program folder, found first, records its words.
        const QString record = pf->path() + "/net-received";
        QVERIFY(writeFile(pf->path() + "/net",
                          "#!/bin/sh\nprintf '%s|' \"$@\" >\"" + record.toUtf8() +
                              ".part\"\n"
                              "mv \"" +
                              record.toUtf8() + ".part\" \"" + record.toUtf8() + "\"\n",
                          0755));
        QVERIFY(open({}, "[Configuration]\r\nErreurDossierNetSend=1\r\nMessageNetSend=old\r\n"));
        viaMenu<ui::frmAvertirDossierErr>("mnuDossierErr", [&](ui::frmAvertirDossierErr* dlg) {
            QVERIFY(button(dlg, "cmdEssayer")->isEnabled());
            edit(dlg, "txtNetSend")->setText(QStringLiteral("bob \"disk gone\" now"));
            button(dlg, "cmdEssayer")->click();
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
            button(dlg, "cmdAnnuler")->click();
        });
        // The shell split it as typed, quotes and all.
        QCOMPARE(readFile(record), QByteArray("send|bob|disk gone|now|"));
        QCOMPARE(config::settings().messageNetSend, QStringLiteral("old"));
        QCOMPARE(pf->setting("Configuration", "MessageNetSend"), QStringLiteral("old"));
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
        QCOMPARE(last().title, QStringLiteral("Velmorado"));
        QCOMPARE(last().icon, ui::Dialogs::Icon::Exclamation);
    }
};

VELMORADO_UI_TEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
