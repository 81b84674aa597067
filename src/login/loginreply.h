#pragma once
// The lines of the site's reply to a login request.

#include <QByteArray>
#include <QList>

struct LoginReply {
    enum class Kind {
        Nothing,     // no line: the window does nothing
        Refused,     // one line: the site's message (GBK) in Message
        NoAccount,   // two lines or more, but the name or token is blank
        LoggedIn,    // name, token and the debug-log switch
    };
    Kind kind = Kind::Nothing;
    QByteArray Message;
    QByteArray AccountName;
    QByteArray AccountToken;
    bool DebugLogEnabled = false;  // a third line of exactly "1"
};

// Reads the reply lines (as CutLines gives them). Name and token are taken
// as they stand; a name or token of blanks only would make every later
// request fail unseen, so such a reply is no login.
LoginReply ReadLoginReply(const QList<QByteArray>& lines);
