// encode / decode: the configuration codecs from the command line.

#include "command.h"
#include "text/scramble.h"

namespace {

using Codec = QByteArray (*)(QByteArrayView, CodecDirection);

Codec codecNamed(const QByteArray& kind) {
    if (kind == "site") return &SiteConfigCodec;
    if (kind == "server") return &ServerSettingsCodec;
    if (kind == "settings") return &SettingsFileCodec;
    return nullptr;
}

int runCodec(const char* command, CodecDirection direction, ToolArgs& args) {
    const bool raw = args.takeFlag("--raw");
    if (args.raw.size() != 2)
        return UsageError(command);
    Codec codec = codecNamed(args.raw[0]);
    if (!codec)
        return UsageError(command);
    const QByteArray input = args.raw[1];
    if (direction == CodecDirection::Encode) {
        WriteOut(codec(raw ? input : TerminalToGbk(input), direction) + "\n");
    } else {
        const QByteArray text = codec(input, direction);
        WriteOut((raw ? text : GbkToTerminal(text)) + "\n");
    }
    return 0;
}

const ToolCommand encodeCommand("encode", "encode site|server|settings [--raw] TEXT",
                                [](ToolArgs& args) { return runCodec("encode", CodecDirection::Encode, args); });
const ToolCommand decodeCommand("decode", "decode site|server|settings [--raw] FRAME",
                                [](ToolArgs& args) { return runCodec("decode", CodecDirection::Decode, args); });

}  // namespace
