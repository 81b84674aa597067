#pragma once
// Which failures of an FTP request are worth trying again: a connection
// that broke, timed out or was refused for the moment may well work on the
// next try, a refusal of the account, the name or the space will not.

#include <QByteArray>

// `errCode` is the completion's error code, `lastResponse` the client's
// LastResponse at that moment (a reply line or the client's own text),
// `failedCommand` the client's FailedCommand (the verb whose reply failed).
//   Transient: socket errors, the server closing or refusing for now (421,
//   425, 426), the client's own "426 Timeout", a lost control connection,
//   a data connection that could not be made, and any 4xx reply to REST
//   or AUTH (a resume point or TLS the server cannot give just now).
//   Permanent: 530 (not logged in), 550 (no such file or folder, no
//   access), 552 (no space), 553 (name not allowed), a local file that
//   cannot be opened or read, a TLS failure, and every other reply.
bool IsTransientFtpFailure(int errCode, const QByteArray& lastResponse, const QByteArray& failedCommand = {});
