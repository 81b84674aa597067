#pragma once
// The response body reader: length-bounded, chunked, or running until the
// connection closes. Fed the received bytes, each step consumes some of them
// and may point at one piece of body data inside them; the caller writes and
// reports that piece and feeds the rest again. No bytes are copied here.

#include <QByteArray>
#include <QtGlobal>

class HttpBodyReader {
public:
    enum class Mode { Length, Chunked, UntilClose };

    // Chunk-size and trailer lines longer than this are refused.
    static constexpr qsizetype MaxLineBytes = 100 * 1024;

    struct Step {
        qsizetype consumed = 0;    // bytes of the input used up by this step
        qsizetype dataOffset = 0;  // the piece of body data, inside the input
        qsizetype dataLength = 0;
        bool complete = false;     // the body ended with this step
        bool error = false;        // the body is malformed (ErrorText says how)
    };

    // `length` is the Content-Length for Mode::Length (more than 0).
    void Start(Mode mode, qint64 length = -1);

    // One step over `data`. A step that consumes nothing and carries no data
    // needs more bytes.
    Step Feed(const char* data, qsizetype size);

    Mode mode() const { return mode_; }
    bool Complete() const { return state_ == State::Done; }
    const QByteArray& ErrorText() const { return error_; }

private:
    enum class State { SizeDigits, SizeLineRest, Data, DataLineEnd, TrailerLineStart, TrailerLine, Done, Failed };

    Step fail(qsizetype consumed, const char* text);

    Mode mode_ = Mode::UntilClose;
    State state_ = State::Data;
    qint64 remaining_ = 0;  // of the body (Length) or of the current chunk (Chunked)
    qint64 chunkSize_ = 0;
    int sizeDigits_ = 0;
    qsizetype lineBytes_ = 0;
    QByteArray error_;
};
