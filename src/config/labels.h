#pragma once

#include <QDialog>

class MainWindow;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

// "Label Config": the six antenna names and the panel's identification line.
class labels : public QDialog
{
    Q_OBJECT

public:
    labels(QWidget *parent, MainWindow *ownerWindow);
    ~labels() override;

    void loadLabels();
    void saveLabels();

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
        QPushButton *botaoOK;
        QPushButton *botaoCancel;
    };
    void closeAndDispose();

    Form *ui;
    MainWindow *ownerWindow;
};
