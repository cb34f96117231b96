// RAR 4 (and older) headers: fixed-size blocks with a 16-bit header CRC.

#include "tools/unrar/headers.h"

#include <algorithm>

namespace {
// The DOS code page (437) above ASCII: how RAR 4 stores a name without the
// Unicode flag.
constexpr char16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0};

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string Utf8OfUtf16(const std::u16string& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
        if (pair)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;  // a lone half of a pair
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8OfCp437(const std::string& oem)
{
    std::u16string units;
    for (unsigned char c : oem)
        units += c < 0x80 ? char16_t(c) : kCp437[c - 0x80];
    return Utf8OfUtf16(units);
}

// The Unicode form RAR 4 keeps after the DOS name and a zero byte: each pair
// of flag bits says whether the next character is one byte (high byte 0, or
// the name's common high byte), two bytes, or a run taken from the DOS name.
std::string Utf8OfPackedUnicode(const std::string& oem, const uint8_t* packed, size_t size)
{
    std::u16string units;
    size_t at = 0;
    const unsigned high = size > 0 ? unsigned(packed[at++]) << 8 : 0;
    unsigned flags = 0;
    int flagBits = 0;
    auto oemAt = [&](size_t i) { return i < oem.size() ? static_cast<unsigned char>(oem[i]) : 0u; };
    while (at < size && units.size() < 4096) {
        if (flagBits == 0) {
            flags = packed[at++];
            flagBits = 8;
        }
        switch (flags >> 6 & 3) {
        case 0:
            if (at < size)
                units += char16_t(packed[at++]);
            break;
        case 1:
            if (at < size)
                units += char16_t(high | packed[at++]);
            break;
        case 2:
            if (at + 1 < size)
                units += char16_t(packed[at] | packed[at + 1] << 8);
            at += 2;
            break;
        default: {
            if (at >= size)
                break;
            unsigned length = packed[at++];
            if (length & 0x80) {
                unsigned correction = at < size ? packed[at++] : 0;
                for (length = (length & 0x7F) + 2; length > 0; --length)
                    units += char16_t(((oemAt(units.size()) + correction) & 0xFF) | high);
            } else {
                for (length += 2; length > 0; --length)
                    units += char16_t(oemAt(units.size()));
            }
        }
        }
        flags = (flags << 2) & 0xFF;
        flagBits -= 2;
    }
    if (size_t end = units.find(u'\0'); end != std::u16string::npos)
        units.resize(end);
    return Utf8OfUtf16(units);
}

// A RAR 4 name as UTF-8: with the Unicode flag it is UTF-8 itself, or the DOS
// name followed by a zero byte and the packed Unicode form; without it, the
// DOS code page.
std::string Rar4Name(const uint8_t* field, size_t size, bool unicode)
{
    std::string raw(reinterpret_cast<const char*>(field), size);
    size_t zero = raw.find('\0');
    if (!unicode)
        return Utf8OfCp437(raw.substr(0, zero));
    if (zero == std::string::npos)
        return raw;
    return Utf8OfPackedUnicode(raw.substr(0, zero), field + zero + 1, size - zero - 1);
}
}  // namespace

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
                v.Refuse("encrypted archive refused");
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
            piece.name = Rar4Name(h.data() + at, nameSize, flags & 0x200);
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
