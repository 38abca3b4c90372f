#pragma once

#include <QDialog>

class QLabel;

// "About Norvale": the maker's logo, the product line, version, copyright and web address.
class about : public QDialog
{
    Q_OBJECT

public:
    explicit about(QWidget *parent = nullptr);
    ~about() override;

private:
    struct Form
    {
        QLabel *labelLogo;
        QLabel *labelTopo;
        QLabel *labelVersion;
        QLabel *label;
        QLabel *label_2;
    };
    Form *ui;
};
