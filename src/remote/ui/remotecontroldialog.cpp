#include "remotecontroldialog.h"

#include "config/settingsfile.h"
#include "mqtt/mqtttopics.h"
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
#include <QTabWidget>
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
    const std::pair<Mode, QString> choices[] = {{Mode::Off, tr("O&ff")},
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
    form->addRow(tr("Open in a browser:"), pageAddress);

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

    auto *remotePage = new QWidget(this);
    auto *columns = new QHBoxLayout;
    columns->addLayout(form, 1);
    columns->addWidget(qrCode);
    auto *remoteLayout = new QVBoxLayout(remotePage);
    remoteLayout->addLayout(columns);
    remoteLayout->addWidget(lock);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("remoteTabs"));
    tabs->addTab(remotePage, tr("&Remote control"));
    tabs->addTab(mqttPage(), tr("&MQTT"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    PanelSettings::Remote remote = station.settings().remote;
    setRemote(remote);
    setMqtt(station.settings().mqtt);
    showMqttStatus(QString());
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

QWidget *RemoteControlDialog::mqttPage()
{
    auto *page = new QWidget(this);
    auto *form = new QFormLayout(page);
    const auto labelled = [&](const QString &text, QWidget *field) {
        auto *label = new QLabel(text, page);
        label->setBuddy(field);
        form->addRow(label, field);
    };

    mqttOn = new QCheckBox(tr("&Bridge the station to the broker"), page);
    mqttOn->setObjectName(QStringLiteral("mqttOn"));
    form->addRow(mqttOn);

    mqttHost = new QLineEdit(page);
    mqttHost->setObjectName(QStringLiteral("mqttHost"));
    mqttHost->setPlaceholderText(QStringLiteral("127.0.0.1"));
    mqttHost->setAccessibleName(tr("Broker's host"));
    labelled(tr("&Host:"), mqttHost);

    mqttPort = new QSpinBox(page);
    mqttPort->setObjectName(QStringLiteral("mqttPort"));
    mqttPort->setRange(1, 65535);
    mqttPort->setAccessibleName(tr("Broker's TCP port"));
    labelled(tr("P&ort:"), mqttPort);

    mqttUser = new QLineEdit(page);
    mqttUser->setObjectName(QStringLiteral("mqttUser"));
    mqttUser->setPlaceholderText(tr("none"));
    mqttUser->setAccessibleName(tr("User name at the broker"));
    labelled(tr("&User:"), mqttUser);

    mqttPassword = new QLineEdit(page);
    mqttPassword->setObjectName(QStringLiteral("mqttPassword"));
    mqttPassword->setEchoMode(QLineEdit::Password);
    mqttPassword->setAccessibleName(tr("Password at the broker"));
    mqttPassword->setToolTip(tr("Kept in the settings file, which is then readable by you alone."));
    labelled(tr("Pass&word:"), mqttPassword);

    mqttBase = new QLineEdit(page);
    mqttBase->setObjectName(QStringLiteral("mqttBase"));
    mqttBase->setPlaceholderText(MqttTopics::base(QString(), station.settings().id));
    mqttBase->setAccessibleName(tr("Topics' base"));
    mqttBase->setToolTip(tr("Every topic of this station starts with it; each station on a broker needs its own."));
    labelled(tr("&Base topic:"), mqttBase);

    mqttDiscovery = new QCheckBox(tr("Home Assistant &discovery"), page);
    mqttDiscovery->setObjectName(QStringLiteral("mqttDiscovery"));
    mqttDiscovery->setToolTip(tr("Announces the station as a device under \"homeassistant/\"."));
    form->addRow(mqttDiscovery);

    mqttStatus = new QLabel(page);
    mqttStatus->setObjectName(QStringLiteral("mqttStatus"));
    mqttStatus->setWordWrap(true);
    mqttStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    form->addRow(tr("Now:"), mqttStatus);
    return page;
}

PanelSettings::Mqtt RemoteControlDialog::mqtt() const
{
    PanelSettings::Mqtt values;
    values.on = mqttOn->isChecked();
    values.host = mqttHost->text().trimmed();
    if (values.host.isEmpty())
        values.host = PanelSettings::Mqtt().host;
    values.port = quint16(mqttPort->value());
    values.user = mqttUser->text();
    values.password = mqttPassword->text();
    values.base = mqttBase->text().trimmed();
    values.discovery = mqttDiscovery->isChecked();
    return values;
}

void RemoteControlDialog::setMqtt(const PanelSettings::Mqtt &values)
{
    mqttOn->setChecked(values.on);
    mqttHost->setText(values.host);
    mqttPort->setValue(values.port);
    mqttUser->setText(values.user);
    mqttPassword->setText(values.password);
    mqttBase->setText(values.base);
    mqttDiscovery->setChecked(values.discovery);
}

void RemoteControlDialog::showMqttStatus(const QString &text)
{
    mqttStatus->setText(text.isEmpty() ? tr("MQTT off") : text);
    mqttStatus->setAccessibleName(mqttStatus->text());
}

void RemoteControlDialog::refuse(const QString &text, QWidget *field)
{
    problem->setText(text);
    problem->show();
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(field))
            tabs->setCurrentIndex(i);
    }
    field->setFocus();
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
    // For a phone: only the network reaches this computer from one.
    const bool network = values.mode == PanelSettings::Remote::Mode::Network;
    qrCode->setText(network ? signInAddress() : QString());
    qrCode->setAccessibleDescription(
        network ? tr("A phone's camera opens %1 with the control token").arg(pageAddress->text())
                : tr("No code: remote control is not served to the network"));
}

bool RemoteControlDialog::save()
{
    const PanelSettings::Remote values = remote();
    if (!values.address.isEmpty() && QHostAddress(values.address).isNull()) {
        refuse(tr("\"%1\" is not an IP address").arg(values.address), address);
        return false;
    }
    const PanelSettings::Mqtt broker = mqtt();
    // A wildcard in the base would take in other stations' commands, and publishing to it fails.
    if (broker.base.contains(QLatin1Char('#')) || broker.base.contains(QLatin1Char('+'))) {
        refuse(tr("The base topic cannot hold + or #"), mqttBase);
        return false;
    }
    if (broker.host.contains(QLatin1Char(' '))) {
        refuse(tr("\"%1\" is not a host name or address").arg(broker.host), mqttHost);
        return false;
    }
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    namespace Key = SettingsFile::Key;
    const QString failure = SettingsFile::store(settingsPath,
                                                {{Key::remote(), PanelSettings::Remote::modeName(values.mode)},
                                                 {Key::remoteAddress(), values.address},
                                                 {Key::remotePort(), values.port},
                                                 {Key::remoteToken(), values.token},
                                                 {Key::remoteViewToken(), values.viewToken},
                                                 {Key::mqtt(), onOff(broker.on)},
                                                 {Key::mqttHost(), broker.host},
                                                 {Key::mqttPort(), broker.port},
                                                 {Key::mqttUser(), broker.user},
                                                 {Key::mqttPassword(), broker.password},
                                                 {Key::mqttBase(), broker.base},
                                                 {Key::mqttDiscovery(), onOff(broker.discovery)}});
    emit saved();
    if (!failure.isEmpty())
        emit notSaved(failure);
    return true;
}
