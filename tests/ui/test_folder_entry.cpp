// Folder entry and the pair parameters dialog, driven through the main
// window's buttons, menu entries and grid, with the boxes answered by script.
#include "UiTestKit.h"

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "engine/EngineState.h"
#include "ui/dialogs/frmSetMode.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

using namespace uitest;
using ui::frmKestrune;
using ui::frmSetMode;
using ui::PairGrid;

namespace {

QLabel* label(QObject* w, const char* name) {
    return child<QLabel>(w, name);
}
QAction* entry(QObject* w, const char* name) {
    return child<QAction>(w, name);
}
QPushButton* button(QObject* w, const char* name) {
    return child<QPushButton>(w, name);
}
void clickCell(PairGrid* grid, int row, int column,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, cellCentre(grid, row, column));
}

// What the user's double-click brings: a click, then the double-click.
void doubleClickCell(PairGrid* grid, int row, int column) {
    clickCell(grid, row, column);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                       cellCentre(grid, row, column));
}

// Closes every pair-parameters dialog that opens while it lives, counting them.
struct SetModeCloser {
    int opened = 0;
    QTimer timer;
    explicit SetModeCloser(QWidget* w) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this, w] {
            for (frmSetMode* d : w->findChildren<frmSetMode*>()) {
                if (d->isVisible()) {
                    ++opened;
                    d->reject();
                }
            }
        });
        timer.start();
    }
};

} // namespace

class TestFolderEntry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { engine::state().stopped = true; }

    void pairsAreAddedByTypingAndByBrowsing() {
        ProgramFolder pf;
        const QString in1 = pf.folder(QStringLiteral("in1"));
        const QString in2 = pf.folder(QStringLiteral("in2"));
        const QString odd = pf.folder(QStringLiteral("odd name !% "));
        ui::ScriptedDialogs* d = scripted({in1, in2, QStringLiteral("<cancel>"), odd});
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);

        // Typed: the pair is there with no target, and no parameters dialog.
        SetModeCloser closer(&w);
        entry(&w, "mnuAjouterSourceSaisir")->trigger();
        QCOMPARE(closer.opened, 0);
        QCOMPARE(d->shown.last().kind, QStringLiteral("input"));
        QCOMPARE(d->shown.last().title, QStringLiteral("Velmorado"));
        QCOMPARE(d->shown.last().text, QStringLiteral("ADD: select a SOURCE folder"));
        QCOMPARE(d->shown.last().initial, QString());
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->cellText(0, 0), in1);
        QCOMPARE(grid->cellText(0, 2), QStringLiteral("???"));
        QCOMPARE(readFile(pf.list()), listLine(in1, QString()));
        QVERIFY(!label(&w, "lblBulle1")->isVisible());

        // After the reload nothing is selected: a change asks for a selection first.
        entry(&w, "mnuModifierSourceSaisir")->trigger();
        QCOMPARE(d->shown.last().kind, QStringLiteral("message"));
        QCOMPARE(d->shown.last().text, QStringLiteral("Select a SOURCE folder to modify"));
        closer.timer.stop();

        // Browsed: the parameters dialog opens on the new pair with the defaults.
        bool checked = false;
        whenShown<frmSetMode>(&w, [&](frmSetMode* dlg) {
            checked = true;
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Parameters and time setting"));
            QCOMPARE(label(dlg, "lblSource")->text(), in2);
            QCOMPARE(label(dlg, "lblCible")->text(), QStringLiteral("???"));
            QVERIFY(child<QRadioButton>(dlg, "optRar_0")->isChecked());
            QVERIFY(child<QCheckBox>(dlg, "chkEnable")->isChecked());
            QVERIFY(child<QRadioButton>(dlg, "optTempo_0")->isChecked());
            QCOMPARE(child<QLineEdit>(dlg, "txtMiroirN")->text(), QStringLiteral("2"));
            QVERIFY(!child<QLineEdit>(dlg, "txtMiroirN")->isEnabled());
            QCOMPARE(gridOf(w)->currentRow(), 1);
            child<QPushButton>(dlg, "cmdOK")->click();
        });
        button(&w, "cmdAjouterDossierSource")->click();
        QVERIFY(checked);
        QCOMPARE(d->shown.last().kind, QStringLiteral("browse"));
        QCOMPARE(d->shown.last().text, QString());
        QCOMPARE(d->shown.last().title, QStringLiteral("ADD: select a SOURCE folder"));
        QCOMPARE(grid->rowCount(), 2);
        const config::FolderPair* added = config::folderPairs().pair(2);
        QVERIFY(added);
        QCOMPARE(added->source, in2);
        QCOMPARE(added->target, QString());
        QCOMPARE(added->rar, QStringLiteral("0"));
        QCOMPARE(added->enable, QStringLiteral("1"));
        QCOMPARE(added->nbTemporisations, QStringLiteral("1"));
        QCOMPARE(readFile(pf.list()), listLine(in1, QString()) + listLine(in2, QString()));

        // A cancelled browser changes nothing.
        const QByteArray before = readFile(pf.list());
        SetModeCloser none(&w);
        entry(&w, "mnuAjouterSourceParcourir")->trigger();
        QCOMPARE(d->shown.last().kind, QStringLiteral("browse"));
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(readFile(pf.list()), before);
        QCOMPARE(none.opened, 0);
        // A name that ends with a blank, "!" or "%" is kept whole.
        entry(&w, "mnuAjouterSourceParcourir")->trigger();
        QCOMPARE(none.opened, 1);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(config::folderPairs().pair(3)->source, odd);
        QCOMPARE(grid->cellText(2, 0), odd);
        QVERIFY(readFile(pf.list()).endsWith(listLine(odd, QString())));
    }

    void foldersOfTheSelectedPairAreChanged() {
        ProgramFolder pf;
        const QString in1 = pf.folder(QStringLiteral("in1"));
        const QString out1 = pf.folder(QStringLiteral("out1"));
        const QString in2 = pf.folder(QStringLiteral("in2"));
        const QString out2 = pf.folder(QStringLiteral("out2"));
        const QString in3 = pf.folder(QStringLiteral("in3"));
        const QString gone = pf.path() + QStringLiteral("/gone");
        QVERIFY(writeFile(pf.list(),
                          listLine(in1, QString()) + listLine(in2, out2) + listLine(gone, out2)));
        ui::ScriptedDialogs* d = scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);

        // An unset target is offered as "???"; taking it as it is sets nothing.
        clickCell(grid, 0, 0);
        d->answers = QStringList{QStringLiteral("???")};
        entry(&w, "mnuModifierCibleSaisir")->trigger();
        QCOMPARE(d->shown.last().text, QStringLiteral("MODIFY: Select a TARGET folder"));
        QCOMPARE(d->shown.last().initial, QStringLiteral("???"));
        QCOMPARE(config::folderPairs().pair(1)->target, QString());
        // Typing a folder sets it, and the change ends with nothing selected.
        d->answers = QStringList{out1};
        entry(&w, "mnuModifierCibleSaisir")->trigger();
        QCOMPARE(grid->cellText(0, 2), out1);
        QVERIFY(readFile(pf.list()).startsWith(listLine(in1, out1)));
        entry(&w, "mnuModifierCibleSaisir")->trigger();
        QCOMPARE(d->shown.last().kind, QStringLiteral("message"));
        QCOMPARE(d->shown.last().text, QStringLiteral("Select a TARGET folder to modify"));

        // A missing folder is offered with its mark; the mark is never stored.
        clickCell(grid, 2, 0);
        d->answers = QStringList{QStringLiteral("??? ") + gone};
        entry(&w, "mnuModifierSourceSaisir")->trigger();
        QCOMPARE(d->shown.last().initial, QStringLiteral("??? ") + gone);
        QCOMPARE(config::folderPairs().pair(3)->source, gone);
        QCOMPARE(grid->cellText(2, 0), QStringLiteral("??? ") + gone);
        clickCell(grid, 2, 0);
        d->answers = QStringList{QStringLiteral("??? ") + in3};
        entry(&w, "mnuModifierSourceSaisir")->trigger();
        QCOMPARE(config::folderPairs().pair(3)->source, in3);
        QCOMPARE(grid->cellText(2, 0), in3);

        // Double-clicks: the source column and the target column browse from
        // the current folder; the picture column opens no folder box.
        clickCell(grid, 1, 0);
        d->answers = QStringList{in3};
        {
            SetModeCloser closer(&w);
            doubleClickCell(grid, 1, 0);
            QCOMPARE(closer.opened, 0);
        }
        QCOMPARE(d->shown.last().kind, QStringLiteral("browse"));
        QCOMPARE(d->shown.last().title, QStringLiteral("MODIFY: Select a SOURCE folder"));
        QCOMPARE(d->shown.last().initial, in2);
        QCOMPARE(config::folderPairs().pair(2)->source, in3);
        d->answers = QStringList{QStringLiteral("<cancel>")};
        doubleClickCell(grid, 1, 2);
        QCOMPARE(d->shown.last().title, QStringLiteral("MODIFY: Select a TARGET folder"));
        QCOMPARE(d->shown.last().initial, out2);
        const int boxes = d->shown.size();
        {
            SetModeCloser closer(&w);
            doubleClickCell(grid, 1, 1);
            QVERIFY(closer.opened >= 1); // the click itself opens the parameters
        }
        QCOMPARE(d->shown.size(), boxes);
        // While processing runs a double-click does nothing.
        engine::state().stopped = false;
        doubleClickCell(grid, 1, 0);
        engine::state().stopped = true;
        QCOMPARE(d->shown.size(), boxes);
    }

    void selectedBlocksAreRemovedInEitherDirection() {
        ProgramFolder pf;
        QStringList in;
        QByteArray list;
        QByteArray ini;
        for (int i = 1; i <= 5; ++i) {
            in << pf.folder(QStringLiteral("in%1").arg(i));
            list += listLine(in.last(), QString());
            ini += QStringLiteral("[Rar_%1]\r\nNbTemporisations=%2\r\n").arg(i).arg(i + 1).toUtf8();
        }
        QVERIFY(writeFile(pf.list(), list));
        QVERIFY(writeFile(pf.ini(), ini));
        ui::ScriptedDialogs* d = scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);

        button(&w, "cmdSupprimer")->click();
        QCOMPARE(d->shown.last().text,
                 QStringLiteral("Select a couple of folders (source+target) to remove"));

        // Rows 3 to 1 (current row 3, selection end 1), answered No then Yes.
        clickCell(grid, 0, 0);
        grid->selectBlock(2, 0);
        QCOMPARE(grid->selectionEndRow(), 0);
        d->answers = QStringList{QStringLiteral("no")};
        button(&w, "cmdSupprimer")->click();
        QCOMPARE(d->shown.last().kind, QStringLiteral("question"));
        QCOMPARE(grid->rowCount(), 5);
        d->answers = QStringList{QStringLiteral("yes")};
        entry(&w, "mnuSupprimerDossiers")->trigger();
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(readFile(pf.list()), listLine(in[3], QString()) + listLine(in[4], QString()));
        // The rest are renumbered and keep their own settings.
        QCOMPARE(config::folderPairs().pair(1)->nbTemporisations, QStringLiteral("5"));
        QCOMPARE(config::folderPairs().pair(2)->nbTemporisations, QStringLiteral("6"));
        QCOMPARE(pf.setting(QStringLiteral("Rar_1"), QStringLiteral("NbTemporisations")),
                 QStringLiteral("5"));
        button(&w, "cmdModifierDossierSource")->click();
        QCOMPARE(d->shown.last().text, QStringLiteral("Select a SOURCE folder to modify"));

        // Blocks chosen with the mouse, downwards and upwards.
        QVERIFY(writeFile(pf.list(), list));
        w.reloadFolderPairs();
        clickCell(grid, 1, 0);
        clickCell(grid, 2, 2, Qt::ShiftModifier);
        d->answers = QStringList{QStringLiteral("yes")};
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->cellText(1, 0), in[3]);
        clickCell(grid, 2, 0);
        clickCell(grid, 1, 0, Qt::ShiftModifier);
        d->answers = QStringList{QStringLiteral("yes")};
        button(&w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->cellText(0, 0), in[0]);

        // The only pair: the grid and the list file end empty.
        clickCell(grid, 0, 0);
        d->answers = QStringList{QStringLiteral("yes")};
        button(&w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 0);
        QVERIFY(QFile::exists(pf.list()));
        QCOMPARE(readFile(pf.list()), QByteArray());
        QVERIFY(label(&w, "lblBulle1")->isVisible());
        QCOMPARE(label(&w, "lblNbDossiers")->text(), QStringLiteral("0"));
        button(&w, "cmdSupprimer")->click();
        QCOMPARE(d->shown.last().text, QStringLiteral("Nothing to remove"));
    }

    void parametersOpenWithTheStoredValuesAndOkWritesThem() {
        ProgramFolder pf;
        const QString in1 = pf.folder(QStringLiteral("in1"));
        const QString out1 = pf.folder(QStringLiteral("out1"));
        QVERIFY(writeFile(pf.list(), listLine(in1, out1) + listLine(out1, in1)));
        QVERIFY(writeFile(pf.ini(), "[Configuration]\r\nTemporisation=10\r\n"));
        ui::ScriptedDialogs* d = scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);

        // OK without a change on a pair that has no settings yet: written in order.
        bool opened = false;
        whenShown<frmSetMode>(&w, [&](frmSetMode* dlg) {
            opened = true;
            QCOMPARE(child<QRadioButton>(dlg, "optTempo_0")->text(),
                     QStringLiteral("Default: only one time interval (10 seconds) between "
                                    "operations"));
            QCOMPARE(label(dlg, "lblMiroirN1")->text(),
                     QStringLiteral("time intervals (10 seconds) between operations"));
            QCOMPARE(label(dlg, "lblMiroirN2")->text(), QStringLiteral("i.e. 0 h 0 min 20 sec"));
            QVERIFY(label(dlg, "lblErr")->isHidden());
            QCOMPARE(button(dlg, "cmdOK")->text(), QStringLiteral("&OK"));
            QCOMPARE(button(dlg, "cmdAnnuler")->text(), QStringLiteral("&Cancel"));
            button(dlg, "cmdOK")->click();
        });
        clickCell(grid, 0, 1);
        QVERIFY(opened);
        const QByteArray written = readFile(pf.ini());
        const qsizetype section = written.indexOf("[Rar_1]");
        QVERIFY(section >= 0);
        const qsizetype rar = written.indexOf("Rar=0", section);
        const qsizetype enable = written.indexOf("Enable=1", section);
        const qsizetype nb = written.indexOf("NbTemporisations=1", section);
        QVERIFY(rar > section && enable > rar && nb > enable);

        // Typing: trimmed at once, checked at once, rendered in time.
        opened = false;
        whenShown<frmSetMode>(&w, [&](frmSetMode* dlg) {
            opened = true;
            auto* box = child<QLineEdit>(dlg, "txtMiroirN");
            QLabel* err = label(dlg, "lblErr");
            QLabel* time = label(dlg, "lblMiroirN2");
            child<QRadioButton>(dlg, "optTempo_1")->click();
            QVERIFY(box->isEnabled());
            box->setText(QStringLiteral("360"));
            QCOMPARE(time->text(), QStringLiteral("i.e. 1 h 0 min 0 sec"));
            QVERIFY(!time->isHidden());
            box->setText(QStringLiteral("1"));
            QVERIFY(!err->isHidden());
            QCOMPARE(err->text(), QStringLiteral("Value must be between 2 and 64000"));
            QVERIFY(time->isHidden());
            box->setText(QString());
            QCOMPARE(err->text(), QStringLiteral("Invalid value"));
            for (const char* bad : {"abc", "2.5", "1e3", "12 3"}) {
                box->setText(QString::fromLatin1(bad));
                QCOMPARE(err->text(), QStringLiteral("Invalid value"));
            }
            box->setText(QStringLiteral("99999999999999999999999"));
            QCOMPARE(err->text(), QStringLiteral("Value must be between 2 and 64000"));
            // At OK the range message has its own English text; the dialog stays.
            box->setText(QStringLiteral("70000"));
            const int boxes = d->shown.size();
            button(dlg, "cmdOK")->click();
            QCOMPARE(d->shown.size(), boxes + 1);
            QCOMPARE(d->shown.last().icon, ui::Dialogs::Icon::Exclamation);
            QCOMPARE(d->shown.last().title, QStringLiteral("Velmorado"));
            QCOMPARE(d->shown.last().text, QStringLiteral("Value must be set between 2 and 64000"));
            QVERIFY(dlg->isVisible());
            // The every-pass option does not excuse an invalid number.
            box->setText(QStringLiteral("x"));
            child<QRadioButton>(dlg, "optTempo_0")->click();
            QVERIFY(!box->isEnabled());
            QCOMPARE(box->text(), QStringLiteral("x"));
            button(dlg, "cmdOK")->click();
            QCOMPARE(d->shown.last().text, QStringLiteral("Invalid value"));
            QVERIFY(dlg->isVisible());
            // " 12 " is kept as "12"; the pair is switched off and to uncompress.
            child<QRadioButton>(dlg, "optTempo_1")->click();
            box->setText(QStringLiteral(" 12 "));
            QCOMPARE(box->text(), QStringLiteral("12"));
            QVERIFY(err->isHidden());
            QCOMPARE(time->text(), QStringLiteral("i.e. 0 h 2 min 0 sec"));
            child<QCheckBox>(dlg, "chkEnable")->setChecked(false);
            child<QToolButton>(dlg, "PictureSetMod")->click();
            QVERIFY(child<QRadioButton>(dlg, "optRar_1")->isChecked());
            button(dlg, "cmdOK")->click();
        });
        clickCell(grid, 1, 1);
        QVERIFY(opened);
        QCOMPARE(pf.setting(QStringLiteral("Rar_2"), QStringLiteral("NbTemporisations")),
                 QStringLiteral("12"));
        QCOMPARE(pf.setting(QStringLiteral("Rar_2"), QStringLiteral("Rar")), QStringLiteral("1"));
        QCOMPARE(pf.setting(QStringLiteral("Rar_2"), QStringLiteral("Enable")),
                 QStringLiteral("0"));
        QCOMPARE(config::folderPairs().pair(2)->remaining, QStringLiteral("12"));
        // The row is current again and drawn in its new state.
        QCOMPARE(grid->currentRow(), 1);
        QVERIFY(grid->selectionModel()->isRowSelected(1, QModelIndex()));
        QVERIFY(grid->selectionMark()); // opened by a click on the row: still selected
        QCOMPARE(w.selectedPairNumber(), 2);
        QVERIFY(grid->item(1, 0)->font().strikeOut());
        QCOMPARE(grid->item(1, 2)->foreground().color(), QColor(128, 128, 128));
        QVERIFY(grid->item(1, 1)->data(PairGrid::UncompressRole).toBool());

        // Opened again: the stored values come back; Cancel writes nothing.
        const QByteArray before = readFile(pf.ini());
        opened = false;
        whenShown<frmSetMode>(&w, [&](frmSetMode* dlg) {
            opened = true;
            QCOMPARE(child<QLineEdit>(dlg, "txtMiroirN")->text(), QStringLiteral("12"));
            QVERIFY(child<QRadioButton>(dlg, "optTempo_1")->isChecked());
            QVERIFY(child<QRadioButton>(dlg, "optRar_1")->isChecked());
            QVERIFY(!child<QCheckBox>(dlg, "chkEnable")->isChecked());
            child<QRadioButton>(dlg, "optRar_0")->click();
            child<QLineEdit>(dlg, "txtMiroirN")->setText(QStringLiteral("99"));
            button(dlg, "cmdAnnuler")->click();
        });
        clickCell(grid, 1, 1);
        QVERIFY(opened);
        QCOMPARE(readFile(pf.ini()), before);
        QCOMPARE(config::folderPairs().pair(2)->nbTemporisations, QStringLiteral("12"));
    }

    void parametersInFrenchAndOutOfRangeStoredValues() {
        ProgramFolder pf;
        const QString in1 = pf.folder(QStringLiteral("in1"));
        QVERIFY(writeFile(pf.list(), listLine(in1, QString()) + listLine(in1, QString())));
        QVERIFY(writeFile(pf.ini(), "[Configuration]\r\nLangue=1\r\nTemporisation=10\r\n"
                                    "[Rar_1]\r\nNbTemporisations=70000\r\nRar=2\r\n"
                                    "[Rar_2]\r\nNbTemporisations=abc\r\n"));
        ui::ScriptedDialogs* d = scripted();
        frmKestrune w(pf.path());
        QVERIFY(w.load());
        PairGrid* grid = gridOf(w);
        grid->setCurrentCell(0, 0);

        // A stored interval out of range opens as every pass, with 2 in the box.
        frmSetMode first(grid, {}, &w);
        QCOMPARE(first.windowTitle(), QStringLiteral("Paramètres et temporisation"));
        QCOMPARE(child<QLineEdit>(&first, "txtMiroirN")->text(), QStringLiteral("2"));
        QVERIFY(child<QRadioButton>(&first, "optTempo_0")->isChecked());
        QVERIFY(child<QRadioButton>(&first, "optRar_1")->isChecked()); // any Rar but "0"
        QCOMPARE(label(&first, "lblMiroirN2")->text(), QStringLiteral("soit: 0 h 0 min 20 sec"));
        QCOMPARE(child<QRadioButton>(&first, "optTempo_0")->text(),
                 QStringLiteral("Défaut: une seule temporisation de 10 secondes entre chaque "
                                "traitement"));
        auto* box = child<QLineEdit>(&first, "txtMiroirN");
        box->setText(QStringLiteral("0"));
        QCOMPARE(label(&first, "lblErr")->text(),
                 QStringLiteral("La valeur doit être comprise entre 2 et 64000"));
        box->setText(QStringLiteral("70000"));
        button(&first, "cmdOK")->click();
        QCOMPARE(d->shown.last().text,
                 QStringLiteral("La valeur doit être comprise entre 2 et 64000"));
        box->setText(QStringLiteral("-"));
        QCOMPARE(label(&first, "lblErr")->text(), QStringLiteral("Valeur incorrecte"));

        grid->setCurrentCell(1, 0);
        frmSetMode second(grid, {}, &w);
        QCOMPARE(child<QLineEdit>(&second, "txtMiroirN")->text(), QStringLiteral("2"));
        QVERIFY(!child<QLineEdit>(&second, "txtMiroirN")->isEnabled());
        QVERIFY(child<QRadioButton>(&second, "optRar_0")->isChecked());

        // Nothing can be stored while processing runs.
        engine::state().stopped = false;
        frmSetMode running(grid, {}, &w);
        engine::state().stopped = true;
        QVERIFY(!button(&running, "cmdOK")->isEnabled());
        QVERIFY(button(&second, "cmdOK")->isEnabled());
    }

    void longIntervalsRenderWithoutOverflow() {
        config::program().language = 0;
        QCOMPARE(frmSetMode::timeText(20, 10), QStringLiteral("i.e. 0 h 3 min 20 sec"));
        QCOMPARE(frmSetMode::timeText(64000, 60000), QStringLiteral("i.e. 1066666 h 40 min 0 sec"));
        QCOMPARE(frmSetMode::timeText(64000, 32767), QStringLiteral("i.e. 582524 h 26 min 40 sec"));
        qint64 value = 0;
        QVERIFY(frmSetMode::readNumber(QStringLiteral(" 12 "), &value));
        QCOMPARE(value, 12);
        QVERIFY(frmSetMode::readNumber(QStringLiteral("99999999999999999999"), &value));
        QVERIFY(value > 64000);
        QVERIFY(!frmSetMode::readNumber(QString(), &value));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestFolderEntry test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_folder_entry.moc"
