// THttpCli: the response (header, body, end), a closed connection, and
// following relocations.

#include "net/httpcli.h"

#include "net/httpconnection.h"
#include "net/httpurl.h"
#include "net/socketerror.h"

#include <QBuffer>
#include <QFileDevice>

namespace {

// Cuts a receive stream back to an earlier size, so that the body of a
// redirect does not stay in front of the final body.
void cutBack(QIODevice* stream, qint64 size, qint64 position) {
    if (auto* buffer = qobject_cast<QBuffer*>(stream)) {
        if (buffer->buffer().size() > size)
            buffer->buffer().truncate(size);
    } else if (auto* file = qobject_cast<QFileDevice*>(stream)) {
        file->flush();
        if (file->size() > size)
            file->resize(size);
    }
    if (!stream->isSequential())
        stream->seek(position);
}

bool isChunked(const QByteArray& transferCoding) { return transferCoding.trimmed().endsWith("chunked"); }

}  // namespace

void THttpCli::processPending() {
    switch (phase_) {
    case Phase::None:
        buffer_.Clear();  // nobody is reading: stray bytes are dropped
        return;
    case Phase::DiscardHead:
        // A HEAD reply has no body: anything more means the connection is
        // out of step.
        buffer_.Clear();
        dropConnection();
        return;
    case Phase::Header: {
        const HttpHeaderParser::Step step = parser_.Feed(buffer_.Data(), buffer_.Size());
        buffer_.Consume(step.consumed);
        if (step.status == HttpHeaderParser::Status::Error) {
            head_ = parser_.Head();
            publishHeader();
            failResponse(parser_.ErrorText());
        } else if (step.status == HttpHeaderParser::Status::Complete) {
            headerEnded();
        }
        return;
    }
    case Phase::Body:
        feedBody();
        return;
    }
}

void THttpCli::publishHeader() {
    statusCode_ = head_.StatusCode;
    reasonPhrase_ = head_.ReasonPhrase;
    contentLength_ = head_.ContentLength;
    if (head_.AcceptRangesSeen)
        acceptRanges_ = head_.AcceptRanges;
    if (head_.ContentRangeSeen) {
        ContentRangeBegin = head_.ContentRangeBegin;
        ContentRangeEnd = head_.ContentRangeEnd;
    }
    closeAfter_ = head_.CloseAfter;
    if (head_.LocationSeen && FollowRelocation) {
        relocation_ = ResolveHttpRelocation(target_, head_.Location);
        if (relocation_.Valid) {
            relocationPending_ = true;
            location_ = relocation_.Location;
        }
    }
}

bool THttpCli::responseHasBody() const {
    if (method_ == "HEAD")
        return false;
    if (head_.Headerless)
        return true;
    const int status = statusCode_;
    // Interim, 204 and 304 responses never carry a body, whatever their
    // header says (RFC 7230 section 3.3.3).
    if ((status >= 100 && status < 200) || status == 204 || status == 304)
        return false;
    if (contentLength_ == 0)
        return false;
    if (isChunked(head_.TransferCoding) || contentLength_ > 0)
        return true;
    return !(status < 200 || status == 301 || status == 302 || status == 401 || status == 407);
}

void THttpCli::headerEnded() {
    head_ = parser_.Head();
    publishHeader();
    const quint64 serial = serial_;
    if (OnHeaderEnd && !raise([&] { OnHeaderEnd(*this); }))
        return;
    if (serial != serial_ || state_ == httpReady || state_ == httpAborting) {
        buffer_.Clear();  // aborted in the handler: nothing more of this response
        return;
    }
    if (!responseHasBody()) {
        phase_ = method_ == "HEAD" ? Phase::DiscardHead : Phase::None;
        if (method_ == "HEAD")
            setState(httpWaitingBody);
        responseEnded();
        return;
    }
    docName_ = HttpDocNameForContentType(docName_, head_.ContentType);
    setState(httpWaitingBody);
    phase_ = Phase::Body;
    if (isChunked(head_.TransferCoding) && !head_.Headerless) {
        // Chunked framing wins over a Content-Length (RFC 7230 section 3.3.3).
        body_.Start(HttpBodyReader::Mode::Chunked);
    } else if (contentLength_ > 0 && !head_.Headerless) {
        body_.Start(HttpBodyReader::Mode::Length, contentLength_);
        // Beyond the body nothing more arrives: the download limit need not
        // pay for room freed at its end.
        if (connection_)
            connection_->ExpectMore(std::max<qint64>(contentLength_ - buffer_.Size(), 0));
    } else {
        body_.Start(HttpBodyReader::Mode::UntilClose);
        closeAfter_ = true;  // only the close ends such a body
    }
    feedBody();
}

void THttpCli::feedBody() {
    QPointer<THttpCli> self(this);
    const quint64 serial = serial_;
    while (phase_ == Phase::Body) {
        const HttpBodyReader::Step step = body_.Feed(buffer_.Data(), buffer_.Size());
        // Consuming only moves an index: the piece stays where it is until
        // the next read.
        const char* piece = buffer_.Data() + step.dataOffset;
        buffer_.Consume(step.consumed);
        if (step.dataLength > 0) {
            deliverBody(piece, step.dataLength);
            if (self.isNull() || serial != serial_ || phase_ != Phase::Body)
                return;
        }
        if (step.error) {
            failResponse(body_.ErrorText());
            return;
        }
        if (step.complete) {
            bodyEnded();
            return;
        }
        if (step.consumed == 0 && step.dataLength == 0)
            return;  // needs more bytes
    }
}

void THttpCli::deliverBody(const char* data, qsizetype length) {
    if (!bodyStarted_) {
        bodyStarted_ = true;
        receiveStartSize_ = ReceiveStream ? ReceiveStream->size() : 0;
        receiveStartPos_ = ReceiveStream && !ReceiveStream->isSequential() ? ReceiveStream->pos() : 0;
    }
    if (ReceiveStream && ReceiveStream->write(data, length) != length) {
        // A body that cannot be stored must not end as a success.
        errCode_ = HttpError::WriteFailed;
        failResponse("Can't write the received data: " + ReceiveStream->errorString().toUtf8());
        return;
    }
    rcvdCount_ += length;
    if (OnDocData)
        raise([&] { OnDocData(*this, data, int(length)); });
}

void THttpCli::bodyEnded() {
    phase_ = Phase::None;
    setState(httpBodyReceived);
    responseEnded();
}

void THttpCli::responseEnded() {
    if (!buffer_.IsEmpty()) {
        // Bytes beyond the end of the response: the connection is out of step.
        buffer_.Clear();
        closeAfter_ = true;
    }
    if (closeAfter_ && connection_) {
        closeGracefully();  // goes on when the close is seen
        return;
    }
    if (relocationPending_)
        carryOutRelocation();
    else
        completeRequest();
}

void THttpCli::failResponse(const QByteArray& reason) {
    if (errCode_ == 0)
        errCode_ = HttpError::BadResponse;
    reasonPhrase_ = reason;
    relocationPending_ = false;
    relocationClosing_ = false;
    phase_ = Phase::None;
    buffer_.Clear();
    dropConnection();
    if (state_ != httpReady)
        completeRequest();
}

void THttpCli::connectionClosed(int errorCode) {
    buffer_.Clear();
    dropConnection();
    if (phase_ == Phase::Header && reusedConnection_ && !retriedFreshConnection_ && responseBytes_ == 0 &&
        method_ != "POST" && method_ != "PUT") {
        // A kept connection that the server had closed before it saw our
        // request: ask again on a new one.
        retriedFreshConnection_ = true;
        startOnTarget();
        return;
    }
    if (errorCode != 0)
        errCode_ = quint16(errorCode);
    // A response cut short - a header without its end, or a body shorter
    // than its length or chunks announced - is incomplete data and must not
    // end as a success. (A reset by the peer reaches us as a plain close.)
    const bool cutShort = phase_ == Phase::Header ||
                          (phase_ == Phase::Body && body_.mode() != HttpBodyReader::Mode::UntilClose);
    if (cutShort && errCode_ == 0)
        errCode_ = WinSock::ConnectionReset;
    if (phase_ == Phase::Header) {
        phase_ = Phase::None;
        head_ = parser_.Head();
        publishHeader();
        const quint64 serial = serial_;
        if (OnHeaderEnd && !raise([&] { OnHeaderEnd(*this); }))
            return;
        if (serial != serial_ || state_ == httpReady || state_ == httpAborting)
            return;
    } else if (phase_ == Phase::Body) {
        phase_ = Phase::None;  // the body ends here, whatever it announced
        setState(httpBodyReceived);
    } else if (phase_ == Phase::DiscardHead) {
        phase_ = Phase::None;
    }
    if (relocationPending_) {
        if (relocationClosing_) {
            relocationClosing_ = false;
            continueRelocation();
        } else {
            carryOutRelocation();
        }
        return;
    }
    if (state_ != httpReady)
        completeRequest();
}

void THttpCli::carryOutRelocation() {
    ++locationChangeCurCount_;
    if (locationChangeCurCount_ > LocationChangeMaxCount) {
        bool allowMore = false;
        const quint64 serial = serial_;
        if (OnLocationChangeExceeded &&
            !raise([&] { OnLocationChangeExceeded(*this, locationChangeCurCount_, allowMore); }))
            return;
        if (serial != serial_ || state_ == httpReady || state_ == httpAborting)
            return;
        if (!allowMore) {
            relocationPending_ = false;
            completeRequest();  // the redirect response is the result
            return;
        }
    }
    if (connection_ && connection_->IsOpen()) {
        const HttpTarget& next = relocation_.Target;
        const bool sameServer = connection_->Protocol() == next.Protocol &&
                                connection_->PeerName() == HostForLookup(next.Host) &&
                                connection_->Port() == HttpPortNumber(next.Port, next.Protocol);
        if (closeAfter_ || !sameServer) {
            relocationClosing_ = true;
            closeGracefully();  // continues in connectionClosed, not counted again
            return;
        }
    }
    continueRelocation();
}

void THttpCli::continueRelocation() {
    const quint64 serial = serial_;
    if (OnLocationChange && !raise([&] { OnLocationChange(*this); }))
        return;
    if (serial != serial_ || state_ == httpReady || state_ == httpAborting)
        return;

    if (bodyStarted_ && ReceiveStream)
        cutBack(ReceiveStream, receiveStartSize_, receiveStartPos_);
    if (SendStream && sentCount_ > 0 && !SendStream->isSequential())
        SendStream->seek(SendStream->pos() - sentCount_);
    const QByteArray location = location_;
    resetResults();
    location_ = location;
    target_ = relocation_.Target;
    docName_ = HttpDocName(target_.Path);
    if (method_ == "POST" || method_ == "PUT")
        method_ = "GET";  // the body is not sent again

    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial != serial_ || state_ == httpReady || state_ == httpAborting)
                return;
            relocationPending_ = false;
            startOnTarget();
        },
        Qt::QueuedConnection);
}
