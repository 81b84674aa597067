#pragma once
// Driving a web view's page with mouse and keys in tests, and reading what
// the page itself received: the input log page writes every mouse button,
// context-menu and key event it sees into its title.
//
// Input reaches the page in the order it was sent, so a left click sent
// after some other input and seen by the page shows that the earlier input
// was delivered, or dropped, by then. Every click lands at its own spot, so
// the page's entry for one click cannot be mistaken for another's.

#include <QByteArray>
#include <QString>

class QWebEngineView;

// An HTML page that logs into its title, comma-separated:
// "d<button>@<x>" for a button going down at x, "u<button>@<x>" for one
// going up, "cm" for a context-menu event, "k" + ("^" with Ctrl) + key name
// for a key going down.
QByteArray InputLogPage();

// The page's log so far.
QString PageLog(const QWebEngineView& view);

// Clicks `button` in the view's content at a spot not used before and gives
// its x. With `throughWindow` the click comes as the window system delivers
// it (to the top-level window, which finds the widget under the pointer and
// also raises the context-menu event); otherwise it is sent to the content
// widget directly.
int ClickInView(QWebEngineView& view, Qt::MouseButton button, bool throughWindow = true);

// Waits until the page has seen the left click at `x` go up.
bool WaitForLeftClick(const QWebEngineView& view, int x, int timeoutMs = 10000);

// Left-clicks until the page has seen a click (a freshly loaded page may not
// take input at once); true when it did within the bound.
bool WaitUntilPageTakesClicks(QWebEngineView& view, int timeoutMs = 10000);

// Whether a log holds any trace of the right button: its button events or
// a context-menu event.
bool HasRightButtonTrace(const QString& log);

// Sends one key (with modifiers) to the view's content widget.
void KeyInView(QWebEngineView& view, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Waits until what the page logged after the log `before` ends with `tail`.
bool WaitForLogAfter(const QWebEngineView& view, const QString& before, const QString& tail,
                     int timeoutMs = 10000);
