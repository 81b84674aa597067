#include "login/loginreply.h"

#include "text/fields.h"

LoginReply ReadLoginReply(const QList<QByteArray>& lines) {
    LoginReply reply;
    if (lines.isEmpty())
        return reply;
    if (lines.size() == 1) {
        reply.kind = LoginReply::Kind::Refused;
        reply.Message = lines.first();
        return reply;
    }
    if (TrimBlanks(lines.at(0)).isEmpty() || TrimBlanks(lines.at(1)).isEmpty()) {
        reply.kind = LoginReply::Kind::NoAccount;
        return reply;
    }
    reply.kind = LoginReply::Kind::LoggedIn;
    reply.AccountName = lines.at(0);
    reply.AccountToken = lines.at(1);
    reply.DebugLogEnabled = lines.value(2) == "1";
    return reply;
}
