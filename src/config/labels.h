#pragma once

#include <QDialog>

class MainWindow;
struct PanelSettings;
class QLabel;
class QLineEdit;
class QCheckBox;
class QPushButton;
class QTextEdit;

// "Label Config": the six antenna names, which of them are receive-only, and the panel's
// identification line, shown as the settings hold them and written to the settings file at
// settingsPath.
class labels : public QDialog
{
    Q_OBJECT

public:
    // The window's dialog: saving makes the window reload its settings and report a
    // write that failed.
    labels(QWidget *parent, MainWindow *ownerWindow);
    labels(QWidget *parent, const QString &settingsPath, const PanelSettings &settings);
    // On the file as it is now.
    labels(QWidget *parent, const QString &settingsPath);
    ~labels() override;

    // Shows the names and the identification line the file holds now.
    void loadLabels();
    void saveLabels();

signals:
    // The values were written (or tried to be); whoever shows them reloads now.
    void saved();
    // They did not reach the file: what to tell the operator.
    void notSaved(const QString &message);

private slots:
    void on_botaoOK_clicked();
    void on_botaoCancel_clicked();

private:
    struct Form
    {
        QLabel *labelID;
        QLineEdit *lineEditID;
        QLabel *labelA[6];
        QTextEdit *textEdit[6];
        QCheckBox *receiveOnly[6];
        QPushButton *botaoOK;
        QPushButton *botaoCancel;
    };
    void closeAndDispose();
    void showStored(const PanelSettings &settings);

    Form *ui;
    QString settingsPath;
};
