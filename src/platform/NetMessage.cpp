#include "platform/NetMessage.h"

#include "platform/Process.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <memory>

namespace platform {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The longest part of net's standard error that a report carries.
constexpr qsizetype kDetailLimit = 1000;

QString pathWithProgramFolder(const QString& programFolder) {
    QString path = qEnvironmentVariable("PATH");
    if (path.isEmpty()) {
        path = QStringLiteral("/usr/local/bin:/usr/bin:/bin");
    }
    return programFolder.isEmpty() ? path : programFolder + QLatin1Char(':') + path;
}

} // namespace

QStringList netSendArguments(const QString& text) {
    QStringList args{QStringLiteral("send")};
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n && isBlank(text[start])) {
        ++start;
    }
    if (start == n) {
        return args;
    }
    // The recipient ends at the first blank that the archiver's splitter
    // takes as a separator, that is one after which another word stands on
    // its own; a blank inside quotes belongs to the recipient. The splitter
    // itself decides, so the two never read a word differently.
    const QString program = QStringLiteral("net ");
    qsizetype end = start + 1;
    while (end < n &&
           !(isBlank(text[end]) &&
             splitWindowsCommandLine(program + text.mid(start, end - start) + QStringLiteral(" x"))
                     .size() == 3)) {
        ++end;
    }
    args.append(splitWindowsCommandLine(program + text.mid(start, end - start)).value(1));
    while (end < n && isBlank(text[end])) {
        ++end;
    }
    if (end < n) {
        args.append(text.mid(end));
    }
    return args;
}

QString findNet(const QString& programFolder) {
    QStringList folders;
    if (!programFolder.isEmpty()) {
        folders.append(programFolder);
    }
    for (const QString& f :
         pathWithProgramFolder(QString()).split(QLatin1Char(':'), Qt::KeepEmptyParts)) {
        folders.append(f.isEmpty() ? QStringLiteral(".") : f);
    }
    for (const QString& folder : folders) {
        // A word with "/" is taken as it stands: only an executable regular file passes.
        const QString net = findProgram(folder + QStringLiteral("/net"), QString());
        if (!net.isEmpty()) {
            return net;
        }
    }
    return {};
}

void sendNetMessage(const QString& text, const QString& programFolder,
                    std::function<void(const NetSendResult&)> done) {
    NetSendResult result;
    result.net = findNet(programFolder);
    if (result.net.isEmpty()) {
        result.status = NetSendResult::Status::NotFound;
        done(result);
        return;
    }
    // What the handlers below share; released with the process's connections.
    struct Job {
        NetSendResult result;
        std::function<void(const NetSendResult&)> done;
        bool timedOut = false;
        bool reported = false;
    };
    auto job = std::make_shared<Job>(Job{result, std::move(done)});

    // The process deletes itself once it has been reaped; the application
    // owns it until then, so that one still running when the program quits
    // is stopped and reaped rather than left behind.
    QCoreApplication* application = QCoreApplication::instance();
    auto* process = new QProcess(application);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), pathWithProgramFolder(programFolder));
    process->setProcessEnvironment(env);
    process->setProgram(result.net);
    process->setArguments(netSendArguments(text));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());

    const auto report = [process, job](NetSendResult::Status status, int exitCode,
                                       const QString& detail) {
        if (job->reported) {
            return;
        }
        job->reported = true;
        job->result.status = status;
        job->result.exitCode = exitCode;
        job->result.detail = detail;
        process->deleteLater();
        job->done(job->result);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, job, report](int exitCode, QProcess::ExitStatus exitStatus) {
                         const bool exited = exitStatus == QProcess::NormalExit;
                         const QString said =
                             QString::fromLocal8Bit(process->readAllStandardError())
                                 .simplified()
                                 .left(kDetailLimit);
                         if (job->timedOut) {
                             report(NetSendResult::Status::TimedOut, -1, said);
                         } else if (exited && exitCode == 0) {
                             report(NetSendResult::Status::Sent, 0, said);
                         } else {
                             report(NetSendResult::Status::Failed, exited ? exitCode : -1, said);
                         }
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, report](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             report(NetSendResult::Status::NotStarted, -1, process->errorString());
                         }
                     });
    if (application != nullptr) {
        // Once the application has left its event loop, whoever was to be told
        // may be gone: a net stopped at the end is not reported.
        const auto abandon = [job] { job->reported = true; };
        QObject::connect(application, &QCoreApplication::aboutToQuit, process, abandon);
        QObject::connect(application, &QObject::destroyed, process, abandon);
    }
    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, process, [process, job] {
        job->timedOut = true;
        process->kill();
    });
    process->start();
    limit->start(kNetTimeLimitMs);
}

} // namespace platform
