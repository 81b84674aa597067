#include "faultplan.h"

#include <algorithm>

namespace {

bool parseCount(const QString& text, qint64& value) {
    // Sizes may carry K or M (binary units) for readable plans.
    QString digits = text.trimmed();
    qint64 unit = 1;
    if (digits.endsWith(QLatin1Char('K'), Qt::CaseInsensitive))
        unit = 1024;
    else if (digits.endsWith(QLatin1Char('M'), Qt::CaseInsensitive))
        unit = 1024 * 1024;
    if (unit != 1)
        digits.chop(1);
    bool ok = false;
    value = digits.toLongLong(&ok) * unit;
    return ok && value >= 0;
}

bool parseAction(const QString& text, FaultAction& action) {
    const QStringList parts = text.split(QLatin1Char(':'));
    const QString& kind = parts[0];
    bool ok = true;
    if (kind == QLatin1String("cut") && parts.size() == 1) {
        action.Kind = FaultKind::Cut;
    } else if (kind == QLatin1String("reset") && parts.size() == 1) {
        action.Kind = FaultKind::Reset;
    } else if (kind == QLatin1String("stall") && parts.size() == 2) {
        action.Kind = FaultKind::Stall;
        action.DurationMs = parts[1].toInt(&ok);
    } else if (kind == QLatin1String("trickle") && parts.size() == 3) {
        action.Kind = FaultKind::Trickle;
        ok = parseCount(parts[1], action.BytesPerSecond) && action.BytesPerSecond > 0;
        action.DurationMs = parts[2].toInt(&ok);
    } else {
        return false;
    }
    return ok && action.DurationMs >= 0;
}

}  // namespace

QString FaultPlanUsage() {
    return QStringLiteral(
        "usage: quellix-fault-proxy --target HOST:PORT [--port N] [--seed N]\n"
        "           [--at BYTES[,BYTES...]] [--after-text TEXT]... [--every MIN-MAX] [--max-faults N]\n"
        "           [--fault cut|reset|stall:MS|trickle:BYTES_PER_S:MS]\n"
        "           [--count up|down|both] [--ftp [--faults-on control|data|all]]\n"
        "           [--delay MS] [--rate BYTES_PER_S]\n"
        "Forwards connections on 127.0.0.1 to the target and injects a fault whenever the\n"
        "counted bytes (over all connections) reach a point of the plan: the scripted\n"
        "points of --at, or intervals drawn from MIN-MAX with --seed. Sizes take K and M.\n"
        "--after-text faults right after a connection's counted bytes carried TEXT (each once).\n"
        "--ftp rewrites passive replies (227, 229) so FTP data connections pass the proxy.\n"
        "--delay adds MS one way in each direction, also to each connection's set-up (a round\n"
        "trip of 2 x MS); --rate caps each connection's direction at BYTES_PER_S (K, M).\n"
        "Prints \"PORT n\" when listening and one line per fault; ends when standard input\n"
        "closes or its parent process goes.\n");
}

bool ParseFaultPlan(const QStringList& arguments, FaultPlan& plan, QString& error) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (option == QLatin1String("--ftp")) {
            plan.Ftp = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = option + QStringLiteral(" needs a value");
            return false;
        }
        const QString value = arguments[++i];
        bool ok = true;
        if (option == QLatin1String("--target")) {
            const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
            plan.TargetHost = value.left(colon);
            plan.TargetPort = quint16(value.mid(colon + 1).toUInt(&ok));
            ok = ok && colon > 0 && plan.TargetPort != 0;
        } else if (option == QLatin1String("--port")) {
            plan.ListenPort = quint16(value.toUInt(&ok));
        } else if (option == QLatin1String("--seed")) {
            plan.Seed = value.toULongLong(&ok);
        } else if (option == QLatin1String("--at")) {
            for (const QString& point : value.split(QLatin1Char(','))) {
                qint64 at = 0;
                ok = ok && parseCount(point, at) && at > 0;
                plan.At.append(at);
            }
            std::sort(plan.At.begin(), plan.At.end());
        } else if (option == QLatin1String("--after-text")) {
            plan.AfterTexts.append(value.toUtf8());
            ok = !value.isEmpty();
        } else if (option == QLatin1String("--every")) {
            const QStringList ends = value.split(QLatin1Char('-'));
            ok = ends.size() == 2 && parseCount(ends[0], plan.EveryMin) && parseCount(ends[1], plan.EveryMax) &&
                 plan.EveryMin > 0 && plan.EveryMin <= plan.EveryMax;
        } else if (option == QLatin1String("--delay")) {
            plan.DelayMs = value.toLongLong(&ok);
            ok = ok && plan.DelayMs >= 0 && plan.DelayMs <= 60000;
        } else if (option == QLatin1String("--rate")) {
            ok = parseCount(value, plan.RateBytesPerSecond);
        } else if (option == QLatin1String("--max-faults")) {
            plan.MaxFaults = value.toInt(&ok);
        } else if (option == QLatin1String("--fault")) {
            ok = parseAction(value, plan.Action);
        } else if (option == QLatin1String("--count")) {
            plan.CountUp = value == QLatin1String("up") || value == QLatin1String("both");
            plan.CountDown = value == QLatin1String("down") || value == QLatin1String("both");
            ok = plan.CountUp || plan.CountDown;
        } else if (option == QLatin1String("--faults-on")) {
            plan.OnControl = value == QLatin1String("control") || value == QLatin1String("all");
            plan.OnData = value == QLatin1String("data") || value == QLatin1String("all");
            ok = plan.OnControl || plan.OnData;
        } else {
            error = QStringLiteral("unknown option ") + option;
            return false;
        }
        if (!ok) {
            error = QStringLiteral("bad value for ") + option + QStringLiteral(": ") + value;
            return false;
        }
    }
    if (plan.TargetPort == 0) {
        error = QStringLiteral("--target HOST:PORT is required");
        return false;
    }
    return true;
}

FaultSchedule::FaultSchedule(const FaultPlan& plan) : plan_(plan), random_(plan.Seed) { scheduleNext(); }

QByteArray FaultSchedule::PendingText() const {
    if (plan_.MaxFaults >= 0 && fired_ >= plan_.MaxFaults)
        return {};
    return plan_.AfterTexts.value(textsPassed_);
}

void FaultSchedule::Fired() {
    ++fired_;
    scheduleNext();
}

void FaultSchedule::scheduleNext() {
    next_ = -1;
    if (plan_.MaxFaults >= 0 && fired_ >= plan_.MaxFaults)
        return;
    while (scripted_ < plan_.At.size()) {
        const qint64 at = plan_.At[scripted_++];
        if (at > counted_) {
            next_ = at;
            return;
        }
    }
    if (plan_.EveryMin > 0) {
        std::uniform_int_distribution<qint64> interval(plan_.EveryMin, plan_.EveryMax);
        next_ = counted_ + interval(random_);
    }
}
