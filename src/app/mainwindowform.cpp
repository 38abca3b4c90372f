#include "mainwindowform.h"

#include "accessibletree.h"
#include "theme/theme.h"

#include <QCoreApplication>
#include <QPixmap>

namespace Ui {

namespace {
// Widgets under a window style sheet stop inheriting the window's font, so each button
// carries the bold panel font itself.
QPushButton *makeButton(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFont(parent->window()->font());
    button->setStyleSheet(QString());
    return button;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

QFont pointFont(const QFont &base, int points, bool bold)
{
    QFont font = base;
    font.setPointSize(points);
    font.setBold(bold);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QAction *makeAction(QMainWindow *window, const char *name, bool checkable = false)
{
    auto *action = new QAction(window);
    action->setObjectName(QLatin1String(name));
    action->setCheckable(checkable);
    return action;
}
} // namespace

void mainWindow::setupUi(QMainWindow *window)
{
    Theme::initResources();
    AccessibleTree::install();
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("mainWindow"));
    window->resize(733, 298);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    window->setSizePolicy(policy);
    window->setMinimumSize(QSize(0, 0));
    QFont windowFont;
    windowFont.setBold(true);
    windowFont.setWeight(QFont::Bold);
    window->setFont(windowFont);
    window->setAutoFillBackground(false);
    window->setStyleSheet(Theme::panelStyleSheet());

    actionConfigure = makeAction(window, "actionConfigure");
    actionConnect_to_Brisel = makeAction(window, "actionConnect_to_Brisel");
    actionDisconnect = makeAction(window, "actionDisconnect");
    actionAbout = makeAction(window, "actionAbout");
    actionAbout_Norvale = makeAction(window, "actionAbout_Norvale");
    actionLabels = makeAction(window, "actionLabels");
    actionLAN_Settings = makeAction(window, "actionLAN_Settings");
    actionSerial = makeAction(window, "actionSerial", true);
    actionLAN = makeAction(window, "actionLAN", true);
    actionKeyboard_Shortcuts = makeAction(window, "actionKeyboard_Shortcuts");
    actionBand_Follow = makeAction(window, "actionBand_Follow");
    actionRemote_Control = makeAction(window, "actionRemote_Control");
    actionLock_Remote = makeAction(window, "actionLock_Remote", true);

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    // Screen readers list the widgets in the order they are made (the order of children()),
    // so they are made in reading order: the title line, the antennas' captions, then
    // PanelButtons::readingOrder(). The frame, made first so that it lies under the buttons,
    // only marks the antennas' area and is left out of that list.
    frame = new QFrame(centralWidget);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setGeometry(QRect(160, 80, 461, 121));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setFrameShadow(QFrame::Raised);
    AccessibleTree::leaveOut(frame);

    label = makeLabel(centralWidget, "label", QRect(0, 20, 161, 20));
    label->setFont(pointFont(window->font(), 12, true));
    label->setAlignment(Qt::AlignCenter);
    label_2 = makeLabel(centralWidget, "label_2", QRect(0, 40, 161, 20));
    // Only the size is its own: the weight stays the window's bold.
    QFont remoteControlFont = window->font();
    remoteControlFont.setPointSize(9);
    label_2->setFont(remoteControlFont);
    label_2->setAlignment(Qt::AlignCenter);
    labelID = makeLabel(centralWidget, "labelID", QRect(140, 20, 411, 21));
    labelID->setFont(pointFont(window->font(), 12, true));
    labelID->setAutoFillBackground(false);
    // The operator's text exactly as typed: "<b>40m</b>" is not markup here.
    labelID->setTextFormat(Qt::PlainText);
    labelID->setAlignment(Qt::AlignCenter);
    label_3 = makeLabel(centralWidget, "label_3", QRect(570, 0, 131, 81));
    label_3->setPixmap(QPixmap(QStringLiteral(":/images/Logomarca Branco.png")));
    label_3->setScaledContents(true);
    const QFont captionFont = pointFont(window->font(), 11, false);
    label_A1 = makeLabel(centralWidget, "label_A1", QRect(180, 60, 51, 16));
    label_A2 = makeLabel(centralWidget, "label_A2", QRect(240, 60, 51, 16));
    label_A3 = makeLabel(centralWidget, "label_A3", QRect(300, 60, 41, 16));
    label_A4 = makeLabel(centralWidget, "label_A4", QRect(360, 60, 41, 16));
    label_A1_2 = makeLabel(centralWidget, "label_A1_2", QRect(420, 60, 41, 16));
    label_A1_3 = makeLabel(centralWidget, "label_A1_3", QRect(480, 60, 41, 16));
    for (QLabel *caption : {label_A1, label_A2, label_A3, label_A4, label_A1_2, label_A1_3})
        caption->setFont(captionFont);

    // The antenna area's design geometry, in the central widget's coordinates.
    const QPoint area = frame->geometry().topLeft();
    auto antennaGeometry = [area](int n, int channel) {
        return QRect(10 + 60 * (n - 1), channel == 1 ? 10 : 70, 51, 51).translated(area);
    };
    botaoSplitC1 = makeButton(centralWidget, "botaoSplitC1", QRect(20, 89, 61, 31));
    botaoSendC1 = makeButton(centralWidget, "botaoSendC1", QRect(90, 89, 61, 31));
    botaoTecla1C1 = makeButton(centralWidget, "botaoTecla1C1", antennaGeometry(1, 1));
    botaoTecla2C1 = makeButton(centralWidget, "botaoTecla2C1", antennaGeometry(2, 1));
    botaoTecla3C1 = makeButton(centralWidget, "botaoTecla3C1", antennaGeometry(3, 1));
    botaoTecla4C1 = makeButton(centralWidget, "botaoTecla4C1", antennaGeometry(4, 1));
    botaoTecla5C1 = makeButton(centralWidget, "botaoTecla5C1", antennaGeometry(5, 1));
    botaoTecla6C1 = makeButton(centralWidget, "botaoTecla6C1", antennaGeometry(6, 1));
    botaoRelease1 = makeButton(centralWidget, "botaoRelease1", QRect(370, 20, 81, 31).translated(area));
    botaoPower = makeButton(centralWidget, "botaoPower", QRect(50, 130, 71, 31));
    botaoSplitC2 = makeButton(centralWidget, "botaoSplitC2", QRect(20, 170, 61, 31));
    botaoSendC2 = makeButton(centralWidget, "botaoSendC2", QRect(90, 170, 61, 31));
    botaoTecla1C2 = makeButton(centralWidget, "botaoTecla1C2", antennaGeometry(1, 2));
    botaoTecla2C2 = makeButton(centralWidget, "botaoTecla2C2", antennaGeometry(2, 2));
    botaoTecla3C2 = makeButton(centralWidget, "botaoTecla3C2", antennaGeometry(3, 2));
    botaoTecla4C2 = makeButton(centralWidget, "botaoTecla4C2", antennaGeometry(4, 2));
    botaoTecla5C2 = makeButton(centralWidget, "botaoTecla5C2", antennaGeometry(5, 2));
    botaoTecla6C2 = makeButton(centralWidget, "botaoTecla6C2", antennaGeometry(6, 2));
    botaoRelease2 = makeButton(centralWidget, "botaoRelease2", QRect(370, 80, 81, 31).translated(area));
    // Made after the buttons, so each lies over its button's lower edge: over the border and
    // the padding below the name's third line, and half into the gap below. Clicks go
    // through to the button; screen readers hear "receive only" in the button's own
    // description, so the mark is left out of what they list.
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a) {
            const QRect button = antennaGeometry(a + 1, c);
            auto *mark =
                makeLabel(centralWidget, "", QRect(button.left() + 2, button.bottom() - 4, button.width() - 4, 12));
            mark->setObjectName(QStringLiteral("receiveOnlyMark%1C%2").arg(a + 1).arg(c));
            mark->setProperty("receiveOnlyMark", true);
            mark->setFont(pointFont(window->font(), 7, true));
            mark->setAlignment(Qt::AlignCenter);
            mark->setAttribute(Qt::WA_TransparentForMouseEvents);
            mark->hide();
            AccessibleTree::leaveOut(mark);
            receiveOnlyMark[c][a] = mark;
        }
    }
    window->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(QRect(0, 0, 733, 20));
    menuBar->setStyleSheet(QString());
    menuArquivo = new QMenu(menuBar);
    menuArquivo->setObjectName(QStringLiteral("menuArquivo"));
    menuOperating_Mode = new QMenu(menuArquivo);
    menuOperating_Mode->setObjectName(QStringLiteral("menuOperating_Mode"));
    menuTools = new QMenu(menuBar);
    menuTools->setObjectName(QStringLiteral("menuTools"));
    window->setMenuBar(menuBar);
    mainToolBar = new QToolBar(window);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);
    // It holds no tools: an empty strip with a handle.
    AccessibleTree::leaveOut(mainToolBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);

    menuBar->addAction(menuArquivo->menuAction());
    menuBar->addAction(menuTools->menuAction());
    menuArquivo->addAction(actionConnect_to_Brisel);
    menuArquivo->addAction(actionDisconnect);
    menuArquivo->addAction(actionConfigure);
    menuArquivo->addAction(actionLabels);
    menuArquivo->addAction(actionLAN_Settings);
    menuArquivo->addAction(actionBand_Follow);
    menuArquivo->addAction(actionRemote_Control);
    menuArquivo->addAction(actionLock_Remote);
    menuArquivo->addAction(menuOperating_Mode->menuAction());
    menuOperating_Mode->addAction(actionSerial);
    menuOperating_Mode->addAction(actionLAN);
    menuTools->addAction(actionKeyboard_Shortcuts);
    menuTools->addSeparator();
    menuTools->addAction(actionAbout);
    menuTools->addAction(actionAbout_Norvale);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void mainWindow::retranslateUi(QMainWindow *window)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("mainWindow", text); };
    window->setWindowTitle(tr("Zorvik Remote Control"));
    actionConfigure->setText(tr("Serial Settings"));
    actionConnect_to_Brisel->setText(tr("Connect to Talmek"));
    actionDisconnect->setText(tr("Disconnect"));
    actionAbout->setText(tr("About Qt"));
    actionAbout_Norvale->setText(tr("About Norvale"));
    actionLabels->setText(tr("Labels"));
    actionLAN_Settings->setText(tr("LAN Settings"));
    actionSerial->setText(tr("Serial"));
    actionLAN->setText(tr("LAN"));
    actionKeyboard_Shortcuts->setText(tr("Keyboard Shortcuts"));
    actionBand_Follow->setText(tr("Band Follow\u2026"));
    actionRemote_Control->setText(tr("Remote Control\u2026"));
    actionLock_Remote->setText(tr("Lock remote switching"));
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            antennaButton(c, a)->setText(QString());
    }
    botaoRelease1->setText(tr("RELEASE"));
    botaoRelease2->setText(tr("RELEASE"));
    label->setText(tr("Zorvik"));
    label_2->setText(tr(" Remote Control"));
    botaoPower->setText(tr("POWER"));
    botaoSplitC1->setText(tr("SPLIT"));
    botaoSplitC2->setText(tr("SPLIT"));
    botaoSendC1->setText(tr("SEND"));
    botaoSendC2->setText(tr("SEND"));
    labelID->setText(QString());
    label_A1->setText(tr("Ant 1"));
    label_A2->setText(tr("Ant 2"));
    label_A3->setText(tr("Ant 3"));
    label_A4->setText(tr("Ant 4"));
    label_A1_2->setText(tr("Ant 5"));
    label_A1_3->setText(tr("Ant 6"));
    for (int c = 1; c <= 2; ++c) {
        for (QLabel *mark : receiveOnlyMark[c])
            mark->setText(tr("RX only"));
    }
    label_3->setText(QString());
    label_3->setAccessibleName(tr("Norvale Antenna Systems"));
    menuArquivo->setTitle(tr("File"));
    menuOperating_Mode->setTitle(tr("Operating Mode"));
    menuTools->setTitle(tr("Help"));
}

QPushButton *mainWindow::antennaButton(int channel, int antenna) const
{
    static QPushButton *mainWindow::*const row1[6] = {&mainWindow::botaoTecla1C1, &mainWindow::botaoTecla2C1,
                                                      &mainWindow::botaoTecla3C1, &mainWindow::botaoTecla4C1,
                                                      &mainWindow::botaoTecla5C1, &mainWindow::botaoTecla6C1};
    static QPushButton *mainWindow::*const row2[6] = {&mainWindow::botaoTecla1C2, &mainWindow::botaoTecla2C2,
                                                      &mainWindow::botaoTecla3C2, &mainWindow::botaoTecla4C2,
                                                      &mainWindow::botaoTecla5C2, &mainWindow::botaoTecla6C2};
    if (antenna < 0 || antenna > 5)
        return nullptr;
    return this->*(channel == 1 ? row1 : row2)[antenna];
}

QPushButton *mainWindow::button(const PanelButton &button) const
{
    switch (button.kind) {
    case PanelButton::Kind::Antenna:
        return antennaButton(button.channel, button.antenna);
    case PanelButton::Kind::Release:
        return button.channel == 1 ? botaoRelease1 : botaoRelease2;
    case PanelButton::Kind::Split:
        return splitButton(button.channel);
    case PanelButton::Kind::Send:
        return sendButton(button.channel);
    case PanelButton::Kind::Power:
        break;
    }
    return botaoPower;
}

} // namespace Ui
