// Folder entry and the pair parameters dialog, through the main window.
#include "UiTestKit.h"

#include "config/FolderPairs.h"
#include "config/ProgramValues.h"
#include "ui/dialogs/frmSetMode.h"

using namespace uitest;
using ui::frmSetMode;

namespace {
const auto pair = [](int n) -> const config::FolderPair& { return *config::folderPairs().pair(n); };
// The list of pairs on these sources, with no target.
QByteArray sources(const QStringList& folders) {
    return std::accumulate(
        folders.begin(), folders.end(), QByteArray(),
        [](const QByteArray& list, const QString& f) { return list + listLine(f, {}); });
}
const auto ok = [](frmSetMode* dlg) { button(dlg, "cmdOK")->click(); };
using SetMode = std::optional<OnShown<frmSetMode>>; // the parameters dialogs shown
} // namespace

class TestFolderEntry : public WindowTest {
    Q_OBJECT
private Q_SLOTS:
    void init() { fresh(); }
    void pairsAreAddedByTypingAndByBrowsing() {
        const QString in1 = pf->folder("1"), in2 = pf->folder("2"), odd = pf->folder("odd !% ");
        QVERIFY(open());
        d->answers = QStringList{in1, in2, "<cancel>", odd};
        // Typed: the pair is there with no target, and no parameters dialog.
        SetMode setMode(std::in_place, w);
        entry(w, "mnuAjouterSourceSaisir")->trigger();
        QCOMPARE(setMode->count, 0);
        QCOMPARE(grid->cellText(0, 2), "???");
        QCOMPARE(readFile(pf->list()), sources({in1}));
        // Browsed: the parameters dialog opens on the new pair; OK stores the
        // defaults (compress, enabled, every pass).
        clickCell(0, 0);
        setMode.emplace(w, ok);
        button(w, "cmdAjouterDossierSource")->click();
        QCOMPARE(setMode->count, 1);
        QCOMPARE(pair(2).rar + pair(2).enable + pair(2).nbTemporisations, "011");
        QCOMPARE(readFile(pf->list()), sources({in1, in2}));
        // A cancelled browser changes nothing; a name that ends with a blank,
        // "!" or "%" is kept whole.
        setMode.emplace(w);
        entry(w, "mnuAjouterSourceParcourir")->trigger();
        QCOMPARE(readFile(pf->list()), sources({in1, in2}));
        entry(w, "mnuAjouterSourceParcourir")->trigger();
        QCOMPARE(setMode->count, 1);
        QCOMPARE(readFile(pf->list()), sources({in1, in2, odd}));
    }
    void selectedBlocksAreRemovedInEitherDirection() {
        QStringList in;
        QByteArray ini;
        for (int i = 1; i <= 5; ++i) {
            in << pf->folder(QString("in%1").arg(i));
            ini += QString("[Rar_%1]\r\nNbTemporisations=%2\r\n").arg(i).arg(i + 1).toUtf8();
        }
        QVERIFY(open(sources(in), ini));
        // Rows 3 to 1 (current row 3, selection end 1), answered No then Yes;
        // the rest are renumbered and keep their own settings.
        clickCell(0, 0);
        grid->selectBlock(2, 0);
        answer("no");
        button(w, "cmdSupprimer")->click();
        QCOMPARE(grid->rowCount(), 5);
        answer("yes");
        entry(w, "mnuSupprimerDossiers")->trigger();
        QCOMPARE(readFile(pf->list()), sources(in.mid(3)));
        QCOMPARE(pair(2).nbTemporisations, "6");
        QCOMPARE(setting("Rar_1", "NbTemporisations"), "5");
        // Blocks chosen with the mouse, downwards (Delete) and upwards; then
        // the only pair, which leaves the grid and the list file empty.
        QVERIFY(writeFile(pf->list(), sources(in)));
        w->reloadFolderPairs();
        const QList<QPair<int, int>> blocks{{1, 2}, {2, 1}, {0, 0}};
        const QList<QByteArray> left{sources({in[0], in[3], in[4]}), sources({in[0]}), ""};
        for (int i = 0; i < 3; ++i) {
            clickCell(blocks[i].first, 0);
            clickCell(blocks[i].second, 2, Qt::ShiftModifier);
            answer("yes");
            i == 0 ? QTest::keyClick(grid, Qt::Key_Delete) : button(w, "cmdSupprimer")->click();
            QCOMPARE(readFile(pf->list()), left[i]);
            QCOMPARE(grid->rowCount(), left[i].count('\n'));
        }
        QVERIFY(label(w, "lblBulle1")->isVisible());
    }
    void parametersOpenWithTheStoredValuesAndOkWritesThem() {
        QVERIFY(open(listLine(pf->folder("out"), pf->folder("in")),
                     "[Configuration]\r\nTemporisation=10\r\n"));
        // OK without a change on a pair that has no settings yet writes them, in order.
        SetMode setMode(std::in_place, w, ok);
        clickCell(0, 1);
        QVERIFY(
            readFile(pf->ini()).contains("[Rar_1]\r\nRar=0\r\nEnable=1\r\nNbTemporisations=1\r\n"));
        // A value out of range is refused at OK with its own message and the
        // dialog stays; typing is trimmed, checked and rendered in time at once.
        setMode.emplace(w, [&](frmSetMode* dlg) {
            auto* box = child<QLineEdit>(dlg, "txtMiroirN");
            child<QRadioButton>(dlg, "optTempo_1")->click();
            box->setText("70000");
            ok(dlg);
            QCOMPARE(last().text, "Value must be set between 2 and 64000");
            QVERIFY(dlg->isVisible());
            child<QRadioButton>(dlg, "optTempo_1")->click();
            box->setText(" 12 ");
            QCOMPARE(box->text(), "12");
            QVERIFY(label(dlg, "lblErr")->isHidden());
            QCOMPARE(label(dlg, "lblMiroirN2")->text(), "i.e. 0 h 2 min 0 sec");
            child<QCheckBox>(dlg, "chkEnable")->setChecked(false); // off, and to uncompress
            child<QToolButton>(dlg, "PictureSetMod")->click();
            QVERIFY(child<QRadioButton>(dlg, "optRar_1")->isChecked());
            ok(dlg);
        });
        clickCell(0, 1);
        QVERIFY(readFile(pf->ini()).contains(
            "[Rar_1]\r\nRar=1\r\nEnable=0\r\nNbTemporisations=12\r\n"));
        QCOMPARE(pair(1).remaining, "12");
        // Opened again: the stored values come back; Cancel writes nothing.
        const QByteArray before = readFile(pf->ini());
        setMode.emplace(w, [](frmSetMode* dlg) {
            QCOMPARE(child<QLineEdit>(dlg, "txtMiroirN")->text(), "12");
            child<QRadioButton>(dlg, "optRar_0")->click();
            child<QLineEdit>(dlg, "txtMiroirN")->setText("99");
            button(dlg, "cmdAnnuler")->click();
        });
        clickCell(0, 1);
        QCOMPARE(setMode->count, 1);
        QCOMPARE(readFile(pf->ini()), before);
        QCOMPARE(pair(1).nbTemporisations, "12");
    }
    // The elapsed time of an interval, whole, in both languages, far past
    // 32 bits; a number too long for 64 bits is still read as a number.
    void intervalTimeTexts() {
        using Row = std::tuple<int, qint64, qint64, QString>; // language, passes, wait, text
        for (const auto& [language, passes, wait, text] :
             {Row{0, 20, 10, "i.e. 0 h 3 min 20 sec"}, Row{1, 20, 10, "soit: 0 h 3 min 20 sec"},
              Row{1, 361, 10, "soit: 1 h 0 min 10 sec"},
              Row{0, 64000, 60000, "i.e. 1066666 h 40 min 0 sec"}}) {
            config::setLanguage(language);
            QCOMPARE(frmSetMode::timeText(passes, wait), text);
        }
        qint64 value = 0;
        QVERIFY(frmSetMode::readNumber("99999999999999999999", &value) && value > 64000);
    }
};

QTEST_MAIN(TestFolderEntry)
#include "test_folder_entry.moc"
