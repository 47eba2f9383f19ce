#include "info/pe_image.h"

#include <string.h>

namespace {

const uint16_t FILE_IS_DLL = 0x2000;
const uint16_t OPTIONAL_MAGIC_PE32 = 0x10b;
const uint16_t OPTIONAL_MAGIC_PE32_PLUS = 0x20b;
const size_t FILE_HEADER_SIZE = 20;
const size_t SECTION_HEADER_SIZE = 40;
// The loader refuses more; it also bounds our work on a hostile file.
const unsigned MAX_SECTIONS = 96;
// Longer than any name looked for, so a longer export never matches.
const size_t NAME_BYTES = 64;
// Ordinals are 16-bit: no image has more names that the loader could find.
const uint32_t MAX_NAMES = 0x10000;
// Beyond any converter, and keeps the header arithmetic from wrapping.
const uint32_t MAX_HEADER_OFFSET = 0x10000000;

uint16_t u16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

struct Image {
    PeReadAt read_at;
    void *source;
    unsigned section_count;
    unsigned char sections[MAX_SECTIONS][SECTION_HEADER_SIZE];
};

bool read_exact(const Image &im, uint32_t offset, void *out, size_t size) {
    return im.read_at(im.source, offset, out, size) == size;
}

// The file offset of an address in the loaded image, through the section
// that holds it.
bool file_offset(const Image &im, uint32_t rva, uint32_t *offset) {
    for (unsigned i = 0; i < im.section_count; ++i) {
        const unsigned char *s = im.sections[i];
        uint32_t virtual_size = u32(s + 8), address = u32(s + 12), raw_size = u32(s + 16), raw_at = u32(s + 20);
        uint32_t extent = virtual_size > raw_size ? virtual_size : raw_size;
        if (rva >= address && rva - address < extent) {
            if (rva - address >= raw_size) return false;  // not backed by the file
            *offset = raw_at + (rva - address);
            return true;
        }
    }
    return false;
}

void find_export_names(const Image &im, uint32_t directory_rva, const char *const *wanted, int wanted_count,
                       unsigned *found) {
    uint32_t at;
    unsigned char dir[40];
    if (!file_offset(im, directory_rva, &at) || !read_exact(im, at, dir, sizeof dir)) return;
    uint32_t name_count = u32(dir + 24), names_rva = u32(dir + 32);
    if (name_count > MAX_NAMES) name_count = MAX_NAMES;
    for (uint32_t i = 0; i < name_count; ++i) {
        uint32_t entry_at;
        unsigned char entry[4];
        if (!file_offset(im, names_rva + i * 4, &entry_at) || !read_exact(im, entry_at, entry, 4)) return;
        uint32_t name_at;
        char name[NAME_BYTES + 1] = "";
        if (!file_offset(im, u32(entry), &name_at)) continue;
        // A name that the file cuts short reads as what is there.
        size_t got = im.read_at(im.source, name_at, name, NAME_BYTES);
        name[got] = '\0';
        for (int k = 0; k < wanted_count; ++k)
            if (!strcmp(name, wanted[k])) *found |= 1u << k;
    }
}

}  // namespace

PeFacts inspect_pe(PeReadAt read_at, void *source, const char *const *wanted, int wanted_count) {
    PeFacts facts = {PE_NOT_PE, 0, 0};
    unsigned char dos[64];
    if (read_at(source, 0, dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z') return facts;
    uint32_t pe_at = u32(dos + 60);
    unsigned char header[4 + FILE_HEADER_SIZE];
    if (pe_at > MAX_HEADER_OFFSET || read_at(source, pe_at, header, sizeof header) != sizeof header ||
        memcmp(header, "PE\0\0", 4) != 0)
        return facts;
    const unsigned char *file_header = header + 4;
    facts.machine = u16(file_header);
    facts.kind = (u16(file_header + 18) & FILE_IS_DLL) ? PE_DLL : PE_NOT_DLL;

    unsigned sections = u16(file_header + 2);
    uint16_t optional_size = u16(file_header + 16);
    uint32_t optional_at = pe_at + sizeof header;
    Image im;
    im.read_at = read_at;
    im.source = source;
    im.section_count = sections > MAX_SECTIONS ? MAX_SECTIONS : sections;
    size_t table_size = im.section_count * SECTION_HEADER_SIZE;
    if (read_at(source, optional_at + optional_size, im.sections, table_size) != table_size) im.section_count = 0;
    unsigned char magic[2];
    if (optional_size < 2 || !read_exact(im, optional_at, magic, 2)) return facts;
    // Where the count of data directories and the first of them (exports)
    // lie in the optional header.
    uint32_t count_at;
    if (u16(magic) == OPTIONAL_MAGIC_PE32)
        count_at = 92;
    else if (u16(magic) == OPTIONAL_MAGIC_PE32_PLUS)
        count_at = 108;
    else
        return facts;
    unsigned char dirs[12];
    if (optional_size < count_at + sizeof dirs || !read_exact(im, optional_at + count_at, dirs, sizeof dirs))
        return facts;
    if (u32(dirs) < 1 || u32(dirs + 4) == 0) return facts;
    if (wanted_count > 32) wanted_count = 32;
    find_export_names(im, u32(dirs + 4), wanted, wanted_count, &facts.found_names);
    return facts;
}

size_t pe_read_bytes(void *source, uint32_t offset, void *out, size_t size) {
    const PeBytes *b = static_cast<const PeBytes *>(source);
    if (offset >= b->size) return 0;
    size_t n = b->size - offset < size ? b->size - offset : size;
    memcpy(out, b->data + offset, n);
    return n;
}
