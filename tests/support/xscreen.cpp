#include "support/xscreen.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThread>
#include <QtEndian>

#include <csignal>
#include <sys/prctl.h>

namespace {

// A child that outlives a killed test would hold its display or port.
void dieWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

}  // namespace

XScreen::XScreen(QSize size, int timeoutMs) : server_(std::make_unique<QProcess>()) {
    dieWithParent(*server_);
    // -displayfd: the server takes the first free display number and writes
    // it to its standard output once it accepts connections.
    server_->start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!server_->waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("Xvfb did not start: ") + server_->errorString();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!out.contains('\n') && clock.elapsed() < timeoutMs && server_->state() == QProcess::Running) {
        server_->waitForReadyRead(200);
        out += server_->readAllStandardOutput();
    }
    const QByteArray number = out.trimmed();
    bool ok = false;
    number.toInt(&ok);
    if (!ok) {
        error_ = QStringLiteral("Xvfb gave no display number: ") + QString::fromLocal8Bit(server_->readAllStandardError());
        stopProcess(*server_);
        return;
    }
    display_ = QLatin1Char(':') + QString::fromLatin1(number);
}

XScreen::~XScreen() {
    for (auto& program : programs_)
        stopProcess(*program);
    stopProcess(*server_);
}

QProcessEnvironment XScreen::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

QProcess* XScreen::start(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
                         const QString& workDir) {
    auto process = std::make_unique<QProcess>();
    dieWithParent(*process);
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(workDir);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(program, arguments);
    process->waitForStarted(10000);
    programs_.push_back(std::move(process));
    return programs_.back().get();
}

QByteArray XScreen::xdotool(const QStringList& arguments) {
    QProcess tool;
    dieWithParent(tool);
    tool.setProcessEnvironment(environment());
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000)) {
        stopProcess(tool);
        return {};
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return {};
    QByteArray out = tool.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
}

QRect XScreen::windowRect(const QString& name) {
    const QByteArray out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                    name, QStringLiteral("getwindowgeometry"), QStringLiteral("--shell")});
    QHash<QByteArray, int> values;
    for (const QByteArray& line : out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1).toInt());
    }
    if (!values.contains("WIDTH"))
        return {};
    return QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
}

QRect XScreen::waitForWindow(const QString& name, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const QRect rect = windowRect(name);
        if (!rect.isEmpty() || clock.elapsed() > timeoutMs)
            return rect;
        QThread::msleep(200);
    }
}

QImage XScreen::capture() {
    QProcess xwd;
    dieWithParent(xwd);
    xwd.setProcessEnvironment(environment());
    xwd.start(QStringLiteral("xwd"), {QStringLiteral("-root"), QStringLiteral("-silent")});
    if (!xwd.waitForFinished(15000)) {
        stopProcess(xwd);
        return {};
    }
    return ReadXwd(xwd.readAllStandardOutput());
}

QImage ReadXwd(const QByteArray& bytes) {
    // The header: 25 32-bit fields in the server's byte order (big-endian
    // from xwd), then the window name, then the colour map entries.
    if (bytes.size() < 100)
        return {};
    auto field = [&](int index) { return qFromBigEndian<quint32>(bytes.constData() + 4 * index); };
    const quint32 headerSize = field(0), format = field(2), width = field(4), height = field(5);
    const quint32 byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12), colours = field(19);
    const quint32 red = field(14), green = field(15), blue = field(16);
    const qint64 data = qint64(headerSize) + qint64(colours) * 12;
    if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 || height == 0 ||
        data + qint64(bytesPerLine) * height > bytes.size())
        return {};
    auto shiftOf = [](quint32 mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    };
    const int rs = shiftOf(red), gs = shiftOf(green), bs = shiftOf(blue);
    const int step = int(bitsPerPixel / 8);
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (quint32 y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uchar*>(bytes.constData() + data + qint64(bytesPerLine) * y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (quint32 x = 0; x < width; ++x) {
            const uchar* p = row + x * step;
            quint32 v = 0;
            for (int i = 0; i < step; ++i)
                v |= quint32(p[i]) << (8 * (byteOrder == 0 ? i : step - 1 - i));
            out[x] = qRgb(int((v & red) >> rs), int((v & green) >> gs), int((v & blue) >> bs));
        }
    }
    return image;
}

double InkShare(const QImage& image, const QRect& rect, int tolerance) {
    const QRect area = rect.intersected(image.rect());
    if (area.isEmpty())
        return 0;
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb common = 0;
    int best = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > best) {
            best = it.value();
            common = it.key();
        }
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - qRed(common)) > tolerance || qAbs(qGreen(p) - qGreen(common)) > tolerance ||
                qAbs(qBlue(p) - qBlue(common)) > tolerance)
                ++ink;
        }
    return double(ink) / (area.width() * area.height());
}

double MeanGreyDifference(const QImage& a, const QRect& rectA, const QImage& b, const QPoint& topLeftB) {
    const QRect inB(topLeftB, rectA.size());
    if (!a.rect().contains(rectA) || !b.rect().contains(inB) || rectA.isEmpty())
        return 255;
    double sum = 0;
    for (int y = 0; y < rectA.height(); ++y)
        for (int x = 0; x < rectA.width(); ++x)
            sum += qAbs(qGray(a.pixel(rectA.left() + x, rectA.top() + y)) - qGray(b.pixel(inB.left() + x, inB.top() + y)));
    return sum / (rectA.width() * rectA.height());
}
