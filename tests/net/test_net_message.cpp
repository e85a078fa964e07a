// The network message as the user types it, sent through the bundled net and
// never through a shell. net is copied into a program folder of the test's
// own with a fake smbclient beside it: net hands a network name to smbclient,
// and the program folder comes first on net's PATH. The fake records its
// arguments and its input, and answers with the status the case asks for.
#include "EngineTestKit.h"

#include "engine/Texts.h"
#include "platform/NetMessage.h"

using namespace kit;

class TestNetMessage : public QObject {
    Q_OBJECT

    std::optional<Program> prog;
    std::unique_ptr<QTemporaryDir> here; // the current folder, where a shell would write
    QByteArray savedPath;
    Recorder window;

    QString got() const { return prog->filePath("smbclient.got"); }
    // smbclient in the program folder: records "ARG|ARG|...|" then its input.
    void fakeSmbclient(int status, const QByteArray& said = {}) {
        QVERIFY(writeFile(prog->filePath("smbclient"),
                          "#!/bin/sh\nprintf '%s|' \"$@\" >\"$0.got\"\ncat >>\"$0.got\"\n"
                          "printf '%s' '" +
                              said + "' >&2\nexit " + QByteArray::number(status) + "\n",
                          0755));
    }

private Q_SLOTS:
    void init() {
        prog.emplace();
        QVERIFY(programkit::install(prog->path(), {"net"}));
        here = std::make_unique<QTemporaryDir>();
        QVERIFY(writeFile(here->filePath("notes"), "the user's notes"));
        QVERIFY(QDir::setCurrent(here->path()));
        savedPath = qgetenv("PATH");
        window = Recorder();
    }
    void cleanup() {
        qputenv("PATH", savedPath);
        QDir::setCurrent(QDir::tempPath());
    }

    // Whatever the text holds, net gets the recipient and the rest of the text
    // as it stands; no file of the current folder is made or touched, no
    // command runs, no name is expanded.
    void theTextReachesNetAsTyped_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("message");
        const QString pc = "WORKSTATION-7";
        const auto row = [&](const char* name, const QString& message) {
            QTest::newRow(name) << pc + ' ' + message << pc << message;
        };
        row("an arrow", "disk gone -> notes");
        row("a semicolon", "disk gone; touch ran");
        row("a star", "files here: *");
        row("an apostrophe", "Le dossier n'existe plus");
        row("quotes", "\"Warning from Velmorado: unknown folder\"");
        row("a command in it", "$(touch ran) `touch ran` | tee ran && touch ran");
        QTest::newRow("a quoted recipient, blanks kept")
            << "  \"WORK STATION\"   two  blanks, one at the end "
            << "WORK STATION"
            << "two  blanks, one at the end ";
    }
    void theTextReachesNetAsTyped() {
        QFETCH(QString, text);
        QFETCH(QString, recipient);
        QFETCH(QString, message);
        fakeSmbclient(0);
        std::optional<platform::NetSendResult> result;
        platform::sendNetMessage(text, prog->path(),
                                 [&](const platform::NetSendResult& r) { result = r; });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 30000);
        QCOMPARE(int(result->status), int(platform::NetSendResult::Status::Sent));
        QCOMPARE(result->net, prog->filePath("net"));
        QCOMPARE(QString::fromUtf8(readFile(got())), "-M|" + recipient + "|-N|" + message + '\n');
        QCOMPARE(entries(here->path()), QStringList{"notes"});
        QCOMPARE(readFile(here->filePath("notes")), "the user's notes");
        QCOMPARE(entries(prog->path()).filter("ran"), QStringList());
    }

    // A message that does not go out is said in the message window, the
    // day's log and the service's system log, even with the on-screen warning
    // off: no net, a net that cannot deliver (with its reason), a net that
    // cannot be started.
    void aMessageThatDoesNotGoOutIsSaid_data() {
        QTest::addColumn<QString>("net"); // "bundled", "none", "broken"
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("reason"); // after the time
        const QString notSent = " - Network message not sent: ";
        QTest::newRow("no net") << "none" << 0
                                << notSent + "no executable net in the program folder or on PATH";
        QTest::newRow("no net, in French")
            << "none" << 1
            << " - Message réseau non envoyé: aucun programme net exécutable dans le dossier du "
               "programme ni dans PATH";
        QTest::newRow("net cannot deliver")
            << "bundled" << 0
            << notSent + "NET ended with status 1: net: smbclient could not deliver the message "
                         "to WORKSTATION-7 (status 1)";
        QTest::newRow("net cannot be started")
            << "broken" << 0 << notSent + "NET could not be started";
    }
    void aMessageThatDoesNotGoOutIsSaid() {
        QFETCH(QString, net);
        QFETCH(int, language);
        QFETCH(QString, reason);
        config::setLanguage(language);
        config::Settings& s = config::settings();
        s.logs = s.erreurDossierNetSend = true;
        s.erreurDossier = false;
        s.messageNetSend = "WORKSTATION-7 disk gone";
        fakeSmbclient(1);
        const QString empty = prog->folder("empty");
        if (net == "none") {
            QVERIFY(QFile::remove(prog->filePath("net")));
            qputenv("PATH", QFile::encodeName(empty)); // and none on PATH either
        } else if (net == "broken") {
            QVERIFY(writeFile(prog->filePath("net"),
                              "\x7f"
                              "ELF, but not a program",
                              0755));
        }
        reason.replace("NET", prog->filePath("net"));
        QStringList systemLog;
        const engine::ServiceHooks service{
            [] { return true; },
            [&](const QString& t, int type) { systemLog << QString::number(type) + ' ' + t; }};
        engine::WarnMissingFolder(window, service, false, prog->filePath("gone/"));
        QTRY_COMPARE_WITH_TIMEOUT(window.messages.size(), 1, 30000);
        const QString said = window.messages[0];
        QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d" + QRegularExpression::escape(reason) +
                                    (net == "broken" ? ": .+" : "") + '$')
                     .match(said)
                     .hasMatch(),
                 qPrintable(said));
        QCOMPARE(logLines(prog->path(), said.left(8)),
                 QStringList{engine::htmlEscape(said) + "<br>"});
        QCOMPARE(systemLog, QStringList{"2 " + said});
    }
};

QTEST_GUILESS_MAIN(TestNetMessage)
#include "test_net_message.moc"
