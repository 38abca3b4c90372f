// The subsystems' constructors that take the window: each builds the window-free object
// and wires it to the window, so that nothing below src/app needs the window's header.

#include "config/labels.h"
#include "engine/threadleitura.h"
#include "lan/formlancfg.h"
#include "mainwindow.h"

ThreadLeitura::ThreadLeitura(MainWindow *window)
    : ThreadLeitura(*window, window->monotonicClock())
{}

labels::labels(QWidget *parent, MainWindow *ownerWindow)
    : labels(parent, ownerWindow->settingsFilePath(), ownerWindow->settings())
{
    connect(this, &labels::saved, ownerWindow, &MainWindow::loadSettings);
    connect(this, &labels::notSaved, ownerWindow, &MainWindow::reportNotSaved);
}

formLanCFG::formLanCFG(QWidget *parent, MainWindow *window)
    : formLanCFG(parent, window->settingsFilePath(), window->settings())
{
    connect(this, &formLanCFG::directIpChosen, window, &MainWindow::setDirectIp);
    connect(this, &formLanCFG::saved, window, &MainWindow::loadSettings);
    connect(this, &formLanCFG::notSaved, window, &MainWindow::reportNotSaved);
}
