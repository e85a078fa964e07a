// The Help entry: the shipped page of the window's language, opened by the
// desktop's program for it or, where none can, in the program's own window.
#include "UiTestKit.h"

#include "ui/common/DocumentOpener.h"
#include "ui/dialogs/frmAide.h"

using namespace uitest;

namespace {
ui::frmAide* helpWindow(QWidget* w) {
    ui::frmAide* help = w->findChild<ui::frmAide*>("frmAide");
    return help && help->isVisible() ? help : nullptr;
}
} // namespace

class TestHelp : public WindowTest {
    Q_OBJECT
    ui::RecordingOpener* opener = nullptr;
    QByteArray path;
    // Both pages in the program folder, as the build puts them beside the executable.
    QString page(const char* language) const {
        return pf->filePath(QStringLiteral("VelmoradoHelp%1.htm").arg(language));
    }
    void openWithPages() {
        for (const char* language : {"EN", "FR"}) {
            QVERIFY(QFile::copy(programkit::binDir() + "/VelmoradoHelp" + language + ".htm",
                                page(language)));
        }
        QVERIFY(open());
    }
private Q_SLOTS:
    void initTestCase() { path = qgetenv("PATH"); }
    void init() {
        fresh();
        ui::setDocumentOpener(
            std::unique_ptr<ui::DocumentOpener>(opener = new ui::RecordingOpener));
        qputenv("PATH", path);
    }
    void cleanupTestCase() { ui::setDocumentOpener(nullptr); }

    // The opener failing: the page shows in the help window, in the window's
    // language, and the same window takes the other language's page.
    void withNoProgramThePageShowsInTheProgramsOwnWindow() {
        openWithPages();
        opener->fail = true;
        for (const auto& [language, file, title, text] :
             {std::tuple(0, "EN", "Velmorado - Help", "Close"),
              std::tuple(1, "FR", "Velmorado - Aide", "Fermer")}) {
            entry(w, language == 1 ? "mnuFrancais" : "mnuAnglais")->trigger();
            entry(w, "mnuAide")->trigger();
            ui::frmAide* help = helpWindow(w);
            QVERIFY(help);
            QCOMPARE(help->page(), page(file));
            QCOMPARE(help->windowTitle(), title);
            QCOMPARE(button(help, "cmdFermer")->text(), "&" + QString(text));
            // The page's own text, read from the file shown.
            const QString shown = child<QTextBrowser>(help, "txtAide")->toPlainText();
            QVERIFY(shown.contains("Velmorado 1.0c"));
            QVERIFY(QString::fromUtf8(readFile(page(file))).contains(shown.section('\n', 3, 3)));
            QCOMPARE(w->findChildren<ui::frmAide*>().size(), 1);
        }
        button(helpWindow(w), "cmdFermer")->click();
        QVERIFY(!helpWindow(w));
    }
    // The desktop's own opener, xdg-open (a stand-in on PATH that records its
    // words and answers as told): 0, the page is its; 3, no program for it,
    // and the help window shows it.
    void xdgOpensFailureShowsTheHelpWindow() {
        const QString bin = pf->folder("bin"), words = pf->filePath("xdg-words");
        openWithPages();
        ui::setDocumentOpener(nullptr);
        qputenv("PATH", (bin + ':').toUtf8() + path);
        for (const int status : {0, 3}) {
            QFile::remove(words);
            QVERIFY(writeFile(bin + "/xdg-open",
                              "#!/bin/sh\nprintf '%s|' \"$@\" >'" + words.toUtf8() + "'\nexit " +
                                  QByteArray::number(status) + "\n",
                              0755));
            entry(w, "mnuAide")->trigger();
            QTRY_COMPARE(readFile(words), page("EN").toUtf8() + '|');
            if (status == 0) {
                QTest::qWait(200); // xdg-open has ended; no window follows
                QVERIFY(!helpWindow(w));
            } else {
                QTRY_VERIFY(helpWindow(w));
                QCOMPARE(helpWindow(w)->page(), page("EN"));
            }
        }
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
