#pragma once
// What the fuzz targets share: the invariant check, which aborts so that
// libFuzzer (and the corpus replay in the test suite) reports the input.

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void failed(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

// The input as bytes, without a copy.
inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(condition) ((condition) ? void() : fuzzcheck::failed(__FILE__, __LINE__, #condition))
