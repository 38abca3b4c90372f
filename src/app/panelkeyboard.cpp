#include "panelkeyboard.h"

#include "focusmark.h"
#include "panelshortcuts.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace PanelKeyboard {

namespace {
QString tr(const char *text) { return QCoreApplication::translate("PanelKeyboard", text); }

QString cell(const QString &text, const char *tag = "td")
{
    const QString name = QLatin1String(tag);
    return QStringLiteral("<%1 style=\"padding: 2px 12px\">%2</%1>").arg(name, text.toHtmlEscaped());
}
} // namespace

FocusMark *install(QWidget *window, QWidget *area, const ButtonOf &buttonOf, const std::function<void()> &escape)
{
    for (const PanelShortcuts::Shortcut &entry : PanelShortcuts::table()) {
        QPushButton *button = buttonOf(entry.button);
        for (const QString &keys : {entry.keys, PanelShortcuts::keypadKeys(entry.keys)}) {
            if (keys.isEmpty())
                continue;
            auto *shortcut = new QShortcut(QKeySequence(keys, QKeySequence::PortableText), window);
            shortcut->setContext(Qt::WindowShortcut);
            // A held key switches once, not six times a second.
            shortcut->setAutoRepeat(false);
            QObject::connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
        }
    }

    QObject::connect(new QShortcut(QKeySequence(Qt::Key_Escape), window), &QShortcut::activated, window, escape);
    // Until the operator presses Tab no button is focused, so the first Tab reaches the first one.
    area->setFocus();

    QList<QWidget *> order;
    for (const PanelButton &panelButton : PanelButtons::readingOrder())
        order << buttonOf(panelButton);
    return new FocusMark(order, area);
}

QString listing()
{
    QString rows = QStringLiteral("<tr>") + cell(QString(), "th") + cell(tr("Channel 1"), "th")
        + cell(tr("Channel 2"), "th") + QStringLiteral("</tr>");
    for (const PanelShortcuts::Shortcut &entry : PanelShortcuts::table()) {
        if (entry.button.channel != 1)
            continue;
        PanelButton second = entry.button;
        second.channel = 2;
        QString what;
        switch (entry.button.kind) {
        case PanelButton::Kind::Antenna:
            what = tr("Ant %1").arg(entry.button.antenna + 1);
            break;
        case PanelButton::Kind::Release:
            what = tr("RELEASE");
            break;
        case PanelButton::Kind::Split:
            what = tr("SPLIT");
            break;
        case PanelButton::Kind::Send:
        case PanelButton::Kind::Power:
            continue;
        }
        const auto shown = [](const QString &keys) {
            return QKeySequence(keys, QKeySequence::PortableText).toString(QKeySequence::NativeText);
        };
        rows += QStringLiteral("<tr>") + cell(what) + cell(shown(entry.keys))
            + cell(shown(PanelShortcuts::keysOf(second))) + QStringLiteral("</tr>");
    }
    return QStringLiteral("<table>") + rows + QStringLiteral("</table><p>")
        + tr("The digits work on the number pad too. Tab and Shift+Tab move between the buttons, "
             "Space presses the one with the outline.")
              .toHtmlEscaped()
        + QStringLiteral("</p>");
}

void showListing(QWidget *parent)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, tr("Keyboard Shortcuts"), listing(), QMessageBox::Close, parent);
    box->setObjectName(QStringLiteral("keyboardShortcuts"));
    box->setTextFormat(Qt::RichText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

} // namespace PanelKeyboard
