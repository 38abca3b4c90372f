#include "qrcodewidget.h"

#include <QPainter>

#include <qrcodegen.hpp>

#include <stdexcept>

QrCodeWidget::QrCodeWidget(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void QrCodeWidget::setText(const QString &text)
{
    encoded = text;
    side = 0;
    dark.clear();
    if (!text.isEmpty()) {
        try {
            const qrcodegen::QrCode code =
                qrcodegen::QrCode::encodeText(text.toUtf8().constData(), qrcodegen::QrCode::Ecc::MEDIUM);
            side = code.getSize();
            dark.resize(size_t(side) * size_t(side));
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x)
                    dark[size_t(y) * size_t(side) + size_t(x)] = code.getModule(x, y);
            }
        } catch (const std::length_error &) {
            // Longer than a QR code holds: no code rather than a wrong one.
            side = 0;
            dark.clear();
        }
    }
    updateGeometry();
    update();
}

QRect QrCodeWidget::codeRect() const
{
    if (side == 0)
        return {};
    const int whole = side + 2 * QuietZone;
    const int scale = qMax(1, qMin(width(), height()) / whole);
    const int drawn = side * scale;
    return QRect((width() - drawn) / 2, (height() - drawn) / 2, drawn, drawn);
}

QSize QrCodeWidget::sizeHint() const
{
    const int whole = (side > 0 ? side : 29) + 2 * QuietZone;
    return QSize(whole * 5, whole * 5);
}

QSize QrCodeWidget::minimumSizeHint() const
{
    // Two pixels a module: a phone still reads that from a screen a hand's width away.
    const int whole = (side > 0 ? side : 29) + 2 * QuietZone;
    return QSize(whole * 2, whole * 2);
}

void QrCodeWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect code = codeRect();
    if (code.isEmpty()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    // White under the code and its quiet zone, whatever the dialog's colours.
    const int scale = code.width() / side;
    const QRect zone = code.adjusted(-QuietZone * scale, -QuietZone * scale, QuietZone * scale, QuietZone * scale);
    painter.fillRect(rect(), palette().window());
    painter.fillRect(zone, Qt::white);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (dark[size_t(y) * size_t(side) + size_t(x)])
                painter.fillRect(code.x() + x * scale, code.y() + y * scale, scale, scale, Qt::black);
        }
    }
}
