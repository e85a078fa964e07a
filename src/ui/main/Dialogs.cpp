#include "ui/main/Dialogs.h"

#include "ui/common/DocumentOpener.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

#include <cstdio>

namespace ui {

namespace {

class RealDialogs : public Dialogs {
public:
    void message(QWidget* parent, Icon icon, const QString& title, const QString& text) override {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        box.setText(text);
        switch (icon) {
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }
    bool question(QWidget* parent, const QString& title, const QString& text) override {
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    std::optional<QString> input(QWidget* parent, const QString& title, const QString& prompt,
                                 const QString& initial) override {
        bool ok = false;
        const QString text =
            QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
        if (!ok) {
            return std::nullopt;
        }
        return text;
    }
    std::optional<QString> browseFolder(QWidget* parent, const QString& title,
                                        const QString& start) override {
        const QString folder = QFileDialog::getExistingDirectory(parent, title, start);
        if (folder.isEmpty()) {
            return std::nullopt;
        }
        return folder;
    }
    void openDocument(const QString& pathOrUrl) override { OuvrirDocument(pathOrUrl); }
    bool answerable() const override {
        const QString platform = QGuiApplication::platformName();
        return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    }
};

std::unique_ptr<Dialogs>& current() {
    static std::unique_ptr<Dialogs> d;
    return d;
}

} // namespace

Dialogs& dialogs() {
    auto& d = current();
    if (!d) {
        if (qEnvironmentVariableIsSet("VELMORADO_DIALOG_ANSWERS")) {
            const QString list = qEnvironmentVariable("VELMORADO_DIALOG_ANSWERS");
            d = std::make_unique<ScriptedDialogs>(
                list.isEmpty() ? QStringList{} : list.split(QLatin1Char(',')), true);
        } else {
            d = std::make_unique<RealDialogs>();
        }
    }
    return *d;
}

void setDialogs(std::unique_ptr<Dialogs> replacement) {
    current() = std::move(replacement);
}

ScriptedDialogs::ScriptedDialogs(QStringList list, bool echo)
    : answers(std::move(list)), m_echo(echo) {}

QString ScriptedDialogs::next() {
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

void ScriptedDialogs::record(const Shown& s) {
    shown.append(s);
    if (m_echo) {
        QString text = s.text;
        text.replace(QLatin1String("\r\n"), QLatin1String(" | "))
            .replace(QLatin1Char('\n'), QLatin1String(" | "));
        std::fprintf(stderr, "velmorado-dialog: %s: %s: %s\n", s.kind.toUtf8().constData(),
                     s.title.toUtf8().constData(), text.toUtf8().constData());
        std::fflush(stderr);
    }
}

void ScriptedDialogs::message(QWidget*, Icon icon, const QString& title, const QString& text) {
    // An OK box has nothing to choose: it takes no answer from the list.
    record({QStringLiteral("message"), icon, title, text, QString()});
}

bool ScriptedDialogs::question(QWidget*, const QString& title, const QString& text) {
    record({QStringLiteral("question"), Icon::Question, title, text, QString()});
    return next().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

std::optional<QString> ScriptedDialogs::input(QWidget*, const QString& title, const QString& prompt,
                                              const QString& initial) {
    record({QStringLiteral("input"), Icon::Question, title, prompt, initial});
    if (answers.isEmpty() || answers.front() == QLatin1String("<cancel>")) {
        next();
        return std::nullopt;
    }
    return next();
}

std::optional<QString> ScriptedDialogs::browseFolder(QWidget*, const QString& title,
                                                     const QString& start) {
    record({QStringLiteral("browse"), Icon::Question, title, QString(), start});
    if (answers.isEmpty() || answers.front() == QLatin1String("<cancel>")) {
        next();
        return std::nullopt;
    }
    return next();
}

void ScriptedDialogs::openDocument(const QString& pathOrUrl) {
    record({QStringLiteral("open"), Icon::Information, QString(), pathOrUrl, QString()});
}

} // namespace ui
