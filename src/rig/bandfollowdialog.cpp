#include "bandfollowdialog.h"

#include "config/panelsettings.h"
#include "config/settingsfile.h"
#include "rigreply.h"
#include "theme/theme.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
QStringList shownAntennaNames(const PanelSettings &settings)
{
    QStringList names;
    for (int n = 1; n <= 6; ++n) {
        const QString &name = settings.antennaNames[n - 1];
        names << (name.trimmed().isEmpty() ? BandFollowDialog::tr("Ant %1").arg(n) : name);
    }
    return names;
}

// A column head: the whole name, its words in lines of up to twelve characters (a longer
// word on a line of its own). Wider lines would widen the columns; a word a line would make
// the head too tall for a laptop's screen at 150 %.
QString columnHead(const QString &name)
{
    constexpr int LineLength = 12;
    QString head;
    int line = 0;
    const QStringList words = name.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (line > 0 && line + 1 + word.size() > LineLength) {
            head += QLatin1Char('\n');
            line = 0;
        } else if (line > 0) {
            head += QLatin1Char(' ');
            ++line;
        }
        head += word;
        line += word.size();
    }
    return head;
}
} // namespace

BandFollowDialog::BandFollowDialog(QWidget *parent, const QString &path, const PanelSettings &stored,
                                   const QStringList &serialPorts)
    : QDialog(parent)
    , settingsPath(path)
{
    setObjectName(QStringLiteral("bandFollowDialog"));
    setWindowTitle(tr("Band Follow"));
    setStyleSheet(Theme::dialogStyleSheet());
    setAttribute(Qt::WA_DeleteOnClose);

    const QStringList names = shownAntennaNames(stored);

    // One tab a radio and one for the logger: side by side the tables are wider, and one
    // under the other taller, than a laptop's screen at 150 %.
    auto *radios = new QTabWidget(this);
    radios->setObjectName(QStringLiteral("radios"));
    radios->addTab(radioBox(1, names, stored.receiveOnly), tr("Radio 1"));
    radios->addTab(radioBox(2, names, stored.receiveOnly), tr("Radio 2"));
    radios->addTab(loggerBox(serialPorts), tr("Logger"));

    problem = new QLabel(this);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setStyleSheet(QStringLiteral("color: #ffa02f;"));
    // Its line is taken only while it has something to say: the dialog must fit a
    // 1366 x 768 screen at 150 % with the desktop's title bar and panel.
    problem->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("botaoOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (save())
            close();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto *layout = new QVBoxLayout(this);
    // Never smaller than the tables need: on a small screen Qt would otherwise squeeze the
    // dialog to two thirds of it and cut the antennas' names in the column heads.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addWidget(radios);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    setSettings(stored.bandFollow);
}

QWidget *BandFollowDialog::radioBox(int channel, const QStringList &antennaNames,
                                    const std::array<bool, 6> &receiveOnly)
{
    using Source = BandFollowSettings::Source;
    auto *box = new QWidget(this);
    auto *sources = new QHBoxLayout;
    sources->addWidget(new QLabel(tr("Follows:"), box));
    source[channel] = new QButtonGroup(box);
    const std::pair<Source, QString> choices[] = {{Source::Off, tr("Off")},
                                                  {Source::Rigctld, tr("rigctld")},
                                                  {Source::Logger, tr("Logger broadcast")},
                                                  {Source::Otrsp, tr("OTRSP")}};
    for (const auto &[kind, text] : choices) {
        auto *choice = new QRadioButton(text, box);
        choice->setObjectName(QStringLiteral("follow%1_%2").arg(channel).arg(BandFollowSettings::sourceName(kind)));
        source[channel]->addButton(choice, int(kind));
        sources->addWidget(choice);
    }
    address[channel] = new QLineEdit(box);
    address[channel]->setObjectName(QStringLiteral("rigAddress%1").arg(channel));
    address[channel]->setPlaceholderText(tr("host:port, e.g. localhost:4532"));
    address[channel]->setAccessibleName(tr("Radio %1's rigctld address").arg(channel));
    // Typing an address means following that rigctld.
    connect(address[channel], &QLineEdit::textEdited, this,
            [this, channel] { source[channel]->button(int(Source::Rigctld))->setChecked(true); });
    sources->addStretch(1);
    auto *rigctld = new QHBoxLayout;
    rigctld->addWidget(new QLabel(tr("rigctld address:"), box));
    rigctld->addWidget(address[channel], 1);

    bandMemory[channel] = new QCheckBox(tr("Band memory: an antenna pressed by hand becomes the band's"), box);
    bandMemory[channel]->setObjectName(QStringLiteral("bandMemory%1").arg(channel));

    auto *table = new QGridLayout;
    table->setHorizontalSpacing(10);
    // Eleven bands: with the style's gap between rows the page would be too tall for a
    // laptop's screen at 150 %.
    table->setVerticalSpacing(1);
    table->addWidget(new QLabel(tr("Band"), box), 0, 0);
    table->addWidget(new QLabel(tr("None"), box), 0, 1, Qt::AlignHCenter | Qt::AlignBottom);
    for (int a = 1; a <= 6; ++a) {
        auto *caption = new QLabel(box);
        caption->setTextFormat(Qt::PlainText);
        const QString name = columnHead(antennaNames.at(a - 1));
        caption->setText(receiveOnly[size_t(a - 1)] ? name + tr("\n(receive only)") : name);
        caption->setAlignment(Qt::AlignCenter);
        // Every line of the name stays whole, however little room the dialog gets.
        caption->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        table->addWidget(caption, 0, a + 1, Qt::AlignHCenter | Qt::AlignBottom);
    }
    for (int b = 0; b < BandPlan::BandCount; ++b) {
        table->addWidget(new QLabel(tr("%1 m").arg(BandPlan::bandName(b)), box), b + 1, 0);
        auto *group = new QButtonGroup(box);
        for (int a = 0; a <= 6; ++a) {
            auto *choice = new QRadioButton(box);
            choice->setObjectName(QStringLiteral("band%1_%2_%3").arg(channel).arg(BandPlan::bandName(b)).arg(a));
            const bool receiving = a > 0 && receiveOnly[size_t(a - 1)];
            // A receive-only antenna is never a band's: it would be transmitted on.
            choice->setEnabled(!receiving);
            choice->setToolTip(
                a == 0 ? tr("%1 m: antenna left alone").arg(BandPlan::bandName(b))
                    : receiving
                    ? tr("%1 m: %2 is receive-only").arg(BandPlan::bandName(b), antennaNames.at(a - 1).simplified())
                    : tr("%1 m: %2").arg(BandPlan::bandName(b), antennaNames.at(a - 1).simplified()));
            group->addButton(choice, a);
            table->addWidget(choice, b + 1, a + 1, Qt::AlignHCenter);
        }
        bandAntenna[channel][b] = group;
    }
    auto *column = new QVBoxLayout(box);
    // The tab's frame is margin enough above and below.
    QMargins margins = column->contentsMargins();
    margins.setTop(4);
    margins.setBottom(4);
    column->setContentsMargins(margins);
    column->addLayout(sources);
    column->addLayout(rigctld);
    column->addWidget(bandMemory[channel]);
    column->addLayout(table);
    return box;
}

QWidget *BandFollowDialog::loggerBox(const QStringList &serialPorts)
{
    auto *box = new QWidget(this);
    auto *form = new QFormLayout(box);
    loggerPort = new QSpinBox(box);
    loggerPort->setObjectName(QStringLiteral("loggerPort"));
    loggerPort->setRange(1, 65535);
    form->addRow(tr("Broadcasts come to UDP port:"), loggerPort);
    loggerStation = new QLineEdit(box);
    loggerStation->setObjectName(QStringLiteral("loggerStation"));
    loggerStation->setPlaceholderText(tr("every station"));
    form->addRow(tr("Only from the station named:"), loggerStation);
    loggerFrom = new QLineEdit(box);
    loggerFrom->setObjectName(QStringLiteral("loggerFrom"));
    loggerFrom->setPlaceholderText(tr("this computer and its own networks"));
    form->addRow(tr("Only from the addresses:"), loggerFrom);
    otrspPort = new QComboBox(box);
    otrspPort->setObjectName(QStringLiteral("otrspPort"));
    otrspPort->setEditable(true);
    otrspPort->addItems(serialPorts);
    otrspPort->setInsertPolicy(QComboBox::NoInsert);
    form->addRow(tr("OTRSP serial port:"), otrspPort);
    // Broken by hand: a word-wrapped label would let Qt size the dialog for one width and
    // lay it out at another.
    form->addRow(new QLabel(tr("A logger's broadcasts give each radio's band; over OTRSP the logger\n"
                               "chooses the antenna itself (AUX codes 1 to 6)."),
                            box));
    return box;
}

BandFollowSettings BandFollowDialog::settings() const
{
    BandFollowSettings result;
    for (int c = 1; c <= 2; ++c) {
        result.radio[c].source = BandFollowSettings::Source(qMax(0, source[c]->checkedId()));
        result.radio[c].rigAddress = address[c]->text().trimmed();
        result.radio[c].bandMemory = bandMemory[c]->isChecked();
        for (int b = 0; b < BandPlan::BandCount; ++b)
            result.radio[c].antenna[b] = qMax(0, bandAntenna[c][b]->checkedId());
    }
    result.loggerPort = quint16(loggerPort->value());
    result.loggerStation = loggerStation->text().trimmed();
    result.loggerFrom = BandFollowSettings::addressList(loggerFrom->text());
    result.otrspPort = otrspPort->currentText().trimmed();
    return result;
}

void BandFollowDialog::setSettings(const BandFollowSettings &settings)
{
    for (int c = 1; c <= 2; ++c) {
        source[c]->button(int(settings.radio[c].source))->setChecked(true);
        address[c]->setText(settings.radio[c].rigAddress);
        bandMemory[c]->setChecked(settings.radio[c].bandMemory);
        for (int b = 0; b < BandPlan::BandCount; ++b) {
            // An antenna out of range, or receive-only, shows as none.
            QAbstractButton *choice = bandAntenna[c][b]->button(settings.radio[c].antenna[b]);
            (choice && choice->isEnabled() ? choice : bandAntenna[c][b]->button(BandFollowSettings::NoAntenna))
                ->setChecked(true);
        }
    }
    loggerPort->setValue(settings.loggerPort);
    loggerStation->setText(settings.loggerStation);
    loggerFrom->setText(settings.loggerFrom.join(QStringLiteral(", ")));
    otrspPort->setCurrentText(settings.otrspPort);
}

void BandFollowDialog::showProblem(const QString &text)
{
    problem->setText(text);
    problem->show();
}

bool BandFollowDialog::save()
{
    const BandFollowSettings values = settings();
    for (int c = 1; c <= 2; ++c) {
        const QString text = values.radio[c].rigAddress;
        if (!text.isEmpty() && !RigAddress::parse(text)) {
            showProblem(tr("Radio %1: \"%2\" is not host:port or [IPv6]:port").arg(c).arg(text));
            address[c]->setFocus();
            return false;
        }
    }
    for (const QString &sender : values.loggerFrom) {
        if (QHostAddress(sender).isNull()) {
            showProblem(tr("Logger: \"%1\" is not an IP address").arg(sender));
            loggerFrom->setFocus();
            return false;
        }
    }
    const QString failure = SettingsFile::store(settingsPath, values.values());
    emit saved();
    // After the reload, whose own messages would otherwise hide it.
    if (!failure.isEmpty())
        emit notSaved(failure);
    return true;
}
