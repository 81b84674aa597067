#include "net/httpbodyreader.h"

#include <limits>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void HttpBodyReader::Start(Mode mode, qint64 length) {
    mode_ = mode;
    error_.clear();
    lineBytes_ = 0;
    switch (mode) {
    case Mode::Length:
        remaining_ = length;
        state_ = length > 0 ? State::Data : State::Done;
        break;
    case Mode::Chunked:
        chunkSize_ = 0;
        sizeDigits_ = 0;
        state_ = State::SizeDigits;
        break;
    case Mode::UntilClose:
        remaining_ = -1;
        state_ = State::Data;
        break;
    }
}

HttpBodyReader::Step HttpBodyReader::fail(qsizetype consumed, const char* text) {
    state_ = State::Failed;
    error_ = text;
    Step step;
    step.consumed = consumed;
    step.error = true;
    return step;
}

HttpBodyReader::Step HttpBodyReader::Feed(const char* data, qsizetype size) {
    Step step;
    if (state_ == State::Done) {
        step.complete = true;
        return step;
    }
    if (state_ == State::Failed)
        return fail(0, error_.constData());

    if (mode_ != Mode::Chunked) {
        qsizetype piece = size;
        if (mode_ == Mode::Length && qint64(piece) > remaining_)
            piece = qsizetype(remaining_);
        step.consumed = piece;
        step.dataLength = piece;
        if (mode_ == Mode::Length) {
            remaining_ -= piece;
            if (remaining_ == 0) {
                state_ = State::Done;
                step.complete = true;
            }
        }
        return step;
    }

    // Chunked transfer coding (RFC 7230 section 4.1): size in hex, optional
    // extensions up to the line end, the data, a line end; a zero-size chunk
    // is followed by optional trailer lines and an empty line.
    qsizetype pos = 0;
    while (pos < size) {
        const char c = data[pos];
        switch (state_) {
        case State::SizeDigits: {
            const int digit = hexValue(c);
            if (digit < 0) {
                if (sizeDigits_ == 0)
                    return fail(pos, "Bad chunk size in chunked body");
                state_ = State::SizeLineRest;
                continue;  // this byte belongs to the rest of the line
            }
            if (chunkSize_ > (std::numeric_limits<qint64>::max() >> 4))
                return fail(pos, "Chunk size too large in chunked body");
            chunkSize_ = (chunkSize_ << 4) | digit;
            ++sizeDigits_;
            ++pos;
            if (++lineBytes_ > MaxLineBytes)
                return fail(pos, "Chunk size line too long in chunked body");
            break;
        }
        case State::SizeLineRest:
            ++pos;
            if (c == '\n') {
                lineBytes_ = 0;
                remaining_ = chunkSize_;
                state_ = chunkSize_ == 0 ? State::TrailerLineStart : State::Data;
            } else if (++lineBytes_ > MaxLineBytes) {
                return fail(pos, "Chunk size line too long in chunked body");
            }
            break;
        case State::Data: {
            if (pos > 0) {
                // Hand back what was consumed so far; the data comes in the next step.
                step.consumed = pos;
                return step;
            }
            const qsizetype piece = qint64(size) > remaining_ ? qsizetype(remaining_) : size;
            remaining_ -= piece;
            if (remaining_ == 0)
                state_ = State::DataLineEnd;
            step.consumed = piece;
            step.dataLength = piece;
            return step;
        }
        case State::DataLineEnd:
            ++pos;
            if (c == '\n') {
                lineBytes_ = 0;
                chunkSize_ = 0;
                sizeDigits_ = 0;
                state_ = State::SizeDigits;
            } else if (++lineBytes_ > MaxLineBytes) {
                return fail(pos, "Missing line end after chunk data");
            }
            break;
        case State::TrailerLineStart:
            ++pos;
            if (c == '\n') {
                state_ = State::Done;
                step.consumed = pos;
                step.complete = true;
                return step;
            }
            if (c != '\r') {
                lineBytes_ = 1;
                state_ = State::TrailerLine;
            }
            break;
        case State::TrailerLine:
            ++pos;
            if (c == '\n') {
                lineBytes_ = 0;
                state_ = State::TrailerLineStart;
            } else if (++lineBytes_ > MaxLineBytes) {
                return fail(pos, "Trailer line too long in chunked body");
            }
            break;
        case State::Done:
        case State::Failed:
            break;
        }
    }
    step.consumed = pos;
    return step;
}
