#include "remotecontroldialog.h"

#include "config/settingsfile.h"
#include "qrcodewidget.h"
#include "remote/remotepageaddress.h"
#include "remote/remotetoken.h"
#include "station/station.h"
#include "theme/theme.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

RemoteControlDialog::RemoteControlDialog(QWidget *parent, Station &observed)
    : QDialog(parent)
    , station(observed)
    , settingsPath(observed.settingsFilePath())
{
    using Mode = PanelSettings::Remote::Mode;
    setObjectName(QStringLiteral("remoteControlDialog"));
    setWindowTitle(tr("Remote Control"));
    setStyleSheet(Theme::dialogStyleSheet());
    setAttribute(Qt::WA_DeleteOnClose);

    auto *form = new QFormLayout;
    auto *modes = new QVBoxLayout;
    mode = new QButtonGroup(this);
    const std::pair<Mode, QString> choices[] = {
        {Mode::Off, tr("&Off")},
        {Mode::Local, tr("This &computer only")},
        {Mode::Network, tr("The &network, with a token")}};
    for (const auto &[kind, text] : choices) {
        auto *choice = new QRadioButton(text, this);
        choice->setObjectName(QStringLiteral("remote_") + PanelSettings::Remote::modeName(kind));
        mode->addButton(choice, int(kind));
        modes->addWidget(choice);
    }
    form->addRow(tr("Serve:"), modes);

    address = new QLineEdit(this);
    address->setObjectName(QStringLiteral("remoteAddress"));
    address->setPlaceholderText(tr("all addresses"));
    address->setAccessibleName(tr("Address to listen on"));
    auto *addressLabel = new QLabel(tr("&Address:"), this);
    addressLabel->setBuddy(address);
    form->addRow(addressLabel, address);

    port = new QSpinBox(this);
    port->setObjectName(QStringLiteral("remotePort"));
    port->setRange(1, 65535);
    port->setAccessibleName(tr("TCP port"));
    auto *portLabel = new QLabel(tr("&Port:"), this);
    portLabel->setBuddy(port);
    form->addRow(portLabel, port);

    pageAddress = new QLineEdit(this);
    pageAddress->setObjectName(QStringLiteral("pageAddress"));
    pageAddress->setReadOnly(true);
    pageAddress->setAccessibleName(tr("Address to open in a browser"));
    form->addRow(tr("Open:"), pageAddress);

    form->addRow(tr("Control token:"), tokenRow(QStringLiteral("control"), &controlToken, tr("Control token")));
    form->addRow(tr("View token:"), tokenRow(QStringLiteral("view"), &viewToken, tr("View token (watch only)")));

    qrCode = new QrCodeWidget(this);
    qrCode->setObjectName(QStringLiteral("qrCode"));
    qrCode->setAccessibleName(tr("QR code of the page's address"));

    lock = new QCheckBox(tr("&Lock remote switching"), this);
    lock->setObjectName(QStringLiteral("lockRemote"));
    lock->setToolTip(tr("Remote clients see the lock and cannot lift it; their commands are refused."));
    lock->setChecked(station.remoteLocked());
    connect(lock, &QCheckBox::toggled, &station, &Station::setRemoteLocked);
    connect(&station, &Station::remoteLockChanged, lock, [this](quint64, bool locked) { lock->setChecked(locked); });

    problem = new QLabel(this);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setStyleSheet(QStringLiteral("color: #ffa02f;"));
    problem->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("botaoOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (save())
            close();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto *columns = new QHBoxLayout;
    columns->addLayout(form, 1);
    columns->addWidget(qrCode);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(lock);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    PanelSettings::Remote remote = station.settings().remote;
    setRemote(remote);
    connect(mode, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on)
            showAddress();
    });
    connect(address, &QLineEdit::textChanged, this, &RemoteControlDialog::showAddress);
    connect(port, QOverload<int>::of(&QSpinBox::valueChanged), this, &RemoteControlDialog::showAddress);
}

QWidget *RemoteControlDialog::tokenRow(const QString &name, QLineEdit **field, const QString &accessibleName)
{
    auto *row = new QWidget(this);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto *text = new QLineEdit(row);
    text->setObjectName(name + QStringLiteral("Token"));
    text->setReadOnly(true);
    text->setAccessibleName(accessibleName);
    text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 30);
    auto *copy = new QPushButton(tr("Copy"), row);
    copy->setObjectName(name + QStringLiteral("TokenCopy"));
    copy->setAccessibleName(tr("Copy the %1").arg(accessibleName.toLower()));
    auto *makeNew = new QPushButton(tr("Make new"), row);
    makeNew->setObjectName(name + QStringLiteral("TokenNew"));
    makeNew->setAccessibleName(tr("Make a new %1").arg(accessibleName.toLower()));
    makeNew->setToolTip(tr("Clients signed in with the old token are refused once the new one is saved."));
    connect(copy, &QPushButton::clicked, this, [text] {
        if (!text->text().isEmpty())
            QGuiApplication::clipboard()->setText(text->text());
    });
    connect(makeNew, &QPushButton::clicked, this, [this, text] {
        text->setText(RemoteToken::make());
        showAddress();
    });
    connect(text, &QLineEdit::textChanged, copy, [copy](const QString &now) { copy->setEnabled(!now.isEmpty()); });
    copy->setEnabled(false);
    line->addWidget(text, 1);
    line->addWidget(copy);
    line->addWidget(makeNew);
    *field = text;
    return row;
}

PanelSettings::Remote RemoteControlDialog::remote() const
{
    PanelSettings::Remote values;
    values.mode = PanelSettings::Remote::Mode(qMax(0, mode->checkedId()));
    values.address = address->text().trimmed();
    values.port = quint16(port->value());
    values.token = controlToken->text();
    values.viewToken = viewToken->text();
    values.locked = station.remoteLocked();
    return values;
}

void RemoteControlDialog::setRemote(const PanelSettings::Remote &remote)
{
    mode->button(int(remote.mode))->setChecked(true);
    address->setText(remote.address);
    port->setValue(remote.port);
    // A station served without a control token is open to nobody from afar: the form
    // offers one, stored with the rest.
    controlToken->setText(remote.token.isEmpty() ? RemoteToken::make() : remote.token);
    viewToken->setText(remote.viewToken);
    showAddress();
}

QString RemoteControlDialog::signInAddress() const
{
    return RemotePageAddress::withToken(pageAddress->text(), controlToken->text());
}

void RemoteControlDialog::showAddress()
{
    const PanelSettings::Remote values = remote();
    address->setEnabled(values.mode == PanelSettings::Remote::Mode::Network);
    pageAddress->setText(RemotePageAddress::of(values));
    const QString signIn = signInAddress();
    qrCode->setText(values.mode == PanelSettings::Remote::Mode::Off ? QString() : signIn);
    qrCode->setAccessibleDescription(qrCode->text().isEmpty()
                                         ? tr("No code: remote control is off")
                                         : tr("A phone's camera opens %1 with the control token").arg(pageAddress->text()));
}

bool RemoteControlDialog::save()
{
    const PanelSettings::Remote values = remote();
    if (!values.address.isEmpty() && QHostAddress(values.address).isNull()) {
        problem->setText(tr("\"%1\" is not an IP address of this computer").arg(values.address));
        problem->show();
        address->setFocus();
        return false;
    }
    namespace Key = SettingsFile::Key;
    const QString failure = SettingsFile::store(settingsPath, {{Key::remote(), PanelSettings::Remote::modeName(values.mode)},
                                                               {Key::remoteAddress(), values.address},
                                                               {Key::remotePort(), values.port},
                                                               {Key::remoteToken(), values.token},
                                                               {Key::remoteViewToken(), values.viewToken}});
    emit saved();
    if (!failure.isEmpty())
        emit notSaved(failure);
    return true;
}
