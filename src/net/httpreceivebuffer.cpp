#include "net/httpreceivebuffer.h"

#include <cstring>

char* HttpReceiveBuffer::PrepareWrite(qsizetype minFree, qsizetype preferredFree) {
    if (begin_ == end_)
        begin_ = end_ = 0;
    if (storage_.size() - end_ < minFree) {
        // Move the pending rest to the front first; grow only when that is
        // not enough.
        if (begin_ > 0) {
            const qsizetype pending = end_ - begin_;
            std::memmove(storage_.data(), storage_.constData() + begin_, size_t(pending));
            begin_ = 0;
            end_ = pending;
        }
        if (storage_.size() - end_ < minFree)
            storage_.resize(end_ + std::max(minFree, preferredFree));
    }
    return storage_.data() + end_;
}

void HttpReceiveBuffer::Consume(qsizetype bytes) {
    begin_ += bytes;
    if (begin_ >= end_)
        begin_ = end_ = 0;
}

void HttpReceiveBuffer::Release() {
    storage_ = QByteArray();
    begin_ = end_ = 0;
}
