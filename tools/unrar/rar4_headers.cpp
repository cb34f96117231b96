// RAR 4 (and older) headers: fixed-size blocks with a 16-bit header CRC.

#include "tools/unrar/headers.h"

#include <algorithm>

namespace rar_headers {

bool ReadRar4Volume(const Volume& v, int index, Walker& walker)
{
    uint64_t pos = sizeof kRar4Signature;
    bool sawMain = false, sawEnd = false, next = false, lastSplitAfter = false, firstFile = true;
    while (!sawEnd && pos < v.size()) {
        std::vector<uint8_t> base = v.Read(pos, 7);
        uint16_t crc = Le16(base.data());
        uint8_t type = base[2];
        uint16_t flags = Le16(base.data() + 3);
        uint16_t size = Le16(base.data() + 5);
        if (size < 7)
            v.Fail("malformed block at offset " + std::to_string(pos));
        std::vector<uint8_t> h = v.Read(pos, size);
        if ((Crc(h.data() + 2, size - 2) & 0xFFFF) != crc)
            v.Fail("header CRC mismatch at offset " + std::to_string(pos));
        bool fileLike = type == 0x74 || type == 0x7A;
        uint64_t dataSize = 0;
        if (fileLike) {
            if (size < 32)
                v.Fail("malformed file header");
            dataSize = Le32(h.data() + 7);
            if (flags & 0x100) {
                if (size < 40)
                    v.Fail("malformed file header");
                dataSize |= uint64_t(Le32(h.data() + 32)) << 32;
            }
        } else if (flags & 0x8000) {
            if (size < 11)
                v.Fail("malformed block");
            dataSize = Le32(h.data() + 7);
        }
        uint64_t dataStart = pos + size;
        if (dataSize > v.size() - std::min(v.size(), dataStart))
            v.Fail("truncated: data runs past the end of the volume");
        if (type != 0x73 && !sawMain)
            v.Fail("not a RAR archive: no archive header");
        switch (type) {
        case 0x73:  // archive header
            sawMain = true;
            if (flags & 0x80)
                v.Fail("encrypted archive refused");
            if (index > 0 && (flags & 0x100))
                v.Fail("a first volume where volume " + std::to_string(index + 1) + " was expected");
            if (index == 0 && (flags & 0x1) && (flags & 0x10) && !(flags & 0x100))
                v.Fail("not the first volume of its set");
            break;
        case 0x74: {  // file
            Piece piece;
            uint64_t unpacked = Le32(h.data() + 11);
            uint8_t host = h[15];
            piece.entry.crc = Le32(h.data() + 16);
            piece.entry.hasCrc = true;
            uint16_t nameSize = Le16(h.data() + 26);
            uint32_t attributes = Le32(h.data() + 28);
            size_t at = 32;
            if (flags & 0x100) {
                unpacked |= uint64_t(Le32(h.data() + 36)) << 32;
                at = 40;
            }
            if (at + nameSize > size)
                v.Fail("malformed file header");
            std::string name(reinterpret_cast<const char*>(h.data() + at), nameSize);
            if (flags & 0x200)
                name = name.substr(0, name.find('\0'));  // the rest is its Unicode form
            piece.name = name;
            piece.entry.size = unpacked;
            piece.entry.directory = (flags & 0xE0) == 0xE0;
            piece.link = host == 3 && (attributes & 0xF000) == 0xA000;
            piece.encrypted = flags & 0x4;
            piece.continuesFromPrevious = flags & 0x1;
            piece.continuesInNext = flags & 0x2;
            lastSplitAfter = piece.continuesInNext;
            walker.Add(v, piece, firstFile);
            firstFile = false;
            break;
        }
        case 0x7B: {  // end of archive
            sawEnd = true;
            next = flags & 0x1;
            size_t at = 7 + (flags & 0x2 ? 4 : 0);
            if ((flags & 0x8) && at + 2 <= size && Le16(h.data() + at) != index)
                v.Fail("volume number " + std::to_string(Le16(h.data() + at) + 1) + " where " +
                       std::to_string(index + 1) + " was expected");
            break;
        }
        default:
            break;
        }
        pos = dataStart + dataSize;
    }
    if (!sawMain)
        v.Fail("not a RAR archive: no archive header");
    // Old archives end without an end block: a file cut at the end says more follows.
    return sawEnd ? next : lastSplitAfter;
}

}  // namespace rar_headers
