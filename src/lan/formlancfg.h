#pragma once

#include <QDialog>

class MainWindow;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// "LAN Settings": the box's address or host name, its UDP port, and the direct-address
// option. OK stores the two fields and has the window reload its settings.
class formLanCFG : public QDialog
{
    Q_OBJECT

public:
    formLanCFG(QWidget *parent, MainWindow *window);
    ~formLanCFG() override;

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
    void loadLanFields();
    void saveLanFields();

    Form *ui;
    MainWindow *window;
};
