// Folder entry and the pair parameters dialog, driven through the main
// window's buttons, menu entries and grid, with the boxes answered by script.
#include "UiTestKit.h"

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "ui/dialogs/frmSetMode.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

using namespace uitest;
using ui::frmSetMode;

namespace {

const config::FolderPair& pair(int number) {
    return *config::folderPairs().pair(number);
}

} // namespace

class TestFolderEntry : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void init() { fresh(); }

    void pairsAreAddedByTypingAndByBrowsing() {
        const QString in1 = pf->folder("in1");
        const QString in2 = pf->folder("in2");
        const QString odd = pf->folder("odd name !% ");
        QVERIFY(open());
        d->answers = QStringList{in1, in2, "<cancel>", odd};
        // Typed: the pair is there with no target, and no parameters dialog.
        auto setMode = std::make_unique<OnShown<frmSetMode>>(w);
        entry(w, "mnuAjouterSourceSaisir")->trigger();
        QCOMPARE(setMode->count, 0);
        QCOMPARE(grid->cellText(0, 2), "???");
        QCOMPARE(readFile(pf->list()), listLine(in1, QString()));
        // Browsed: the parameters dialog opens on the new pair; OK stores the
        // defaults (compress, enabled, every pass).
        clickCell(0, 0);
        setMode = std::make_unique<OnShown<frmSetMode>>(
            w, [](frmSetMode* dlg) { button(dlg, "cmdOK")->click(); });
        button(w, "cmdAjouterDossierSource")->click();
        QCOMPARE(setMode->count, 1);
        QCOMPARE(pair(2).rar + pair(2).enable + pair(2).nbTemporisations, "011");
        QCOMPARE(readFile(pf->list()), listLine(in1, QString()) + listLine(in2, QString()));
        // A cancelled browser changes nothing; a name that ends with a blank,
        // "!" or "%" is kept whole.
        setMode = std::make_unique<OnShown<frmSetMode>>(w);
        const QByteArray before = readFile(pf->list());
        entry(w, "mnuAjouterSourceParcourir")->trigger();
        QCOMPARE(readFile(pf->list()), before);
        QCOMPARE(setMode->count, 0);
        entry(w, "mnuAjouterSourceParcourir")->trigger();
        QCOMPARE(setMode->count, 1);
        QCOMPARE(readFile(pf->list()), before + listLine(odd, QString()));
    }

    void selectedBlocksAreRemovedInEitherDirection() {
        QStringList in;
        QByteArray list;
        QByteArray ini;
        for (int i = 1; i <= 5; ++i) {
            in << pf->folder(QString("in%1").arg(i));
            list += listLine(in.last(), QString());
            ini += QString("[Rar_%1]\r\nNbTemporisations=%2\r\n").arg(i).arg(i + 1).toUtf8();
        }
        QVERIFY(open(list, ini));
        // Rows 3 to 1 (current row 3, selection end 1), answered No then Yes.
        clickCell(0, 0);
        grid->selectBlock(2, 0);
        answer("no");
        button(w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 5);
        answer("yes");
        entry(w, "mnuSupprimerDossiers")->trigger();
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(readFile(pf->list()), listLine(in[3], QString()) + listLine(in[4], QString()));
        // The rest are renumbered and keep their own settings.
        QCOMPARE(pair(2).nbTemporisations, "6");
        QCOMPARE(pf->setting("Rar_1", "NbTemporisations"), "5");
        // Blocks chosen with the mouse, downwards and upwards.
        QVERIFY(writeFile(pf->list(), list));
        w->reloadFolderPairs();
        clickCell(1, 0);
        clickCell(2, 2, Qt::ShiftModifier);
        answer("yes");
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->cellText(1, 0), in[3]);
        clickCell(2, 0);
        clickCell(1, 0, Qt::ShiftModifier);
        answer("yes");
        button(w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->cellText(0, 0), in[0]);
        // The only pair: the grid and the list file end empty.
        clickCell(0, 0);
        answer("yes");
        button(w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 0);
        QVERIFY(QFile::exists(pf->list()));
        QCOMPARE(readFile(pf->list()), QByteArray());
        QVERIFY(label(w, "lblBulle1")->isVisible());
    }

    void parametersOpenWithTheStoredValuesAndOkWritesThem() {
        const QString in1 = pf->folder("in1");
        const QString out1 = pf->folder("out1");
        QVERIFY(open(listLine(in1, out1) + listLine(out1, in1) + listLine(in1, in1),
                     "[Configuration]\r\nTemporisation=10\r\n"));
        // OK without a change on a pair that has no settings yet writes them, in order.
        auto setMode = std::make_unique<OnShown<frmSetMode>>(
            w, [](frmSetMode* dlg) { button(dlg, "cmdOK")->click(); });
        clickCell(0, 1);
        QCOMPARE(setMode->count, 1);
        QVERIFY(
            readFile(pf->ini()).contains("[Rar_1]\r\nRar=0\r\nEnable=1\r\nNbTemporisations=1\r\n"));
        // Typing: trimmed at once, checked at once, rendered in time.
        setMode = std::make_unique<OnShown<frmSetMode>>(w, [&](frmSetMode* dlg) {
            auto* box = child<QLineEdit>(dlg, "txtMiroirN");
            QLabel* err = label(dlg, "lblErr");
            QLabel* time = label(dlg, "lblMiroirN2");
            child<QRadioButton>(dlg, "optTempo_1")->click();
            // At OK the range message has its own English text; the dialog stays.
            box->setText("70000");
            button(dlg, "cmdOK")->click();
            QCOMPARE(last().text, "Value must be set between 2 and 64000");
            QVERIFY(dlg->isVisible());
            // " 12 " is kept as "12"; the pair is switched off and to uncompress.
            child<QRadioButton>(dlg, "optTempo_1")->click();
            box->setText(" 12 ");
            QCOMPARE(box->text(), "12");
            QVERIFY(err->isHidden());
            QCOMPARE(time->text(), "i.e. 0 h 2 min 0 sec");
            child<QCheckBox>(dlg, "chkEnable")->setChecked(false);
            child<QToolButton>(dlg, "PictureSetMod")->click();
            QVERIFY(child<QRadioButton>(dlg, "optRar_1")->isChecked());
            button(dlg, "cmdOK")->click();
        });
        clickCell(1, 1);
        QCOMPARE(setMode->count, 1);
        QCOMPARE(pf->setting("Rar_2", "NbTemporisations"), "12");
        QCOMPARE(pf->setting("Rar_2", "Rar"), "1");
        QCOMPARE(pf->setting("Rar_2", "Enable"), "0");
        QCOMPARE(pair(2).remaining, "12");
        // Opened again: the stored values come back; Cancel writes nothing.
        const QByteArray before = readFile(pf->ini());
        setMode = std::make_unique<OnShown<frmSetMode>>(w, [](frmSetMode* dlg) {
            QCOMPARE(child<QLineEdit>(dlg, "txtMiroirN")->text(), "12");
            child<QRadioButton>(dlg, "optRar_0")->click();
            child<QLineEdit>(dlg, "txtMiroirN")->setText("99");
            button(dlg, "cmdAnnuler")->click();
        });
        clickCell(1, 1);
        QCOMPARE(setMode->count, 1);
        QCOMPARE(readFile(pf->ini()), before);
        QCOMPARE(pair(2).nbTemporisations, "12");
    }

    // The elapsed time of an interval, whole, in both languages, far past
    // 32 bits; a number too long for 64 bits is still read as a number.
    void intervalTimeTexts_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<qint64>("passes");
        QTest::addColumn<qint64>("temporisation");
        QTest::addColumn<QString>("text");
        QTest::newRow("English") << 0 << qint64(20) << qint64(10) << "i.e. 0 h 3 min 20 sec";
        QTest::newRow("French") << 1 << qint64(20) << qint64(10) << "soit: 0 h 3 min 20 sec";
        QTest::newRow("hours") << 1 << qint64(361) << qint64(10) << "soit: 1 h 0 min 10 sec";
        QTest::newRow("past 32 bits")
            << 0 << qint64(64000) << qint64(60000) << "i.e. 1066666 h 40 min 0 sec";
    }
    void intervalTimeTexts() {
        QFETCH(int, language);
        QFETCH(qint64, passes);
        QFETCH(qint64, temporisation);
        QFETCH(QString, text);
        config::setLanguage(language);
        QCOMPARE(frmSetMode::timeText(passes, temporisation), text);
        qint64 value = 0;
        QVERIFY(frmSetMode::readNumber("99999999999999999999", &value));
        QVERIFY(value > 64000);
    }
};

VELMORADO_UI_TEST_MAIN(TestFolderEntry)

#include "test_folder_entry.moc"
