#include "tools/rarwriter/rar_writer.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
using Bytes = std::string;

uint32_t Crc(const Bytes& b) { return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(b.data()), uInt(b.size()))); }

void Put16(Bytes& b, uint16_t v)
{
    b += char(v & 0xFF);
    b += char(v >> 8);
}
void Put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b += char((v >> (8 * i)) & 0xFF);
}
void PutVint(Bytes& b, uint64_t v)
{
    do {
        uint8_t byte = v & 0x7F;
        v >>= 7;
        b += char(byte | (v ? 0x80 : 0));
    } while (v);
}

// One stored piece of an item in one volume.
struct Piece {
    const RarItem* item;
    Bytes data;
    bool before, after;
    uint32_t crc;  // its own data's, or the whole file's on the last piece
};

std::vector<std::vector<Piece>> Split(const std::vector<RarItem>& items, uint64_t volumeSize)
{
    std::vector<std::vector<Piece>> volumes(1);
    uint64_t room = volumeSize ? volumeSize : UINT64_MAX;
    for (const RarItem& item : items) {
        const Bytes& all = item.data;
        uint32_t whole = Crc(all);
        size_t at = 0;
        do {
            if (room == 0) {
                volumes.emplace_back();
                room = volumeSize;
            }
            size_t n = size_t(std::min<uint64_t>(room, all.size() - at));
            if (item.kind != RarItem::File)
                n = all.size();
            Bytes part = all.substr(at, n);
            bool last = at + n == all.size();
            volumes.back().push_back({&item, part, at > 0, !last, last ? whole : Crc(part)});
            at += n;
            room -= std::min<uint64_t>(room, n);
        } while (at < all.size());
    }
    return volumes;
}

Bytes Rar5Block(uint64_t type, uint64_t flags, const Bytes& fields, uint64_t dataSize, const Bytes& extra = Bytes())
{
    Bytes h;
    PutVint(h, type);
    PutVint(h, flags | (extra.empty() ? 0 : 0x1) | (dataSize || type == 2 ? 0x2 : 0));
    if (!extra.empty())
        PutVint(h, extra.size());
    if (dataSize || type == 2)
        PutVint(h, dataSize);  // folders too carry the field
    h += fields;
    h += extra;
    Bytes sized;
    PutVint(sized, h.size());
    sized += h;  // the size field is inside its own CRC
    Bytes block;
    Put32(block, Crc(sized));
    return block + sized;
}

Bytes Rar5Volume(const std::vector<Piece>& pieces, int index, bool multi, bool last, int claimed)
{
    Bytes out("Rar!\x1A\x07\x01\x00", 8);
    Bytes main;
    PutVint(main, (multi ? 0x1 : 0) | (index > 0 ? 0x2 : 0));
    if (index > 0)
        PutVint(main, uint64_t(claimed));
    out += Rar5Block(1, 0, main, 0);
    for (const Piece& p : pieces) {
        const RarItem& item = *p.item;
        bool dir = item.kind == RarItem::Directory;
        bool link = item.kind == RarItem::Symlink || item.kind == RarItem::Hardlink;
        Bytes f;
        PutVint(f, (dir ? 0x1 : 0) | 0x4);
        PutVint(f, link || dir ? 0 : item.data.size());
        PutVint(f, dir ? 040755 : 0100644);
        Put32(f, link ? 0 : p.crc);
        PutVint(f, 0);  // stored
        PutVint(f, 1);  // Unix
        PutVint(f, item.name.size());
        f += item.name;
        Bytes extra;
        if (link) {
            Bytes record;
            PutVint(record, 5);  // redirection
            PutVint(record, item.kind == RarItem::Symlink ? 1 : 4);
            PutVint(record, 0);
            PutVint(record, item.data.size());
            record += item.data;
            PutVint(extra, record.size());
            extra += record;
        }
        uint64_t flags = (p.before ? 0x8 : 0) | (p.after ? 0x10 : 0);
        Bytes data = link || dir ? Bytes() : p.data;
        out += Rar5Block(2, flags, f, data.size(), extra) + data;
    }
    Bytes end;
    PutVint(end, last ? 0 : 1);
    out += Rar5Block(5, 0, end, 0);
    return out;
}

Bytes Rar4Block(uint8_t type, uint16_t flags, const Bytes& rest, const Bytes& data = Bytes())
{
    Bytes h;
    h += char(type);
    Put16(h, flags);
    Put16(h, uint16_t(7 + rest.size()));
    h += rest;
    Bytes block;
    Put16(block, uint16_t(Crc(h) & 0xFFFF));  // low 16 bits of the CRC32
    return block + h + data;
}

Bytes Rar4Volume(const std::vector<Piece>& pieces, int index, bool multi, bool last, bool newNaming, int claimed,
                 bool dosNames)
{
    Bytes out("Rar!\x1A\x07\x00", 7);
    Bytes main(6, '\0');
    uint16_t mainFlags = (multi ? 0x1 : 0) | (newNaming ? 0x10 : 0) | (multi && index == 0 ? 0x100 : 0);
    out += Rar4Block(0x73, mainFlags, main);
    for (const Piece& p : pieces) {
        const RarItem& item = *p.item;
        if (item.kind == RarItem::Hardlink)
            throw std::logic_error("RAR 4 has no hard links");
        bool dir = item.kind == RarItem::Directory;
        bool link = item.kind == RarItem::Symlink;
        Bytes data = dir ? Bytes() : p.data;
        Bytes f;
        Put32(f, uint32_t(data.size()));
        Put32(f, uint32_t(dir ? 0 : item.data.size()));
        f += char(3);  // Unix
        Put32(f, dir ? 0 : p.crc);
        Put32(f, (46u << 25) | (12u << 21) | (6u << 16));  // 2026-12-06, DOS time
        f += char(20);
        f += char(0x30);  // stored
        Put16(f, uint16_t(item.name.size()));
        Put32(f, dir ? 040755 : link ? 0120777 : 0100644);
        // RAR 4 stores '\' between folders; with the Unicode flag and no zero
        // byte the name is UTF-8.
        std::string name = item.name;
        std::replace(name.begin(), name.end(), '/', '\\');
        f += name;
        uint16_t flags = 0x8000 | (dosNames ? 0 : 0x200) | (p.before ? 0x1 : 0) | (p.after ? 0x2 : 0) | (dir ? 0xE0 : 0);
        out += Rar4Block(0x74, flags, f, data);
    }
    Bytes end;
    Put16(end, uint16_t(claimed));
    out += Rar4Block(0x7B, (last ? 0 : 0x1) | 0x8, end);
    return out;
}

std::string Name(const std::string& folder, const std::string& stem, int index, int count, RarOptions::Naming naming)
{
    auto part = [&](int width) {
        std::string n = std::to_string(index + 1);
        return folder + "/" + stem + ".part" + std::string(size_t(std::max(0, width - int(n.size()))), '0') + n + ".rar";
    };
    if (count == 1)
        return folder + "/" + stem + ".rar";
    switch (naming) {
    case RarOptions::PartN: return part(1);
    case RarOptions::Part2Digits: return part(2);
    case RarOptions::Part4Digits: return part(4);
    case RarOptions::OldStyle: {
        if (index == 0)
            return folder + "/" + stem + ".rar";
        char tail[16];  // room for any int, not only the two digits wanted
        std::snprintf(tail, sizeof tail, ".r%02d", index - 1);
        return folder + "/" + stem + tail;
    }
    }
    return std::string();
}
}  // namespace

std::vector<std::string> WriteRar(const std::string& folder, const std::string& stem, const std::vector<RarItem>& items,
                                  const RarOptions& options)
{
    auto volumes = Split(items, options.volumeSize);
    int count = int(volumes.size());
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        bool last = i + 1 == count;
        int claimed = i == options.wrongVolumeNumberAt ? i + 1 : i;
        Bytes bytes = options.format == 5
                          ? Rar5Volume(volumes[size_t(i)], i, count > 1, last, claimed)
                          : Rar4Volume(volumes[size_t(i)], i, count > 1, last, options.naming != RarOptions::OldStyle,
                                       claimed, options.dosNames);
        std::string path = Name(folder, stem, i, count, options.naming);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!(out << bytes).flush())
            throw std::runtime_error("cannot write " + path);
        paths.push_back(path);
    }
    return paths;
}

void FlipByteOf(const std::string& path, const std::string& needle)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string bytes = s.str();
    size_t at = bytes.find(needle);
    if (at == std::string::npos)
        throw std::logic_error("no such bytes in " + path);
    bytes[at] = char(bytes[at] ^ 0x01);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void TruncateTo(const std::string& path, uint64_t size) { std::filesystem::resize_file(path, size); }
