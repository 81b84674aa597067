#pragma once
// TMyHttpCli: one part client of the multipart downloader, an HTTP client
// with the component defaults plus the state of the byte range it fetches.

#include "net/httpcli.h"

class TMyHttpCli : public THttpCli {
public:
    using THttpCli::THttpCli;

    qint64 DataCount = 0;    // bytes of this range written so far (a continuation keeps them)
    qint64 StartOffset = 0;  // first byte of the range
    qint64 EndOffset = 0;    // last byte asked for; for the last range the document length
    int PartIndex = 0;       // position in the downloader's list
    bool PartDone = false;   // the range has ended; cleared by a restart

    // The downloader's bookkeeping.
    qint64 LastByte = -1;     // last document byte the range covers (EndOffset within the document)
    bool Accepted = false;    // the response in progress is the range asked for: its body is written
    int RejectedStatus = 0;   // status of a response refused at its header, 0 when none was
    bool Progressed = false;  // this attempt got further into the range than any before it
    qint64 Furthest = 0;      // most bytes of the range any attempt has written
    int Failures = 0;         // failed attempts in a row that got no further
    quint32 LastActivity = 0; // tick of the request's last sign of life
    bool Retired = false;     // replaced or abandoned: its events are ignored
    bool FirstRange = false;  // the first range of the division: it may take the whole document
    bool Shortened = false;   // another range took over its end: stop the request there
    quint32 RequestTick = 0;  // tick the request in progress was sent at
    qint64 RequestBytes = 0;  // bytes it has written so far
};
