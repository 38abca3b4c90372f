#include "about.h"

#include <QLabel>

namespace {
QLabel *makeLabel(QWidget *parent, const char *name, const QRect &geometry, int points = 0, bool bold = false)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    if (points > 0) {
        QFont font = label->font();
        font.setPointSize(points);
        font.setBold(bold);
        font.setWeight(bold ? QFont::Bold : QFont::Normal);
        label->setFont(font);
    }
    return label;
}
} // namespace

about::about(QWidget *parent)
    : QDialog(parent)
    , ui(new Form)
{
    setObjectName(QStringLiteral("about"));
    resize(543, 300);
    ui->labelLogo = makeLabel(this, "labelLogo", QRect(121, 140, 301, 91));
    ui->labelLogo->setStyleSheet(QStringLiteral("image: url(:/images/Logomarca.png);"));
    ui->labelLogo->setAccessibleName(tr("Norvale Antenna Systems"));
    // The texts are centred across the dialog, with room for the wider fonts of Linux desktops.
    ui->labelTopo = makeLabel(this, "labelTopo", QRect(10, 20, 523, 41), 20, true);
    ui->labelVersion = makeLabel(this, "labelVersion", QRect(10, 80, 523, 31), 16);
    ui->label = makeLabel(this, "label", QRect(10, 248, 523, 22), 12);
    ui->label_2 = makeLabel(this, "label_2", QRect(10, 270, 523, 22), 12);
    for (QLabel *label : {ui->labelTopo, ui->labelVersion, ui->label, ui->label_2})
        label->setAlignment(Qt::AlignCenter);

    setWindowTitle(tr("About Norvale"));
    ui->labelTopo->setText(tr("Zorvik: Talmek  Remote Control"));
    ui->labelVersion->setText(tr("Version: %1 (12/2019)").arg(QStringLiteral(ZORVIK_VERSION)));
    ui->label->setText(tr("Copyright (c) 2019 Norvale Radio Works. All rights reserved."));
    ui->label_2->setText(tr("www.norvale.example"));
    QMetaObject::connectSlotsByName(this);
}

about::~about() { delete ui; }
