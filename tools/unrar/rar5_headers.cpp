// RAR 5 headers: variable-length numbers, a CRC32 over each header, extra
// records for encryption, links and file versions.

#include "tools/unrar/headers.h"

#include <algorithm>

namespace {
constexpr uint64_t kMaxHeader = 2 * 1024 * 1024;
}  // namespace

namespace rar_headers {

bool ReadRar5Volume(const Volume& v, int index, Walker& walker)
{
    uint64_t pos = sizeof kRar5Signature;
    bool sawMain = false, sawEnd = false, notLast = false, firstFile = true;
    while (!sawEnd) {
        if (pos >= v.size())
            v.Fail("truncated: the volume ends before its end-of-archive header");
        std::vector<uint8_t> head = v.Read(pos, std::min<uint64_t>(14, v.size() - pos));
        if (head.size() < 5)
            v.Fail("truncated header");
        uint32_t crc = Le32(head.data());
        Cursor sizeField(v, head.data() + 4, head.size() - 4);
        uint64_t headerSize = sizeField.Vint();
        size_t sizeLen = head.size() - 4 - sizeField.Left();
        if (headerSize == 0 || headerSize > kMaxHeader)
            v.Fail("malformed header size");
        // The size field is part of what the header's CRC covers.
        std::vector<uint8_t> h = v.Read(pos + 4, sizeLen + headerSize);
        if (Crc(h.data(), h.size()) != crc)
            v.Fail("header CRC mismatch at offset " + std::to_string(pos));
        Cursor c(v, h.data() + sizeLen, size_t(headerSize));
        uint64_t type = c.Vint(), flags = c.Vint();
        uint64_t extraSize = flags & 0x1 ? c.Vint() : 0;
        uint64_t dataSize = flags & 0x2 ? c.Vint() : 0;
        uint64_t dataStart = pos + 4 + h.size();
        if (dataSize > v.size() - std::min(v.size(), dataStart))
            v.Fail("truncated: data runs past the end of the volume");
        if (extraSize > headerSize)
            v.Fail("malformed header");
        switch (type) {
        case 1: {  // main archive header
            sawMain = true;
            uint64_t archiveFlags = c.Vint();
            bool numbered = archiveFlags & 0x2;
            uint64_t number = numbered ? c.Vint() : 0;
            if (index == 0 && number != 0)
                v.Fail("this is volume " + std::to_string(number + 1) + ", not the first");
            if (index > 0 && number != uint64_t(index))
                v.Fail("volume number " + std::to_string(number + 1) + " where " + std::to_string(index + 1) +
                       " was expected");
            break;
        }
        case 4:
            v.Refuse("encrypted archive refused");
        case 2:  // file
        case 3: {  // service data (comments, ...): checked, not extracted
            Piece piece;
            uint64_t fileFlags = c.Vint();
            piece.entry.size = c.Vint();
            c.Vint();  // attributes
            if (fileFlags & 0x2)
                c.U32();
            piece.entry.hasCrc = fileFlags & 0x4;
            if (piece.entry.hasCrc)
                piece.entry.crc = c.U32();
            c.Vint();  // compression
            c.Vint();  // host system
            piece.name = c.Text(c.Vint());
            piece.entry.directory = fileFlags & 0x1;
            Cursor extra(v, h.data() + sizeLen + headerSize - extraSize, size_t(extraSize));
            while (extra.Left() > 0) {
                uint64_t recordSize = extra.Vint();
                Cursor record(v, extra.Take(recordSize), size_t(recordSize));
                uint64_t recordType = record.Vint();
                piece.encrypted |= recordType == 0x01;
                piece.link |= recordType == 0x05;
                piece.entry.olderVersion |= recordType == 0x04;
            }
            piece.continuesFromPrevious = flags & 0x8;
            piece.continuesInNext = flags & 0x10;
            if (type == 2) {
                walker.Add(v, piece, firstFile);
                firstFile = false;
            } else if (piece.encrypted) {
                v.Refuse("encrypted data refused");
            }
            break;
        }
        case 5:  // end of archive
            notLast = c.Vint() & 0x1;
            sawEnd = true;
            break;
        default:
            break;
        }
        if (!sawMain)
            v.Fail("not a RAR archive: no archive header");
        pos = dataStart + dataSize;
    }
    return notLast;
}

}  // namespace rar_headers
