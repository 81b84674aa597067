#include "platform/gui/skinpackage.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Layout of a binary resource file, as rcc writes it (all numbers big-endian):
//   header: "qres", version, tree offset, data offset, names offset
//           (+ a flags word from version 3 on);
//   tree:   fixed-size nodes, node 0 the root directory; a directory names
//           its child count and first child index, a file the offset of its
//           content (a 4-byte length, then the bytes);
//   names:  a 2-byte length, a 4-byte hash, then UTF-16 characters.
constexpr std::uint16_t kCompressedZlib = 0x01;
constexpr std::uint16_t kDirectory = 0x02;
constexpr std::uint16_t kCompressedZstd = 0x04;

// Qt allocates a compressed file's whole size, as the file claims it, when
// the file is opened; a few bytes could claim gigabytes. Skin files are
// pictures and style sheets of some kilobytes.
constexpr std::uint64_t kMaxFileBytes = 64ull * 1024 * 1024;

// A name of the package, and the path from the root to it, are bounded as
// a file system bounds them (see also isFileName). Names may be shared by many nodes, so without
// a bound a few kilobytes could describe a chain of directories whose paths
// run to megabytes each, and every walk over the package would build them.
constexpr std::uint64_t kMaxNameChars = 255;
constexpr std::uint64_t kMaxPathChars = 4096;

class Reader {
public:
    explicit Reader(const QByteArray& data)
        : bytes_(reinterpret_cast<const unsigned char*>(data.constData())), size_(std::uint64_t(data.size())) {}

    std::uint64_t size() const { return size_; }
    bool has(std::uint64_t at, std::uint64_t length) const { return at <= size_ && length <= size_ - at; }
    std::uint32_t u32(std::uint64_t at) const {
        const unsigned char* p = bytes_ + at;
        return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
    }
    std::uint16_t u16(std::uint64_t at) const {
        const unsigned char* p = bytes_ + at;
        return std::uint16_t((p[0] << 8) | p[1]);
    }
    std::uint64_t little(std::uint64_t at, int length) const {
        std::uint64_t value = 0;
        for (int i = length - 1; i >= 0; --i)
            value = (value << 8) | bytes_[at + std::uint64_t(i)];
        return value;
    }
    bool startsWithMagic() const { return size_ >= 4 && std::memcmp(bytes_, "qres", 4) == 0; }

private:
    const unsigned char* bytes_;
    std::uint64_t size_;
};

// The content size a zstd frame header names (RFC 8878 section 3.1.1.1),
// or nothing when the header is cut short or names none.
std::optional<std::uint64_t> zstdContentSize(const Reader& r, std::uint64_t at, std::uint64_t length) {
    if (length < 5 || r.little(at, 4) != 0xFD2FB528u)
        return std::nullopt;
    const unsigned descriptor = unsigned(r.little(at + 4, 1));
    const unsigned sizeFlag = descriptor >> 6;
    const bool singleSegment = descriptor & 0x20;
    static constexpr int kDictionaryIdBytes[] = {0, 1, 2, 4};
    static constexpr int kSizeBytes[] = {0, 2, 4, 8};
    const int sizeBytes = sizeFlag == 0 ? (singleSegment ? 1 : 0) : kSizeBytes[sizeFlag];
    if (sizeBytes == 0)
        return std::nullopt;
    const std::uint64_t field = 5 + (singleSegment ? 0 : 1) + std::uint64_t(kDictionaryIdBytes[descriptor & 3]);
    if (field + std::uint64_t(sizeBytes) > length)
        return std::nullopt;
    const std::uint64_t size = r.little(at + field, sizeBytes);
    return sizeBytes == 2 ? size + 256 : size;
}

// Whether the `length` UTF-16 characters at `at` make a name a file system
// would hold: not empty, not "." or "..", no "/" and no NUL. rcc writes no
// other; an empty name makes a directory that is its own parent in Qt's
// paths (":/skin//"), and ".." one that leads out of the package.
bool isFileName(const Reader& r, std::uint64_t at, std::uint64_t length) {
    if (length == 0)
        return false;
    bool onlyDots = length <= 2;
    for (std::uint64_t i = 0; i < length; ++i) {
        const std::uint16_t c = r.u16(at + 2 * i);
        if (c == u'/' || c == 0)
            return false;
        onlyDots = onlyDots && c == u'.';
    }
    return !onlyDots;
}

}  // namespace

bool IsWellFormedResourceFile(const QByteArray& data) {
    const Reader r(data);
    if (!r.startsWithMagic() || !r.has(0, 20))
        return false;
    const std::uint32_t version = r.u32(4);
    if (version < 1 || version > 3)
        return false;
    const std::uint64_t tree = r.u32(8);
    const std::uint64_t payload = r.u32(12);
    const std::uint64_t names = r.u32(16);
    const std::uint64_t headerSize = version >= 3 ? 24 : 20;
    const std::uint64_t nodeSize = version >= 2 ? 22 : 14;
    if (!r.has(0, headerSize) || tree < headerSize || payload > r.size() || names > r.size())
        return false;
    if (!r.has(tree, nodeSize))
        return false;
    const std::uint64_t nodeCount = (r.size() - tree) / nodeSize;

    // rcc numbers every directory's children after the directory itself, so
    // child indices only grow; together with visiting each node at most once
    // this bounds the walk by the node count.
    struct Pending {
        std::uint64_t index;
        std::uint64_t pathChars;  // of the node's parent
    };
    std::vector<bool> visited(nodeCount, false);
    std::vector<Pending> pending{{0, 0}};
    while (!pending.empty()) {
        const std::uint64_t index = pending.back().index;
        std::uint64_t pathChars = pending.back().pathChars;
        pending.pop_back();
        if (visited[index])
            return false;
        visited[index] = true;
        const std::uint64_t node = tree + index * nodeSize;
        const std::uint16_t flags = r.u16(node + 4);
        // Qt reads the root's child count and first child without looking
        // at its flags: a root that is not a directory would send its
        // search through whatever those bytes say.
        if (index == 0 && !(flags & kDirectory))
            return false;

        if (index != 0) {  // the root's name is never read
            const std::uint64_t name = names + r.u32(node);
            if (!r.has(name, 6) || !r.has(name + 6, std::uint64_t(r.u16(name)) * 2))
                return false;
            pathChars += 1 + r.u16(name);  // "/" and the name
            if (r.u16(name) > kMaxNameChars || pathChars > kMaxPathChars || !isFileName(r, name + 6, r.u16(name)))
                return false;
        }
        if (flags & kDirectory) {
            const std::uint64_t count = r.u32(node + 6);
            const std::uint64_t first = r.u32(node + 10);
            if (count == 0)
                continue;
            if (first <= index || first > nodeCount || count > nodeCount - first)
                return false;
            for (std::uint64_t child = first; child < first + count; ++child)
                pending.push_back({child, pathChars});
        } else {
            const std::uint64_t content = payload + r.u32(node + 10);
            if (!r.has(content, 4) || !r.has(content + 4, r.u32(content)))
                return false;
            const std::uint64_t length = r.u32(content);
            if (flags & kCompressedZlib) {
                // qUncompress data: the size after decompression, then the stream.
                if (length < 4 || r.u32(content + 4) > kMaxFileBytes)
                    return false;
            } else if (flags & kCompressedZstd) {
                const std::optional<std::uint64_t> size = zstdContentSize(r, content + 4, length);
                if (!size || *size > kMaxFileBytes)
                    return false;
            }
        }
    }
    return true;
}
