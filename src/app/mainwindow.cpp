#include "mainwindow.h"

#include "about.h"
#include "anchormath.h"
#include "c4sanchorlayout.h"
#include "config/labels.h"
#include "config/labelwrap.h"
#include "config/settingsfile.h"
#include "lan/hostresolution.h"
#include "mainwindowform.h"

#include <QHostInfo>
#include <QMessageBox>
#include <QResizeEvent>
#include <QSettings>

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(SettingsFile::path(), parent)
{
}

MainWindow::MainWindow(const QString &settingsFile, QWidget *parent)
    : QMainWindow(parent, Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(new Ui::mainWindow)
{
    ui->setupUi(this);
    settingsPath = settingsFile;
    anchorLayout = new C4SAnchorLayout(this);
    setEnabled(true);
    loadSettings();
    registerScaledWidgets();
}

MainWindow::~MainWindow()
{
    delete ui;
    delete anchorLayout;
}

void MainWindow::loadSettings()
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    for (int n = 1; n <= 6; ++n) {
        const QString name = settings.value(SettingsFile::Key::antennaName(n)).toString();
        ui->antennaButton(1, n - 1)->setText(wrapLabelText(name));
    }
    for (int n = 1; n <= 6; ++n) {
        const QString name = settings.value(SettingsFile::Key::antennaName(n)).toString();
        ui->antennaButton(2, n - 1)->setText(wrapLabelText(name));
    }
    ui->labelID->setText(settings.value(SettingsFile::Key::id()).toString());
    hostName = settings.value(SettingsFile::Key::ip()).toString();
    resolveHostNow();
    portText = settings.value(SettingsFile::Key::port()).toString();
    const quint8 mode = static_cast<quint8>(settings.value(SettingsFile::Key::serialMode()).toInt());
    directIp = settings.value(SettingsFile::Key::directIp()).toBool();
    if (mode == static_cast<quint8>(LinkMode::Serial)) {
        link.mode = LinkMode::Serial;
        ui->actionSerial->setChecked(true);
        ui->actionLAN->setChecked(false);
    } else {
        ui->actionSerial->setChecked(false);
        ui->actionLAN->setChecked(true);
        link.mode = LinkMode::Lan;
    }
}

void MainWindow::resolveHostNow()
{
    // Blocks the GUI thread for as long as the resolver takes.
    const QHostInfo info = QHostInfo::fromName(hostName);
    const QHostAddress address = HostResolution::preferredAddress(info.addresses());
    if (info.error() == QHostInfo::NoError && !address.isNull()) {
        hostAddress = address.toString();
    } else {
        ui->statusBar->showMessage(tr("HOST error: check LAN Settings!"));
        hostAddress = HostResolution::errorSentinel();
    }
}

void MainWindow::saveSerialMode()
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(SettingsFile::Key::serialMode(), static_cast<int>(link.mode.load()));
}

void MainWindow::on_actionLAN_triggered()
{
    ui->actionLAN->setChecked(true);
    ui->actionSerial->setChecked(false);
    link.mode = LinkMode::Lan;
    saveSerialMode();
}

void MainWindow::on_actionSerial_triggered()
{
    ui->actionSerial->setChecked(true);
    ui->actionLAN->setChecked(false);
    link.mode = LinkMode::Serial;
    saveSerialMode();
}

void MainWindow::registerScaledWidgets()
{
    const C4SAnchorLayout::AnchorMode s = C4SAnchorLayout::AnchorScale;
    QWidget *const widgets[] = {
        ui->frame,         ui->botaoPower,    ui->botaoRelease1, ui->botaoRelease2, ui->botaoSendC1,
        ui->botaoSendC2,   ui->botaoSplitC1,  ui->botaoSplitC2,  ui->botaoTecla1C1, ui->botaoTecla1C2,
        ui->botaoTecla2C1, ui->botaoTecla2C2, ui->botaoTecla3C1, ui->botaoTecla3C2, ui->botaoTecla4C1,
        ui->botaoTecla4C2, ui->botaoTecla5C1, ui->botaoTecla5C2, ui->botaoTecla6C1, ui->botaoTecla6C2,
        ui->labelID,       ui->label_A1,      ui->label_A1_2,    ui->label_A1_3,    ui->label_A2,
        ui->label_A3,      ui->label_A4,      ui->label,         ui->label_2,       ui->label_3,
    };
    for (QWidget *widget : widgets)
        anchorLayout->anchorWidget(s, s, s, s, widget);
}

void MainWindow::resizeEvent(QResizeEvent *)
{
    anchorLayout->relayout();
    resizeAllTexts(AnchorMath::textBaseSize(geometry().width()));
}

void MainWindow::resizeAllTexts(short size)
{
    const auto setPixelSize = [](QWidget *widget, int pixels) {
        QFont font = widget->font();
        font.setPixelSize(pixels);
        widget->setFont(font);
    };
    for (QWidget *button : {static_cast<QWidget *>(ui->botaoPower), static_cast<QWidget *>(ui->botaoRelease1),
                            static_cast<QWidget *>(ui->botaoRelease2), static_cast<QWidget *>(ui->botaoSendC1),
                            static_cast<QWidget *>(ui->botaoSendC2), static_cast<QWidget *>(ui->botaoSplitC1),
                            static_cast<QWidget *>(ui->botaoSplitC2)})
        setPixelSize(button, size + 3);
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            setPixelSize(ui->antennaButton(c, a), size + 1);
    }
    setPixelSize(ui->labelID, size + 5);
    for (QWidget *caption : {ui->label_A1, ui->label_A1_2, ui->label_A1_3, ui->label_A2, ui->label_A3, ui->label_A4})
        setPixelSize(caption, size + 2);
    setPixelSize(ui->label, size + 5);
    setPixelSize(ui->label_2, size + 2);
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::aboutQt(this, tr("About Qt"));
}

void MainWindow::on_actionAbout_Norvale_triggered()
{
    auto *dialog = new about(this);
    dialog->show();
}

void MainWindow::on_actionLabels_triggered()
{
    auto *dialog = new labels(this, this);
    dialog->show();
}
