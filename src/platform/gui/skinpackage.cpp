#include "platform/gui/skinpackage.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Layout of a binary resource file, as rcc writes it (all numbers big-endian):
//   header: "qres", version, tree offset, data offset, names offset
//           (+ a flags word from version 3 on);
//   tree:   fixed-size nodes, node 0 the root directory; a directory names
//           its child count and first child index, a file the offset of its
//           content (a 4-byte length, then the bytes);
//   names:  a 2-byte length, a 4-byte hash, then UTF-16 characters.
constexpr std::uint16_t kDirectory = 0x02;

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
    bool startsWithMagic() const { return size_ >= 4 && std::memcmp(bytes_, "qres", 4) == 0; }

private:
    const unsigned char* bytes_;
    std::uint64_t size_;
};

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
    std::vector<bool> visited(nodeCount, false);
    std::vector<std::uint64_t> pending{0};
    while (!pending.empty()) {
        const std::uint64_t index = pending.back();
        pending.pop_back();
        if (visited[index])
            return false;
        visited[index] = true;
        const std::uint64_t node = tree + index * nodeSize;
        const std::uint16_t flags = r.u16(node + 4);

        if (index != 0) {  // the root's name is never read
            const std::uint64_t name = names + r.u32(node);
            if (!r.has(name, 6) || !r.has(name + 6, std::uint64_t(r.u16(name)) * 2))
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
                pending.push_back(child);
        } else {
            const std::uint64_t content = payload + r.u32(node + 10);
            if (!r.has(content, 4) || !r.has(content + 4, r.u32(content)))
                return false;
        }
    }
    return true;
}
