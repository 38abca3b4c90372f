#include "labels.h"

#include "panelsettings.h"
#include "settingsfile.h"
#include "theme/theme.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

namespace {
QFont sizedFont(const QFont &base, int points, bool normalWeight = false)
{
    QFont font = base;
    font.setPointSize(points);
    if (normalWeight) {
        font.setBold(false);
        font.setWeight(QFont::Normal);
    }
    return font;
}
} // namespace

labels::labels(QWidget *parent, const QString &path)
    : labels(parent, path, PanelSettings::load(path))
{}

labels::labels(QWidget *parent, const QString &path, const PanelSettings &settings)
    : QDialog(parent)
    , ui(new Form)
    , settingsPath(path)
{
    setObjectName(QStringLiteral("labels"));
    resize(599, 230);
    QFont dialogFont = font();
    dialogFont.setPointSize(10);
    setFont(dialogFont);
    setStyleSheet(Theme::dialogStyleSheet());
    setWindowTitle(tr("Label Config"));

    ui->labelID = new QLabel(tr("ID:"), this);
    ui->labelID->setObjectName(QStringLiteral("labelID"));
    ui->labelID->setGeometry(110, 20, 31, 16);
    ui->labelID->setFont(sizedFont(dialogFont, 14));

    ui->lineEditID = new QLineEdit(this);
    ui->lineEditID->setObjectName(QStringLiteral("lineEditID"));
    ui->lineEditID->setGeometry(150, 20, 341, 21);
    ui->lineEditID->setFont(sizedFont(dialogFont, 12));
    ui->lineEditID->setMaxLength(50);
    ui->lineEditID->setAlignment(Qt::AlignCenter);

    static const int captionX[6] = {60, 150, 240, 330, 420, 500};
    static const int editX[6] = {40, 130, 220, 310, 400, 490};
    for (int i = 0; i < 6; ++i) {
        QLabel *caption = new QLabel(tr("Ant %1").arg(i + 1), this);
        caption->setObjectName(QStringLiteral("label_A%1").arg(i + 1));
        caption->setGeometry(captionX[i], 50, 41, 16);
        caption->setFont(sizedFont(dialogFont, 11, true));
        ui->labelA[i] = caption;

        auto *edit = new QTextEdit(this);
        edit->setObjectName(QStringLiteral("textEdit1_%1").arg(i + 1));
        edit->setGeometry(editX[i], 80, 71, 61);
        edit->setFont(sizedFont(dialogFont, 13));
        edit->setLineWrapMode(QTextEdit::FixedColumnWidth);
        edit->setLineWrapColumnOrWidth(5);
        edit->setAcceptRichText(false);
        ui->textEdit[i] = edit;

        // Beverages and loops with preamplifiers: never transmitted on.
        auto *receiveOnly = new QCheckBox(tr("RX only"), this);
        receiveOnly->setObjectName(QStringLiteral("receiveOnly%1").arg(i + 1));
        receiveOnly->setGeometry(editX[i], 146, 80, 20);
        receiveOnly->setFont(sizedFont(dialogFont, 9, true));
        receiveOnly->setAccessibleName(tr("Ant %1 is receive-only").arg(i + 1));
        receiveOnly->setToolTip(tr("Ant %1 receives only (a Beverage, a loop with a preamplifier): the panel never "
                                   "transmits on it and sounds an alarm when the box does")
                                    .arg(i + 1));
        ui->receiveOnly[i] = receiveOnly;
    }
    QTextEdit *second = ui->textEdit[1];
    second->setAutoFillBackground(true);
    second->setLineWidth(1);
    second->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    second->setTabStopDistance(5);

    ui->botaoOK = new QPushButton(tr("OK"), this);
    ui->botaoOK->setObjectName(QStringLiteral("botaoOK"));
    ui->botaoOK->setGeometry(410, 180, 71, 23);
    ui->botaoCancel = new QPushButton(tr("Cancel"), this);
    ui->botaoCancel->setObjectName(QStringLiteral("botaoCancel"));
    ui->botaoCancel->setGeometry(490, 180, 71, 23);

    QMetaObject::connectSlotsByName(this);
    showStored(settings);
}

labels::~labels() { delete ui; }

void labels::loadLabels() { showStored(PanelSettings::load(settingsPath)); }

void labels::showStored(const PanelSettings &settings)
{
    for (int i = 0; i < 6; ++i) {
        ui->textEdit[i]->setPlainText(settings.antennaNames[i]);
        ui->receiveOnly[i]->setChecked(settings.receiveOnly[i]);
    }
    ui->lineEditID->setText(settings.id);
}

void labels::saveLabels()
{
    // Names are stored exactly as typed; ASCII names give the same bytes as always.
    std::vector<std::pair<QString, QVariant>> values;
    for (int i = 0; i < 6; ++i) {
        values.emplace_back(SettingsFile::Key::antennaName(i + 1), ui->textEdit[i]->toPlainText());
        values.emplace_back(SettingsFile::Key::receiveOnly(i + 1), ui->receiveOnly[i]->isChecked() ? 1 : 0);
    }
    values.emplace_back(SettingsFile::Key::id(), ui->lineEditID->text());
    const QString failure = SettingsFile::store(settingsPath, values);
    emit saved();
    // After the reload, whose own messages would otherwise hide it.
    if (!failure.isEmpty())
        emit notSaved(failure);
}

void labels::on_botaoOK_clicked()
{
    saveLabels();
    closeAndDispose();
}

void labels::on_botaoCancel_clicked() { closeAndDispose(); }

void labels::closeAndDispose()
{
    hide();
    setEnabled(false);
    deleteLater();
}
