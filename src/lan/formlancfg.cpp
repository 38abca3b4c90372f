#include "formlancfg.h"

#include "config/panelsettings.h"
#include "config/settingsfile.h"
#include "theme/theme.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

formLanCFG::formLanCFG(QWidget *parent, const QString &path, const PanelSettings &settings)
    : QDialog(parent)
    , ui(new Form)
    , settingsPath(path)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("formLanCFG"));
    resize(400, 221);
    setStyleSheet(Theme::dialogStyleSheet());
    QFont heading = font();
    heading.setPointSize(12);
    heading.setBold(true);
    heading.setWeight(QFont::Bold);

    ui->buttonBox = new QDialogButtonBox(this);
    ui->buttonBox->setObjectName(QStringLiteral("buttonBox"));
    ui->buttonBox->setGeometry(290, 150, 81, 61);
    ui->buttonBox->setOrientation(Qt::Vertical);
    ui->buttonBox->setStandardButtons(QDialogButtonBox::Cancel | QDialogButtonBox::Ok);
    ui->lineEditIP = new QLineEdit(this);
    ui->lineEditIP->setObjectName(QStringLiteral("lineEditIP"));
    ui->lineEditIP->setGeometry(110, 80, 211, 31);
    ui->label = new QLabel(this);
    ui->label->setObjectName(QStringLiteral("label"));
    // Wide and tall enough for the heading in the fonts Linux desktops use.
    ui->label->setGeometry(40, 36, 340, 22);
    ui->label->setFont(heading);
    ui->lineEditPort = new QLineEdit(this);
    ui->lineEditPort->setObjectName(QStringLiteral("lineEditPort"));
    ui->lineEditPort->setGeometry(110, 120, 111, 31);
    ui->label_2 = new QLabel(this);
    ui->label_2->setObjectName(QStringLiteral("label_2"));
    ui->label_2->setGeometry(60, 80, 31, 21);
    ui->label_2->setFont(heading);
    ui->label_3 = new QLabel(this);
    ui->label_3->setObjectName(QStringLiteral("label_3"));
    ui->label_3->setGeometry(50, 120, 61, 21);
    ui->label_3->setFont(heading);
    ui->radioButton = new QRadioButton(this);
    ui->radioButton->setObjectName(QStringLiteral("radioButton"));
    ui->radioButton->setGeometry(50, 180, 160, 19);

    setWindowTitle(tr("Dialog"));
    ui->label->setText(tr("Insert the device IP or host name :"));
    ui->label_2->setText(tr("IP:"));
    ui->label_3->setText(tr("PORT:"));
    ui->radioButton->setText(tr("Directly to IP"));

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QMetaObject::connectSlotsByName(this);

    loadLanFields(settings);
}

formLanCFG::~formLanCFG() { delete ui; }

void formLanCFG::loadLanFields(const PanelSettings &settings)
{
    ui->lineEditIP->setText(settings.ip);
    ui->lineEditPort->setText(settings.port);
    if (settings.directIp)
        ui->radioButton->setChecked(true);
}

void formLanCFG::saveLanFields()
{
    const QString failure = SettingsFile::store(
        settingsPath,
        {{SettingsFile::Key::ip(), ui->lineEditIP->text()}, {SettingsFile::Key::port(), ui->lineEditPort->text()}});
    emit saved();
    // After the reload, whose own messages would otherwise hide it.
    if (!failure.isEmpty())
        emit notSaved(failure);
}

void formLanCFG::on_radioButton_clicked() { emit directIpChosen(ui->radioButton->isChecked()); }

void formLanCFG::on_buttonBox_accepted()
{
    saveLanFields();
    deleteLater();
}
