#include "bandfollowdialog.h"

#include "config/labelwrap.h"
#include "config/panelsettings.h"
#include "config/settingsfile.h"
#include "rigreply.h"
#include "theme/theme.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
} // namespace

BandFollowDialog::BandFollowDialog(QWidget *parent, const QString &path, const PanelSettings &stored)
    : QDialog(parent)
    , settingsPath(path)
{
    setObjectName(QStringLiteral("bandFollowDialog"));
    setWindowTitle(tr("Band Follow"));
    setStyleSheet(Theme::dialogStyleSheet());
    setAttribute(Qt::WA_DeleteOnClose);

    const QStringList names = shownAntennaNames(stored);

    // One tab a radio: side by side the two tables are wider than a laptop's screen at
    // 150 %.
    auto *radios = new QTabWidget(this);
    radios->setObjectName(QStringLiteral("radios"));
    radios->addTab(radioBox(1, names), tr("Radio 1"));
    radios->addTab(radioBox(2, names), tr("Radio 2"));

    // Broken by hand: a word-wrapped label would let Qt size the dialog for one width and
    // lay it out at another, squeezing the tables' rows.
    auto *hint = new QLabel(tr("Each radio is read through Hamlib's rigctld (host:port, e.g. localhost:4532).\n"
                               "An empty address keeps band follow off for that radio."),
                            this);
    problem = new QLabel(this);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setStyleSheet(QStringLiteral("color: #ffa02f;"));

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
    layout->addWidget(hint);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    setSettings(stored.bandFollow);
}

QWidget *BandFollowDialog::radioBox(int channel, const QStringList &antennaNames)
{
    auto *box = new QWidget(this);
    auto *form = new QFormLayout;
    address[channel] = new QLineEdit(box);
    address[channel]->setObjectName(QStringLiteral("rigAddress%1").arg(channel));
    address[channel]->setPlaceholderText(tr("host:port"));
    form->addRow(tr("rigctld:"), address[channel]);

    auto *table = new QGridLayout;
    table->setHorizontalSpacing(10);
    table->addWidget(new QLabel(tr("Band"), box), 0, 0);
    table->addWidget(new QLabel(tr("None"), box), 0, 1, Qt::AlignHCenter);
    for (int a = 1; a <= 6; ++a) {
        auto *caption = new QLabel(box);
        caption->setTextFormat(Qt::PlainText);
        // Broken into lines as on the panel's buttons.
        caption->setText(wrapLabelText(antennaNames.at(a - 1)));
        caption->setAlignment(Qt::AlignCenter);
        // Every line of the name stays whole, however little room the dialog gets.
        caption->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        table->addWidget(caption, 0, a + 1, Qt::AlignHCenter);
    }
    for (int b = 0; b < BandPlan::BandCount; ++b) {
        table->addWidget(new QLabel(tr("%1 m").arg(BandPlan::bandName(b)), box), b + 1, 0);
        auto *group = new QButtonGroup(box);
        for (int a = 0; a <= 6; ++a) {
            auto *choice = new QRadioButton(box);
            choice->setObjectName(QStringLiteral("band%1_%2_%3").arg(channel).arg(BandPlan::bandName(b)).arg(a));
            choice->setToolTip(a == 0 ? tr("%1 m: antenna left alone").arg(BandPlan::bandName(b))
                                      : tr("%1 m: %2").arg(BandPlan::bandName(b), antennaNames.at(a - 1).simplified()));
            group->addButton(choice, a);
            table->addWidget(choice, b + 1, a + 1, Qt::AlignHCenter);
        }
        bandAntenna[channel][b] = group;
    }
    auto *column = new QVBoxLayout(box);
    column->addLayout(form);
    column->addLayout(table);
    return box;
}

BandFollowSettings BandFollowDialog::settings() const
{
    BandFollowSettings result;
    for (int c = 1; c <= 2; ++c) {
        result.radio[c].rigAddress = address[c]->text().trimmed();
        for (int b = 0; b < BandPlan::BandCount; ++b)
            result.radio[c].antenna[b] = qMax(0, bandAntenna[c][b]->checkedId());
    }
    return result;
}

void BandFollowDialog::setSettings(const BandFollowSettings &settings)
{
    for (int c = 1; c <= 2; ++c) {
        address[c]->setText(settings.radio[c].rigAddress);
        for (int b = 0; b < BandPlan::BandCount; ++b) {
            // An antenna out of range shows as none, as it reads.
            QAbstractButton *choice = bandAntenna[c][b]->button(settings.radio[c].antenna[b]);
            (choice ? choice : bandAntenna[c][b]->button(BandFollowSettings::NoAntenna))->setChecked(true);
        }
    }
}

bool BandFollowDialog::save()
{
    const BandFollowSettings values = settings();
    for (int c = 1; c <= 2; ++c) {
        const QString text = values.radio[c].rigAddress;
        if (!text.isEmpty() && !RigAddress::parse(text)) {
            problem->setText(tr("Radio %1: \"%2\" is not host:port or [IPv6]:port").arg(c).arg(text));
            address[c]->setFocus();
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
