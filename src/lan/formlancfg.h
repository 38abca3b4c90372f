#pragma once

#include <QDialog>

class MainWindow;
struct PanelSettings;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// "LAN Settings": the box's address or host name, its UDP port, and the direct-address
// option. OK stores the two fields in the settings file and announces it (saved), so that
// the window reloads its settings.
class formLanCFG : public QDialog
{
    Q_OBJECT

public:
    // The window's dialog: the direct-address option goes to its setDirectIp(), and saving
    // makes it reload its settings and report a write that failed.
    formLanCFG(QWidget *parent, MainWindow *window);
    // The box's address, port and direct-address option as the settings hold them.
    formLanCFG(QWidget *parent, const QString &settingsPath, const PanelSettings &settings);
    ~formLanCFG() override;

signals:
    // "Directly to IP" was clicked; the option is to be stored at once.
    void directIpChosen(bool on);
    void saved();
    void notSaved(const QString &message);

private slots:
    void on_buttonBox_accepted();
    void on_radioButton_clicked();

private:
    struct Form
    {
        QDialogButtonBox *buttonBox;
        QLineEdit *lineEditIP;
        QLabel *label;
        QLineEdit *lineEditPort;
        QLabel *label_2;
        QLabel *label_3;
        QRadioButton *radioButton;
    };
    void loadLanFields(const PanelSettings &settings);
    void saveLanFields();

    Form *ui;
    QString settingsPath;
};
