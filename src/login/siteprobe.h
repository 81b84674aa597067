#pragma once
// The reachability probe: a HEAD request that must end with status 200
// within a time limit (30 seconds). Relocations are followed by the client;
// only the final status counts. The wait keeps the program responsive.

#include <QByteArray>

class THttpCli;

class SiteProbe {
public:
    // Uses `http` for the probes and takes its completion event, which only
    // marks the probe done.
    explicit SiteProbe(THttpCli& http);

    bool ProbeUrl(const QByteArray& address);

    int TimeLimitMs = 30000;
    bool ProbeDone = false;
    // When the last probe failed at the proxy (down, refusing the client,
    // unable to reach the site): the message that names it; else empty.
    QByteArray LastProxyFailure;

private:
    THttpCli& http_;
};
