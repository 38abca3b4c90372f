#pragma once

#include <QWidget>

#include <vector>

// A QR code of a text, drawn as its dark modules on white with the quiet zone of four
// modules the standard asks for, as large as whole pixels per module allow, so that a
// phone's camera reads it from the screen.
class QrCodeWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int QuietZone = 4;

    explicit QrCodeWidget(QWidget *parent = nullptr);

    // Encodes `text` (UTF-8, error correction level M); empty for no code.
    void setText(const QString &text);
    QString text() const { return encoded; }
    // Modules a side; 0 without a code.
    int modules() const { return side; }
    // Where the modules are drawn (without the quiet zone); empty without a code.
    QRect codeRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString encoded;
    int side = 0;
    std::vector<bool> dark; // side * side, row by row
};
