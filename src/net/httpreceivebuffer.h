#pragma once
// The receive buffer of a connection: bytes read from the socket that no
// parser has consumed yet. Reads go straight behind the pending bytes;
// consuming only moves a start index, and the pending rest is moved to the
// front only when the space behind it runs short, so long bodies are never
// shifted byte by byte.

#include <QByteArray>

class HttpReceiveBuffer {
public:
    // Space at the end for the next read: at least `minFree` bytes, or
    // `preferredFree` when the storage already has room for it.
    char* PrepareWrite(qsizetype minFree, qsizetype preferredFree);
    qsizetype FreeSpace() const { return storage_.size() - end_; }
    void CommitWrite(qsizetype bytes) { end_ += bytes; }

    const char* Data() const { return storage_.constData() + begin_; }
    qsizetype Size() const { return end_ - begin_; }
    bool IsEmpty() const { return end_ == begin_; }

    void Consume(qsizetype bytes);
    // Drops the pending bytes; keeps the storage for the next response.
    void Clear() { begin_ = end_ = 0; }
    // Drops the storage too (between connections).
    void Release();

    qsizetype Capacity() const { return storage_.size(); }

private:
    QByteArray storage_;
    qsizetype begin_ = 0;
    qsizetype end_ = 0;
};
