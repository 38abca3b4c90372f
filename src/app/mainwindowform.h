#pragma once

#include "panelbutton.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

// The main window's form: every widget at its design geometry for a 733 x 298 window.
// The layout is absolute; C4SAnchorLayout scales it when the window is resized.
namespace Ui {

class mainWindow
{
public:
    QAction *actionConfigure;
    QAction *actionConnect_to_Brisel;
    QAction *actionDisconnect;
    QAction *actionAbout;
    QAction *actionAbout_Norvale;
    QAction *actionLabels;
    QAction *actionLAN_Settings;
    QAction *actionSerial;
    QAction *actionLAN;
    QAction *actionKeyboard_Shortcuts;
    QAction *actionBand_Follow;
    QAction *actionRemote_Control;
    QAction *actionLock_Remote;
    QWidget *centralWidget;
    QFrame *frame;
    QPushButton *botaoTecla1C1;
    QPushButton *botaoTecla2C1;
    QPushButton *botaoTecla3C1;
    QPushButton *botaoTecla4C1;
    QPushButton *botaoTecla5C1;
    QPushButton *botaoTecla6C1;
    QPushButton *botaoTecla2C2;
    QPushButton *botaoTecla4C2;
    QPushButton *botaoTecla3C2;
    QPushButton *botaoTecla6C2;
    QPushButton *botaoTecla1C2;
    QPushButton *botaoRelease2;
    QPushButton *botaoRelease1;
    QPushButton *botaoTecla5C2;
    QLabel *label;
    QLabel *label_2;
    QPushButton *botaoPower;
    QPushButton *botaoSplitC1;
    QPushButton *botaoSplitC2;
    QPushButton *botaoSendC1;
    QPushButton *botaoSendC2;
    QLabel *labelID;
    QLabel *label_A1;
    QLabel *label_A2;
    QLabel *label_A3;
    QLabel *label_A4;
    QLabel *label_A1_2;
    QLabel *label_A1_3;
    QLabel *label_3;
    // receiveOnlyMark[channel][antenna]: "RX only" across the lower edge of the antenna's
    // button, shown while the antenna is receive-only (channel 1..2, antenna 0..5).
    QLabel *receiveOnlyMark[3][6] = {};
    QMenuBar *menuBar;
    QMenu *menuArquivo;
    QMenu *menuOperating_Mode;
    QMenu *menuTools;
    QToolBar *mainToolBar;
    QStatusBar *statusBar;

    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);

    // botaoTecla<antenna + 1>C<channel>, for antenna 0..5 and channel 1..2.
    QPushButton *antennaButton(int channel, int antenna) const;
    QPushButton *splitButton(int channel) const { return channel == 1 ? botaoSplitC1 : botaoSplitC2; }
    QPushButton *sendButton(int channel) const { return channel == 1 ? botaoSendC1 : botaoSendC2; }
    QPushButton *button(const PanelButton &button) const;
};

} // namespace Ui
