// Commits made in place (see PblCommit.h).
//
// A commit works from the layout of the file as it is: which blocks the header, the
// bitmap chain, the directory nodes, the source-control data and every entry's chain
// use, the bitmap's bits, the directory tree, and for the data of the library in memory
// where its chain lies in the file. That layout is known in two ways: from an image the
// library's entries were read from, when the file has not changed since it was read
// (its state is the image's origin), or from this process's last commit into the file,
// remembered with the file's state after it. Anything else takes the whole rewrite.
//
// Blocks are only ever written that no structure of the committed state uses: blocks
// free in the committed bitmap (and reached by nothing) or past the end, never blocks
// this commit frees, so that the committed state stays whole until the commit's end;
// the directory nodes, bitmap blocks and header that change are the exception, and
// the journal keeps their old bytes (and those of every reused free block).
//
// The directory keeps its shape where it can: an entry replaced stays in its node, a
// removed one leaves its node, a new name goes to the node the search tree sends it
// to, or into a new child node where that side is empty. When a node would overflow,
// a node other than the root would be left empty or the tree grows deep, the directory
// is laid out anew as the whole writer lays it out (root at 1024, the other nodes in
// the old nodes' places first).

#include "orca/PblCommit.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include "orca/PblBinary.h"
#include "orca/PblJournal.h"
#include "platform/Ansi.h"

namespace orca::commit {

namespace {

using namespace pbl;

// Where a library's data lies in the file: the data's owner and first block offset.
struct Key {
    const void* owner = nullptr;
    std::weak_ptr<const void> alive;  // an owner gone cannot come back at the same address
    uint32_t first = 0;
    size_t entry = 0;
};

struct Entry {
    std::string name, format;
    uint32_t first = 0, size = 0, time = 0;
    uint16_t commentLength = 0;
    std::vector<uint32_t> blocks;  // block numbers of its chain
    long node = -1;
    Key key;  // the data of the library last committed or read that lies in this chain
};

struct Node {
    uint32_t offset = 0;
    long left = -1, right = -1, parent = -1;
    std::vector<size_t> entries;  // indices into Layout::entries
};

struct Layout {
    FileStamp stamp;
    size_t blocks = 0;
    std::string header;                  // block 0
    std::vector<uint32_t> bitmapBlocks;  // block numbers, in chain order
    std::vector<uint8_t> bit;            // the bitmap's bit per block
    std::vector<uint8_t> used;           // reached by a structure
    std::vector<Entry> entries;          // in directory order
    std::vector<Node> nodes;             // nodes[0] is the root
    std::string scc;
    std::vector<uint32_t> sccBlocks;
    std::vector<Key> keys;  // further data lying in entries' chains (another read of the file)
    size_t firstFree = 2;   // no block before it is free
};

int Compare(std::string_view a, std::string_view b) {
    // Names compared are mostly the same name, byte for byte.
    if (a == b)
        return 0;
    return platform::AsciiCompareText(a, b);
}

size_t ChunkBytes(const std::string& name) {
    return ChunkHeaderSize + name.size() + 1;
}

// The layout of a whole image; false when it holds anything this writer does not follow.
bool Parse(std::string_view image, Layout* out) {
    if (image.size() % BlockSize != 0 || image.size() < RootNodeOffset + NodeSize ||
        image.size() > UINT32_MAX || image.substr(0, 4) != "HDR*" || image[5] == '\0' ||
        image.substr(HeaderTitle, 12) != "PowerBuilder")
        return false;
    Layout& l = *out;
    l.blocks = image.size() / BlockSize;
    l.header = std::string(image.substr(0, BlockSize));
    l.used.assign(l.blocks, 0);
    l.bit.assign(l.blocks, 1);  // blocks no bitmap covers count as in use
    auto claim = [&](uint32_t offset, size_t count) {
        if (offset % BlockSize != 0 || offset / BlockSize + count > l.blocks)
            return false;
        for (size_t k = 0; k < count; ++k) {
            if (l.used[offset / BlockSize + k])
                return false;
            l.used[offset / BlockSize + k] = 1;
        }
        return true;
    };
    if (!claim(0, 1))
        return false;
    for (uint32_t at = BlockSize; at != 0;) {
        if (!claim(at, 1) || image.substr(at, 4) != "FRE*")
            return false;
        const size_t from = l.bitmapBlocks.size() * BlocksPerBitmap;
        l.bitmapBlocks.push_back(at / BlockSize);
        for (size_t j = 0; j < BlocksPerBitmap && from + j < l.blocks; ++j)
            l.bit[from + j] = (image[at + 8 + j / 8] >> (7 - j % 8)) & 1;
        at = Get32(image.data() + at + 4);
    }
    // The directory, depth first; the names in order are checked below.
    std::vector<std::pair<uint32_t, long>> pending{{RootNodeOffset, -1}};
    std::vector<std::pair<long, bool>> sides{{-1, false}};
    while (!pending.empty()) {
        const auto [offset, parent] = pending.back();
        const bool right = sides.back().second;
        pending.pop_back();
        sides.pop_back();
        if (!claim(offset, NodeBlocks) || image.substr(offset, 4) != "NOD*")
            return false;
        const long index = static_cast<long>(l.nodes.size());
        Node node;
        node.offset = offset;
        node.parent = parent;
        l.nodes.push_back(node);
        if (parent >= 0)
            (right ? l.nodes[static_cast<size_t>(parent)].right
                   : l.nodes[static_cast<size_t>(parent)].left) = index;
        const char* n = image.data() + offset;
        size_t pos = NodeHeaderSize;
        for (size_t i = 0, count = Get16(n + NodeCount); i < count; ++i) {
            if (pos + ChunkHeaderSize > NodeSize || std::memcmp(n + pos, "ENT*", 4) != 0)
                return false;
            const char* c = n + pos;
            const size_t length = Get16(c + ChunkNameLength);
            if (length < 2 || pos + ChunkHeaderSize + length > NodeSize)
                return false;
            Entry e;
            e.name = std::string(c + ChunkHeaderSize, length - 1);
            if (c[ChunkHeaderSize + length - 1] != '\0' || e.name.find('\0') != std::string::npos)
                return false;  // a name field with bytes after the name
            e.format = std::string(c + ChunkFormat, 4);
            e.first = Get32(c + ChunkData);
            e.size = Get32(c + ChunkSize);
            e.time = Get32(c + ChunkTime);
            e.commentLength = Get16(c + ChunkCommentLength);
            e.node = index;
            l.nodes[static_cast<size_t>(index)].entries.push_back(l.entries.size());
            l.entries.push_back(std::move(e));
            pos += ChunkHeaderSize + length;
        }
        if (const uint32_t r = Get32(n + NodeRight)) {
            pending.push_back({r, index});
            sides.push_back({index, true});
        }
        if (const uint32_t left = Get32(n + NodeLeft)) {
            pending.push_back({left, index});
            sides.push_back({index, false});
        }
    }
    auto chain = [&](uint32_t first, uint32_t size, std::vector<uint32_t>* blocks) {
        uint64_t total = 0;
        for (uint32_t at = first; at != 0;) {
            if (!claim(at, 1) || image.substr(at, 4) != "DAT*")
                return false;
            blocks->push_back(at / BlockSize);
            const size_t count = Get16(image.data() + at + 8);
            if (count > DataPerBlock)
                return false;
            total += count;
            at = Get32(image.data() + at + 4);
        }
        return total == size;
    };
    const uint32_t sccAt = Get32(image.data() + HeaderSccOffset);
    const uint32_t sccSize = Get32(image.data() + HeaderSccSize);
    if (!chain(sccAt, sccSize, &l.sccBlocks))
        return false;
    for (uint32_t b : l.sccBlocks)
        l.scc.append(image.data() + b * BlockSize + DataHeaderSize,
                     Get16(image.data() + b * BlockSize + 8));
    for (Entry& e : l.entries)
        if (!chain(e.first, e.size, &e.blocks))
            return false;
    // The tree read in order, each node's names sorted, must be in strict order: a tree
    // PowerBuilder could not search is left to the whole rewrite to lay out anew.
    std::vector<size_t> order;
    std::vector<long> stack;
    for (long at = 0; at >= 0 || !stack.empty();) {
        for (; at >= 0; at = l.nodes[static_cast<size_t>(at)].left)
            stack.push_back(at);
        Node& node = l.nodes[static_cast<size_t>(stack.back())];
        stack.pop_back();
        std::sort(node.entries.begin(), node.entries.end(), [&](size_t a, size_t b) {
            return Compare(l.entries[a].name, l.entries[b].name) < 0;
        });
        order.insert(order.end(), node.entries.begin(), node.entries.end());
        at = node.right;
    }
    for (size_t i = 1; i < order.size(); ++i)
        if (Compare(l.entries[order[i - 1]].name, l.entries[order[i]].name) >= 0)
            return false;
    // Entries in directory order, the nodes' indices following them.
    std::vector<size_t> position(order.size());
    std::vector<Entry> sorted;
    sorted.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        position[order[i]] = i;
        sorted.push_back(std::move(l.entries[order[i]]));
    }
    l.entries = std::move(sorted);
    for (Node& node : l.nodes)
        for (size_t& i : node.entries)
            i = position[i];
    return true;
}

// The layouts of the files this process committed into last, with the file state after.
std::mutex registryMutex;
std::map<std::pair<uint64_t, uint64_t>, Layout>& Registry() {
    static std::map<std::pair<uint64_t, uint64_t>, Layout> registry;
    return registry;
}
constexpr size_t MaxRemembered = 8;

void Store(Layout layout) {
    const std::lock_guard<std::mutex> lock(registryMutex);
    auto& registry = Registry();
    const auto key = std::make_pair(layout.stamp.device, layout.stamp.inode);
    registry.erase(key);
    if (registry.size() >= MaxRemembered)
        registry.erase(registry.begin());
    registry.emplace(key, std::move(layout));
}

// The layout of the file in state stamp, taken out of what is remembered or parsed
// from an image of the library read in that state; false when neither is there.
bool LayoutOf(const FileStamp& stamp, const PblLibrary& library, Layout* out) {
    bool known = false;
    {
        const std::lock_guard<std::mutex> lock(registryMutex);
        auto& registry = Registry();
        const auto it = registry.find({stamp.device, stamp.inode});
        if (it != registry.end()) {
            known = it->second.stamp == stamp;
            if (known)
                *out = std::move(it->second);
            registry.erase(it);
        }
    }
    // An image read in this state is the file: its chains lie where the layout says.
    const PblImage* keyed = nullptr;
    for (const PblEntry& e : library.Entries()) {
        const std::shared_ptr<const PblImage>& image = e.data.Image();
        if (!image || image.get() == keyed || !image->Origin() || !(*image->Origin() == stamp))
            continue;
        if (!known) {
            if (!Parse(image->Bytes(), out))
                return false;
            out->stamp = stamp;
            known = true;
        }
        for (size_t i = 0; i < out->entries.size(); ++i) {
            Key key{image.get(), image, out->entries[i].first, i};
            if (out->entries[i].key.owner)
                out->keys.push_back(std::move(key));
            else
                out->entries[i].key = std::move(key);
        }
        keyed = image.get();
    }
    return known;
}

// Finds where data of the library being committed lies in the file. Data stays under
// its name as a rule, so the entry of the same name is tried first; data read from an
// image and found under no name of its own (a renamed or copied entry, a second read
// of the file) is looked up among all keys, sorted on first need.
class Finder {
  public:
    explicit Finder(const Layout& layout) : l_(layout) {}
    // The index into the layout's entries of the chain holding data, or -1; named is
    // the index of the entry of the same name, or -1.
    long Find(const PblData& data, long named) {
        const std::shared_ptr<const void> owner = data.Owner();
        if (!owner)
            return -1;
        if (named >= 0 && Holds(l_.entries[static_cast<size_t>(named)].key, owner.get(), data))
            return named;
        if (!data.Image())
            return -1;
        if (!sorted_) {
            sorted_ = true;
            for (const Entry& e : l_.entries)
                if (e.key.owner)
                    all_.push_back(&e.key);
            for (const Key& k : l_.keys)
                all_.push_back(&k);
            std::sort(all_.begin(), all_.end(), Less);
        }
        const Key probe{owner.get(), {}, data.First(), 0};
        for (auto it = std::lower_bound(all_.begin(), all_.end(), &probe, Less);
             it != all_.end() && (*it)->owner == probe.owner && (*it)->first == probe.first; ++it)
            if (Holds(**it, owner.get(), data))
                return static_cast<long>((*it)->entry);
        return -1;
    }

  private:
    bool Holds(const Key& k, const void* owner, const PblData& data) const {
        return k.owner == owner && k.first == data.First() && !k.alive.expired() &&
               l_.entries[k.entry].size == data.size();
    }
    static bool Less(const Key* a, const Key* b) {
        return std::less<const void*>()(a->owner, b->owner) ||
               (a->owner == b->owner && a->first < b->first);
    }
    const Layout& l_;
    bool sorted_ = false;
    std::vector<const Key*> all_;
};

// Blocks for the commit: free ones first, then past the end of the file.
class Allocator {
  public:
    explicit Allocator(const Layout& l) : l_(&l), end_(l.blocks), next_(l.firstFree) {}
    bool Free(size_t b) const {
        return b >= l_->blocks ? b >= end_ : !l_->used[b] && !l_->bit[b] && !taken_.count(b);
    }
    uint32_t One() {
        while (next_ < l_->blocks && !Free(next_))
            ++next_;
        return Take(next_ < l_->blocks ? next_ : end_, 1);
    }
    // count blocks in one run (a directory node).
    uint32_t Run(size_t count) {
        for (size_t b = 2; b + count <= l_->blocks; ++b) {
            size_t k = 0;
            while (k < count && Free(b + k))
                ++k;
            if (k == count)
                return Take(b, count);
            b += k;
        }
        return Take(end_, count);
    }
    size_t End() const { return end_; }
    const std::map<size_t, bool>& Taken() const { return taken_; }

  private:
    uint32_t Take(size_t b, size_t count) {
        for (size_t k = 0; k < count; ++k)
            taken_[b + k] = true;
        end_ = std::max(end_, b + count);
        return static_cast<uint32_t>(b);
    }
    const Layout* l_;
    size_t end_;
    size_t next_;
    std::map<size_t, bool> taken_;
};

// The blocks the commit writes, by block number, each 512 bytes.
using Writes = std::map<size_t, std::string>;

template <class Pieces>
std::vector<uint32_t> WriteChain(Allocator& alloc, Writes& writes, size_t size,
                                 const Pieces& forEachPiece) {
    const size_t count = size == 0 ? 1 : (size + DataPerBlock - 1) / DataPerBlock;
    std::vector<uint32_t> blocks(count);
    for (uint32_t& b : blocks)
        b = alloc.One();
    for (size_t k = 0; k < count; ++k) {
        std::string& b = writes[blocks[k]];
        b.assign(BlockSize, '\0');
        std::memcpy(b.data(), "DAT*", 4);
        Put32(b.data() + 4, k + 1 < count ? blocks[k + 1] * static_cast<uint32_t>(BlockSize) : 0);
        Put16(b.data() + 8, static_cast<uint16_t>(std::min(DataPerBlock, size - k * DataPerBlock)));
    }
    size_t written = 0;
    forEachPiece([&](const char* piece, size_t n) {
        while (n > 0 && written < size) {
            const size_t in = written % DataPerBlock;
            const size_t take = std::min(n, DataPerBlock - in);
            std::memcpy(writes[blocks[written / DataPerBlock]].data() + DataHeaderSize + in, piece,
                        take);
            piece += take;
            n -= take;
            written += take;
        }
    });
    return blocks;
}

size_t Depth(const std::vector<Node>& nodes, long at) {
    if (at < 0)
        return 0;
    const Node& n = nodes[static_cast<size_t>(at)];
    return 1 + std::max(Depth(nodes, n.left), Depth(nodes, n.right));
}

// The new directory over entries (in order): the old nodes kept where they can be;
// false when it must be laid out anew.
bool Reshape(const Layout& old, const std::vector<Entry>& entries,
             const std::vector<long>& oldIndex, std::vector<Node>* nodes,
             std::vector<uint8_t>* dirty, Allocator& alloc) {
    *nodes = old.nodes;
    dirty->assign(nodes->size(), 0);
    for (Node& n : *nodes)
        n.entries.clear();
    std::vector<size_t> bytes(nodes->size(), 0);
    // Entries of the old directory stay in their nodes; a changed chunk dirties it.
    std::vector<uint8_t> kept(old.entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (oldIndex[i] < 0)
            continue;
        const Entry& was = old.entries[static_cast<size_t>(oldIndex[i])];
        const Entry& e = entries[i];
        const auto node = static_cast<size_t>(was.node);
        kept[static_cast<size_t>(oldIndex[i])] = 1;
        (*nodes)[node].entries.push_back(i);
        bytes[node] += ChunkBytes(e.name);
        if (e.name != was.name || e.format != was.format || e.first != was.first ||
            e.size != was.size || e.time != was.time || e.commentLength != was.commentLength)
            (*dirty)[node] = 1;
    }
    for (size_t k = 0; k < old.entries.size(); ++k)
        if (!kept[k])
            (*dirty)[static_cast<size_t>(old.entries[k].node)] = 1;
    // New names where the search tree sends them.
    auto bound = [&](size_t node, bool last) -> const std::string& {
        const auto& list = (*nodes)[node].entries;
        return entries[last ? list.back() : list.front()].name;
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        if (oldIndex[i] >= 0)
            continue;
        const std::string& name = entries[i].name;
        const size_t need = ChunkBytes(name);
        size_t at = 0;
        for (;;) {
            Node& n = (*nodes)[at];
            // An emptied node with children gives no bounds to steer by.
            if (n.entries.empty() && (n.left >= 0 || n.right >= 0))
                return false;
            bool here = n.entries.empty();
            long* side = nullptr;
            if (!here) {
                if (Compare(name, bound(at, false)) < 0)
                    side = &n.left;
                else if (Compare(name, bound(at, true)) > 0)
                    side = &n.right;
                else
                    here = true;
            }
            if (here || (*side < 0 && bytes[at] + need <= NodeSpace)) {
                if (bytes[at] + need > NodeSpace)
                    return false;  // the node must be split
                auto& list = n.entries;
                list.insert(std::upper_bound(list.begin(), list.end(), i,
                                             [&](size_t a, size_t b) {
                                                 return Compare(entries[a].name, entries[b].name) <
                                                        0;
                                             }),
                            i);
                bytes[at] += need;
                (*dirty)[at] = 1;
                break;
            }
            if (*side < 0) {
                Node child;
                child.parent = static_cast<long>(at);
                child.offset = alloc.Run(NodeBlocks) * static_cast<uint32_t>(BlockSize);
                child.entries.push_back(i);
                *side = static_cast<long>(nodes->size());
                (*dirty)[at] = 1;
                nodes->push_back(child);
                bytes.push_back(need);
                dirty->push_back(1);
                break;
            }
            at = static_cast<size_t>(*side);
        }
    }
    for (size_t k = 1; k < nodes->size(); ++k)
        if ((*nodes)[k].entries.empty())
            return false;
    const double balanced = std::ceil(std::log2(static_cast<double>(nodes->size()) + 1));
    return static_cast<double>(Depth(*nodes, 0)) <= 2 * balanced + 3;
}

// The directory laid out as the whole writer lays it out, in the old nodes' places first.
void LayOut(const Layout& old, const std::vector<Entry>& entries, std::vector<Node>* nodes,
            Allocator& alloc, std::vector<uint32_t>* freedNodes) {
    std::vector<std::pair<size_t, size_t>> runs;
    size_t begin = 0, used = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t b = ChunkBytes(entries[i].name);
        if (used + b > NodeSpace) {
            runs.push_back({begin, i});
            begin = i;
            used = 0;
        }
        used += b;
    }
    runs.push_back({begin, entries.size()});
    nodes->clear();
    struct Build {
        const decltype(runs)& r;
        std::vector<Node>* out;
        long Make(size_t lo, size_t hi, long parent) {
            if (lo >= hi)
                return -1;
            const size_t mid = lo + (hi - lo) / 2;
            const long index = static_cast<long>(out->size());
            Node n;
            n.parent = parent;
            for (size_t i = r[mid].first; i < r[mid].second; ++i)
                n.entries.push_back(i);
            out->push_back(n);
            const long left = Make(lo, mid, index);
            const long right = Make(mid + 1, hi, index);
            (*out)[static_cast<size_t>(index)].left = left;
            (*out)[static_cast<size_t>(index)].right = right;
            return index;
        }
    } build{runs, nodes};
    build.Make(0, runs.size(), -1);
    (*nodes)[0].offset = RootNodeOffset;
    size_t reuse = 1;
    for (size_t k = 1; k < nodes->size(); ++k)
        (*nodes)[k].offset = reuse < old.nodes.size()
                                 ? old.nodes[reuse++].offset
                                 : alloc.Run(NodeBlocks) * static_cast<uint32_t>(BlockSize);
    for (; reuse < old.nodes.size(); ++reuse)
        freedNodes->push_back(old.nodes[reuse].offset);
}

std::string NodeBytes(const std::vector<Node>& nodes, size_t index,
                      const std::vector<Entry>& entries) {
    const Node& node = nodes[index];
    std::string out(NodeSize, '\0');
    char* n = out.data();
    std::memcpy(n, "NOD*", 4);
    auto offsetOf = [&](long i) { return i < 0 ? 0u : nodes[static_cast<size_t>(i)].offset; };
    Put32(n + NodeLeft, offsetOf(node.left));
    Put32(n + NodeParent, offsetOf(node.parent));
    Put32(n + NodeRight, offsetOf(node.right));
    size_t pos = NodeHeaderSize;
    for (size_t k = 0; k < node.entries.size(); ++k) {
        const Entry& e = entries[node.entries[k]];
        char* c = n + pos;
        std::memcpy(c, "ENT*", 4);
        std::memcpy(c + ChunkFormat, e.format.data(), std::min<size_t>(4, e.format.size()));
        Put32(c + ChunkData, e.first);
        Put32(c + ChunkSize, e.size);
        Put32(c + ChunkTime, e.time);
        Put16(c + ChunkCommentLength, e.commentLength);
        Put16(c + ChunkNameLength, static_cast<uint16_t>(e.name.size() + 1));
        std::memcpy(c + ChunkHeaderSize, e.name.data(), e.name.size());
        if (k == 0)
            Put16(n + NodeFirstName, static_cast<uint16_t>(pos + ChunkHeaderSize));
        if (k + 1 == node.entries.size())
            Put16(n + NodeLastName, static_cast<uint16_t>(pos + ChunkHeaderSize));
        pos += ChunkBytes(e.name);
    }
    Put16(n + NodeFree, static_cast<uint16_t>(NodeSize - pos));
    Put16(n + NodeCount, static_cast<uint16_t>(node.entries.size()));
    return out;
}

// Writes with the test hook's budget: false once it is spent (as a full disk would).
class Output {
  public:
    explicit Output(long long budget) : budget_(budget) {}
    bool Write(int fd, const char* bytes, size_t size, off_t at, bool positioned) {
        size_t allowed = size;
        if (budget_ >= 0)
            allowed =
                static_cast<size_t>(std::min<long long>(budget_, static_cast<long long>(size)));
        size_t done = 0;
        while (done < allowed) {
            const ssize_t n = positioned ? ::pwrite(fd, bytes + done, allowed - done,
                                                    at + static_cast<off_t>(done))
                                         : ::write(fd, bytes + done, allowed - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                err_ = errno;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        if (budget_ >= 0)
            budget_ -= static_cast<long long>(allowed);
        if (allowed < size) {
            err_ = ENOSPC;
            return false;
        }
        return true;
    }
    int Error() const { return err_; }

  private:
    long long budget_;
    int err_ = 0;
};

// A number no other journal of this or another process is likely to carry; never 0.
uint64_t Nonce() {
    static std::atomic<uint64_t> counter{0};
    uint64_t n = 0;
    if (::getrandom(&n, sizeof n, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof n)) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        n = (static_cast<uint64_t>(now.tv_sec) << 30) ^ static_cast<uint64_t>(now.tv_nsec) ^
            (static_cast<uint64_t>(::getpid()) << 40);
    }
    return (n ^ (++counter * 0x9E3779B97F4A7C15ull)) | 1;
}

// Keys each entry of a layout with the data of the library entry it holds (both in
// directory order), for the next commit to find.
void KeyByData(std::vector<Entry>& entries, const PblLibrary& library) {
    const auto& source = library.Entries();
    for (size_t i = 0; i < source.size(); ++i)
        if (std::shared_ptr<const void> owner = source[i].data.Owner())
            entries[i].key = {owner.get(), owner, source[i].data.First(), i};
}

bool Fail(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

}  // namespace

Outcome InPlace(const Request& request, const PblLibrary& library, FileStamp* after,
                std::string* error) {
    // The blocks are laid out as in an ANSI library; a Unicode library (its header and
    // chunks are laid out otherwise) is written whole.
    if (library.Kind() != PblKind::Ansi)
        return Outcome::NotApplicable;
    Layout old;
    if (!LayoutOf(request.stamp, library, &old))
        return Outcome::NotApplicable;
    if (old.header.compare(HeaderFormat, 4, library.Format()) != 0 ||
        old.blocks * BlockSize != request.stamp.size)
        return Outcome::NotApplicable;

    // The old entries matched by name (both lists are in directory order).
    const auto& source = library.Entries();
    std::vector<long> oldIndex(source.size(), -1);
    for (size_t i = 0, k = 0; i < source.size() && k < old.entries.size();) {
        const int c = Compare(source[i].name, old.entries[k].name);
        if (c == 0)
            oldIndex[i++] = static_cast<long>(k++);
        else if (c < 0)
            ++i;
        else
            ++k;
    }

    // The new entries: chains kept where the data is still in the file, else written.
    Allocator alloc(old);
    Writes writes;
    Finder finder(old);
    std::vector<Entry> entries(source.size());
    std::vector<uint8_t> keptChain(old.entries.size(), 0);
    for (size_t i = 0; i < source.size(); ++i) {
        const PblEntry& s = source[i];
        Entry& e = entries[i];
        e.name = s.name;
        e.format = s.format;
        e.time = s.time;
        e.commentLength = s.commentLength;
        e.size = static_cast<uint32_t>(s.data.size());
        const long at = finder.Find(s.data, oldIndex[i]);
        if (at >= 0 && !keptChain[static_cast<size_t>(at)]) {
            keptChain[static_cast<size_t>(at)] = 1;
            e.blocks = std::move(old.entries[static_cast<size_t>(at)].blocks);
            e.first = old.entries[static_cast<size_t>(at)].first;
        } else {
            e.blocks = WriteChain(alloc, writes, s.data.size(),
                                  [&](const auto& sink) { s.data.ForEachPiece(sink); });
            e.first = e.blocks.front() * static_cast<uint32_t>(BlockSize);
        }
    }
    std::vector<uint32_t> freed;
    for (size_t k = 0; k < old.entries.size(); ++k)
        if (!keptChain[k])
            freed.insert(freed.end(), old.entries[k].blocks.begin(), old.entries[k].blocks.end());
    std::vector<uint32_t> sccBlocks = old.sccBlocks;
    if (library.SourceControlData() != old.scc) {
        freed.insert(freed.end(), sccBlocks.begin(), sccBlocks.end());
        sccBlocks.clear();
        const std::string& scc = library.SourceControlData();
        if (!scc.empty())
            sccBlocks = WriteChain(alloc, writes, scc.size(),
                                   [&](const auto& sink) { sink(scc.data(), scc.size()); });
    }

    // The directory.
    std::vector<Node> nodes;
    std::vector<uint8_t> dirty;
    std::vector<uint32_t> freedNodes;
    {
        Allocator trial = alloc;
        if (Reshape(old, entries, oldIndex, &nodes, &dirty, trial)) {
            alloc = trial;
        } else {
            LayOut(old, entries, &nodes, alloc, &freedNodes);
            dirty.assign(nodes.size(), 1);
        }
    }
    for (uint32_t offset : freedNodes)
        for (size_t k = 0; k < NodeBlocks; ++k)
            freed.push_back(offset / BlockSize + static_cast<uint32_t>(k));
    for (size_t k = 0; k < nodes.size(); ++k) {
        for (size_t i : nodes[k].entries)
            entries[i].node = static_cast<long>(k);
        if (dirty[k]) {
            const std::string bytes = NodeBytes(nodes, k, entries);
            for (size_t b = 0; b < NodeBlocks; ++b)
                writes[nodes[k].offset / BlockSize + b] = bytes.substr(b * BlockSize, BlockSize);
        }
    }

    // The bitmap: freed bits cleared, written ones set, more bitmap blocks as the file
    // grows past what the chain covers.
    std::vector<uint32_t> bitmapBlocks = old.bitmapBlocks;
    while (bitmapBlocks.size() * BlocksPerBitmap < alloc.End())
        bitmapBlocks.push_back(alloc.One());
    const size_t blocks = alloc.End();
    // Nothing allocates past this point: the old bits can be taken over.
    std::vector<uint8_t> bit = std::move(old.bit), used = std::move(old.used);
    bit.resize(blocks, 0);
    used.resize(blocks, 0);
    for (uint32_t b : freed)
        bit[b] = used[b] = 0;
    for (const auto& [b, ignored] : alloc.Taken())
        bit[b] = used[b] = 1;
    size_t live = 0;
    for (uint8_t u : used)
        live += u;
    // Blocks before the old first free one are still in use, but for those freed now.
    size_t firstFree = old.firstFree;
    for (uint32_t b : freed)
        firstFree = std::max<size_t>(2, std::min<size_t>(firstFree, b));
    while (firstFree < blocks && (used[firstFree] || bit[firstFree]))
        ++firstFree;
    if (blocks > 2 * live + 64)
        return Outcome::NotApplicable;  // compacted by the whole rewrite
    for (size_t k = 0; k < bitmapBlocks.size(); ++k) {
        std::string b(BlockSize, '\0');
        std::memcpy(b.data(), "FRE*", 4);
        Put32(b.data() + 4, k + 1 < bitmapBlocks.size()
                                ? bitmapBlocks[k + 1] * static_cast<uint32_t>(BlockSize)
                                : 0);
        for (size_t j = 0; j < BlocksPerBitmap && k * BlocksPerBitmap + j < blocks; ++j)
            if (bit[k * BlocksPerBitmap + j])
                b[8 + j / 8] = static_cast<char>(b[8 + j / 8] | (0x80 >> (j % 8)));
        writes[bitmapBlocks[k]] = std::move(b);  // left alone below when it is as it was
    }

    // The header.
    std::string header = old.header;
    Put32(header.data() + HeaderTime, library.Time());
    std::memset(header.data() + HeaderComment, 0, HeaderCommentSize);
    std::memcpy(header.data() + HeaderComment, library.Comment().data(),
                std::min(library.Comment().size(), HeaderCommentSize - 1));
    Put32(header.data() + HeaderSccOffset,
          sccBlocks.empty() ? 0 : sccBlocks.front() * static_cast<uint32_t>(BlockSize));
    Put32(header.data() + HeaderSccSize, static_cast<uint32_t>(library.SourceControlData().size()));
    writes[0] = header;

    // The file's bytes where the commit writes them: blocks that are as they were are
    // left alone, the others' old bytes go to the journal.
    const int fd = ::open(request.target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return Fail(error,
                    "cannot open " + request.shown + " for writing: " + std::strerror(errno)),
               Outcome::Failed;
    FileStamp opened;
    if (!journal::StampOf(fd, &opened) || opened.inode != request.stamp.inode ||
        opened.device != request.stamp.device) {
        ::close(fd);
        return Outcome::NotApplicable;
    }
    auto failed = [&](std::string text) {
        ::close(fd);
        Fail(error, std::move(text));
        return Outcome::Failed;
    };
    journal::Journal jn;
    jn.nonce = Nonce();
    jn.oldSize = request.stamp.size;
    jn.device = request.stamp.device;
    jn.inode = request.stamp.inode;
    std::string before(BlockSize, '\0');
    for (auto it = writes.begin(); it != writes.end();) {
        if (it->first >= old.blocks) {
            ++it;
            continue;
        }
        if (::pread(fd, before.data(), BlockSize, static_cast<off_t>(it->first * BlockSize)) !=
            static_cast<ssize_t>(BlockSize))
            return failed("cannot read " + request.shown + ": " + std::strerror(errno));
        if (before == it->second) {
            it = writes.erase(it);
            continue;
        }
        const uint64_t offset = it->first * BlockSize;
        if (!jn.records.empty() &&
            jn.records.back().offset + jn.records.back().bytes.size() == offset)
            jn.records.back().bytes += before;
        else
            jn.records.push_back({offset, before});
        ++it;
    }

    // The journal, flushed with its name before the library is touched.
    Output out(request.failAfter);
    const std::string journalPath = journal::PathOf(request.target);
    const std::string encoded = journal::Encode(jn);
    struct stat mode {};
    ::fstat(fd, &mode);
    const int jfd =
        ::open(journalPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
               mode.st_mode & 0666);
    if (jfd < 0)
        return failed("cannot create the journal of " + request.shown + ": " +
                      std::strerror(errno));
    if (!out.Write(jfd, encoded.data(), encoded.size(), 0, false) || ::fsync(jfd) != 0) {
        const int err = out.Error() ? out.Error() : errno;
        ::close(jfd);
        if (!request.abandon)
            ::unlink(journalPath.c_str());
        return failed("cannot write the journal of " + request.shown + ": " + std::strerror(err));
    }
    ::close(jfd);
    journal::SyncFolderOf(journalPath);

    // The library, in runs of adjacent blocks.
    auto undo = [&](int err) {
        std::string text = "cannot write " + request.shown + ": " + std::strerror(err);
        if (request.abandon)
            return failed(text);
        std::string why;
        if (journal::RollBack(fd, jn, &why) && ::unlink(journalPath.c_str()) == 0)
            journal::SyncFolderOf(journalPath);
        else
            text += "; the write is undone when the library is next opened";
        return failed(text);
    };
    std::string run;
    for (auto it = writes.begin(); it != writes.end();) {
        const size_t first = it->first;
        run.clear();
        size_t next = first;
        for (; it != writes.end() && it->first == next; ++it, ++next)
            run += it->second;
        if (!out.Write(fd, run.data(), run.size(), static_cast<off_t>(first * BlockSize), true))
            return undo(out.Error());
    }
    // A modification time no earlier state of the file had, so that every reader that
    // compares the file's state sees the change.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto ns = [](int64_t s, int64_t n) { return s * 1000000000 + n; };
    int64_t stampNs = ns(now.tv_sec, now.tv_nsec);
    stampNs = std::max(stampNs, ns(request.stamp.mtimeSec, request.stamp.mtimeNsec) + 1);
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(stampNs / 1000000000), stampNs % 1000000000}};
    if (::futimens(fd, times) != 0 || ::fsync(fd) != 0)
        return undo(errno);
    if (::unlink(journalPath.c_str()) != 0)
        return undo(errno);
    journal::SyncFolderOf(journalPath);
    journal::StampOf(request.lockFd, after);
    ::close(fd);

    // What the next commit into the file starts from.
    Layout next;
    next.stamp = *after;
    next.blocks = blocks;
    next.header = std::move(header);
    next.bitmapBlocks = std::move(bitmapBlocks);
    next.firstFree = firstFree;
    next.bit = std::move(bit);
    next.used = std::move(used);
    next.nodes = std::move(nodes);
    next.scc = library.SourceControlData();
    next.sccBlocks = std::move(sccBlocks);
    KeyByData(entries, library);
    next.entries = std::move(entries);
    Store(std::move(next));
    return Outcome::Done;
}

void Remember(std::string_view image, const FileStamp& stamp, const PblLibrary& library) {
    Layout layout;
    if (!Parse(image, &layout) || layout.entries.size() != library.Entries().size())
        return;
    layout.stamp = stamp;
    KeyByData(layout.entries, library);
    Store(std::move(layout));
}

}  // namespace orca::commit
