#include "ui/main/frmAbout.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

const QString frmAbout::kWebAddress = QStringLiteral("https://velmorado.example.org/");

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setWindowTitle(config::pickText("A propos de...", "About..."));

    auto* root = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("PictureVelmorado"));
    picture->setPixmap(programIcon("velmorado").pixmap(48, 48));
    top->addWidget(picture, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    auto* product = new QLabel(config::productAndVersion(), this);
    QFont big = product->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 3);
    product->setFont(big);
    texts->addWidget(product);
    lblCredit = new QLabel(this);
    lblCredit->setObjectName(QStringLiteral("lblCredit"));
    lblCredit->setText(
        config::pickText("Velmorado: compression/décompression de fichiers en préservant les flux",
                         "Velmorado: compress/uncompress files preserving streams") +
        QLatin1Char('\n') +
        config::pickText("Édition Linux par l'équipe Velmorado, avec Qt et libarchive",
                         "Linux edition by the Velmorado team, built with Qt and libarchive"));
    texts->addWidget(lblCredit);
    lblLink = new QLabel(kWebAddress, this);
    lblLink->setObjectName(QStringLiteral("lblLink"));
    QFont link = lblLink->font();
    link.setUnderline(true);
    lblLink->setFont(link);
    QPalette blue = lblLink->palette();
    blue.setColor(QPalette::WindowText, palette().color(QPalette::Link));
    lblLink->setPalette(blue);
    lblLink->setCursor(Qt::PointingHandCursor);
    lblLink->installEventFilter(this);
    texts->addWidget(lblLink);
    top->addLayout(texts, 1);
    root->addLayout(top);

    auto* buttons = new QHBoxLayout;
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    root->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblLink && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        dialogs().openDocument(kWebAddress);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ui
