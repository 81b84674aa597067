// Frames made by an independent encoder (the Python one the demo site uses)
// must decode here, and frames made here must decode there, so a mistake
// made the same way in our encoder and decoder cannot pass.

#include "support/testutil.h"
#include "text/gbk.h"
#include "text/scramble.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

using Codec = QByteArray (*)(QByteArrayView, CodecDirection);

QByteArray reference(const char* action, const char* kind, const QByteArray& input) {
    const ProcessResult r = RunProcess(QStringLiteral("/usr/bin/python3"),
                                       {SourceDir() + QStringLiteral("/demo/quellix_codec.py"),
                                        QString::fromLatin1(action), QString::fromLatin1(kind),
                                        QString::fromLatin1(input.toHex())});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QByteArray::fromHex(r.out.trimmed());
}

struct Kind {
    const char* name;
    Codec codec;
};
const Kind kKinds[] = {{"site", &SiteConfigCodec}, {"server", &ServerSettingsCodec}, {"settings", &SettingsFileCodec}};

QList<QByteArray> sampleTexts() {
    QList<QByteArray> texts = {
        "http://127.0.0.1:8080/|\"Demo Disk\"",
        "ftp.example.cn|uploader|\"pass word\"|21|/files/|1|"_gbk + "5rWL6K+V" ,
        "Laconic|张三"_gbk,
        "x",
    };
    QRandomGenerator random(2024);
    for (int i = 0; i < 6; ++i) {
        QByteArray text(int(1 + random.bounded(200)), '\0');
        for (char& c : text)
            c = char(1 + random.bounded(254));
        texts.append(text);
    }
    return texts;
}

TEST(CodecReference, FramesOfTheIndependentEncoderDecodeHere) {
    for (const Kind& kind : kKinds)
        for (const QByteArray& text : sampleTexts())
            EXPECT_EQ(kind.codec(reference("encode", kind.name, text), CodecDirection::Decode), text) << kind.name;
}

TEST(CodecReference, FramesEncodedHereDecodeInTheIndependentDecoder) {
    for (const Kind& kind : kKinds)
        for (const QByteArray& text : sampleTexts())
            EXPECT_EQ(reference("decode", kind.name, kind.codec(text, CodecDirection::Encode)), text) << kind.name;
}

}  // namespace
