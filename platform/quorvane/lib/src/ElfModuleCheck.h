#pragma once

#include <string>

namespace Quorvane {
namespace Internal {

/// Checks, before dlopen maps it, that the file at `path` is a complete ELF shared
/// object for this machine: identification (magic, class, byte order, version), type
/// ET_DYN, this build's machine, sane header sizes, the program header table and every
/// segment's bytes inside the file, at least one loadable segment, and the section
/// header table (if any) inside the file. A truncated module would otherwise crash the
/// dynamic linker (SIGBUS on a mapped page past the end of the file).
/// Returns false and says what is wrong in `why` (plain words, with the numbers).
bool checkElfModule(const std::string& path, std::string& why);

}  // namespace Internal
}  // namespace Quorvane
