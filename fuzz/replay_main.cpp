// Runs a fuzz target once over every file of its corpus folders, without
// libFuzzer: the regression check of the test suite. A broken invariant
// aborts, and ctest reports the test as failed; the file being run is
// printed first so that the failing input is known.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files, QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext())
            paths << it.next();
        paths.sort();
        for (const QString& path : paths) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            // A copy of its own, so that reading past the input's end is
            // not hidden by the file's buffer.
            const QByteArray bytes = file.readAll();
            std::fprintf(stderr, "%s\n", qPrintable(path));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("%d inputs run\n", files);
    // A corpus that went missing must not pass as checked.
    return files > 0 ? 0 : 1;
}
