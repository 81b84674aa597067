#pragma once
// A link label: underlined text that opens its address in the web browser
// when clicked, if the address is not empty.

#include <QByteArray>
#include <QLabel>

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString& caption = QString(), QWidget* parent = nullptr);

    // The address (GBK bytes, as the site's texts are).
    QByteArray URL;

Q_SIGNALS:
    // Emitted on a click, after the address was handed to the browser.
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
