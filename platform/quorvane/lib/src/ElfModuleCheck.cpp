#include "ElfModuleCheck.h"

#include <platform/NameTable.h>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace Quorvane {
namespace Internal {

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kByteOrder = ELFDATA2LSB;
#else
constexpr unsigned char kByteOrder = ELFDATA2MSB;
#endif
constexpr unsigned char kClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;

using IdentName = Platform::NameRow<unsigned char>;

/// The name of an ELF identification byte, or `unknown` and its number.
template <std::size_t N>
std::string identName(unsigned char value, const IdentName (&names)[N], const char* unknown)
{
    const char* name = Platform::nameOf(value, names, nullptr);
    return name != nullptr ? std::string(name) : std::string(unknown) + " (" + std::to_string(value) + ")";
}

std::string bitsName(unsigned char elfClass)
{
    static constexpr IdentName kNames[] = {{ELFCLASS32, "32-bit"}, {ELFCLASS64, "64-bit"}};
    return identName(elfClass, kNames, "unknown-class");
}

std::string byteOrderName(unsigned char data)
{
    static constexpr IdentName kNames[] = {{ELFDATA2LSB, "little-endian"}, {ELFDATA2MSB, "big-endian"}};
    return identName(data, kNames, "unknown-byte-order");
}

/// This build's machine, read from this library's own ELF header as the loader mapped
/// it, so that no table of compiler macros can disagree with the real build; 0 when
/// it cannot be found (the machine is then left to dlopen).
ElfW(Half) ownMachine()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ownMachine), &info) == 0 || info.dli_fbase == nullptr) {
        return 0;
    }
    ElfW(Ehdr) header;
    std::memcpy(&header, info.dli_fbase, sizeof header);
    return header.e_machine;
}

/// "[a, a + n) lies inside a file of `size` bytes", without overflow.
bool inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

std::string range(std::uint64_t offset, std::uint64_t length)
{
    return "bytes " + std::to_string(offset) + " to " + std::to_string(offset + length);
}

bool readAt(std::ifstream& in, std::uint64_t offset, void* out, std::size_t length)
{
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(length));
    return static_cast<std::size_t>(in.gcount()) == length;
}

}  // namespace

bool checkElfModule(const std::string& path, std::string& why)
{
    auto fail = [&why](std::string text) {
        why = std::move(text);
        return false;
    };
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return fail("cannot read the file");
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) {
        return fail("cannot read the file");
    }
    const auto size = static_cast<std::uint64_t>(end);
    const std::string sizeText = " (the file has " + std::to_string(size) + " bytes)";

    unsigned char ident[EI_NIDENT] = {};
    if (size < EI_NIDENT || !readAt(in, 0, ident, EI_NIDENT) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
        return fail("not an ELF file (no ELF magic number)");
    }
    if (ident[EI_CLASS] != kClass) {
        return fail("a " + bitsName(ident[EI_CLASS]) + " ELF file; this host is " + bitsName(kClass));
    }
    if (ident[EI_DATA] != kByteOrder) {
        return fail("a " + byteOrderName(ident[EI_DATA]) + " ELF file; this host is " +
                    byteOrderName(kByteOrder));
    }
    if (ident[EI_VERSION] != EV_CURRENT) {
        return fail("unknown ELF version " + std::to_string(ident[EI_VERSION]));
    }
    ElfW(Ehdr) header{};
    if (size < sizeof header || !readAt(in, 0, &header, sizeof header)) {
        return fail("truncated: the file ends inside the ELF header" + sizeText);
    }
    if (header.e_type != ET_DYN) {
        return fail("not a shared object (ELF type " + std::to_string(header.e_type) + ")");
    }
    const ElfW(Half) machine = ownMachine();
    if (machine != 0 && header.e_machine != machine) {
        return fail("built for another machine (ELF machine " + std::to_string(header.e_machine) +
                    ", this host is " + std::to_string(machine) + ")");
    }
    if (header.e_ehsize != sizeof(ElfW(Ehdr))) {
        return fail("bad ELF header size " + std::to_string(header.e_ehsize));
    }

    if (header.e_phnum == 0 || header.e_phnum == PN_XNUM) {
        return fail("no usable program header table (" + std::to_string(header.e_phnum) + " entries)");
    }
    if (header.e_phentsize != sizeof(ElfW(Phdr))) {
        return fail("bad program header size " + std::to_string(header.e_phentsize));
    }
    const std::uint64_t tableLength = std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
    if (!inside(header.e_phoff, tableLength, size)) {
        return fail("truncated: the program header table (" + range(header.e_phoff, tableLength) +
                    ") does not fit in the file" + sizeText);
    }
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!readAt(in, header.e_phoff, segments.data(), static_cast<std::size_t>(tableLength))) {
        return fail("cannot read the program header table");
    }
    bool loadable = false;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const ElfW(Phdr)& s = segments[i];
        loadable = loadable || s.p_type == PT_LOAD;
        if (!inside(s.p_offset, s.p_filesz, size)) {
            return fail("truncated: segment " + std::to_string(i) + " (" + range(s.p_offset, s.p_filesz) +
                        ") does not fit in the file" + sizeText);
        }
    }
    if (!loadable) {
        return fail("no loadable segment");
    }

    if (header.e_shoff != 0) {
        if (header.e_shentsize != sizeof(ElfW(Shdr))) {
            return fail("bad section header size " + std::to_string(header.e_shentsize));
        }
        // With 0 sections listed, the real count is in the first entry: at least that one must be there.
        const std::uint64_t count = header.e_shnum == 0 ? 1 : header.e_shnum;
        const std::uint64_t length = count * sizeof(ElfW(Shdr));
        if (!inside(header.e_shoff, length, size)) {
            return fail("truncated: the section header table (" + range(header.e_shoff, length) +
                        ") does not fit in the file" + sizeText);
        }
    }
    return true;
}

}  // namespace Internal
}  // namespace Quorvane
