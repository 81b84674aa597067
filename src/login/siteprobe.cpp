#include "login/siteprobe.h"

#include "net/httpcli.h"
#include "net/nestedwait.h"

#include <QElapsedTimer>
#include <algorithm>

SiteProbe::SiteProbe(THttpCli& http) : http_(http) {
    http_.OnRequestDone = [this](THttpCli&, THttpRequest, quint16) { ProbeDone = true; };
}

bool SiteProbe::ProbeUrl(const QByteArray& address) {
    try {
        ProbeDone = false;
        LastProxyFailure.clear();
        http_.URL = address;
        http_.HeadASync();
        QElapsedTimer clock;
        clock.start();
        const int checkMs = std::clamp(TimeLimitMs / 10, 10, 1000);
        const WaitOutcome outcome = WaitWhileProcessingEvents(
            [this] { return ProbeDone; }, [&] { return clock.elapsed() >= TimeLimitMs; }, checkMs);
        if (outcome == WaitOutcome::Done) {
            if (http_.ProxyFailed())
                LastProxyFailure = http_.ReasonPhrase();
            return http_.StatusCode() == 200;
        }
        http_.Abort();
        return false;
    } catch (const std::exception&) {
        // A probe that cannot start (the client is still busy with an
        // earlier probe) counts as failed.
        return false;
    }
}
