// The Windows DLL's unwind tables, registered with its own statically linked
// unwinder when the DLL is attached and taken back when it is detached
// (linked into the DLL only).
//
// gcc's crtbegin.o, which a MinGW link puts first, does the registration
// itself, but it first looks for libgcc_s_dw2-1.dll in the process: when
// another module has loaded that DLL, crtbegin loads it again under the loader
// lock and registers the tables with that module's unwinder. The DLL's own
// unwinder then finds no entry for any of its functions, and every throw, even
// one caught at once, ends the client's process. The DLL is linked without
// crtbegin.o (cmake/module_heap.cmake); here the tables are found through the
// image's own section header and registered with the unwinder linked into the
// DLL, whatever else the process holds.
//
// The unwinder sorts the tables on their first search, into a block of the C
// runtime's heap that it keeps until the tables are taken back. That search
// is made here, at attach, so the block is one of those the DLL takes while it
// is mapped (outside the host's counters, released at detach), not part of
// the first throw.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
// The unwinder's interface for tables it is given (libgcc's unwind-dw2-fde).
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
const void* _Unwind_Find_FDE(void* pc, void* bases);

extern IMAGE_DOS_HEADER __ImageBase;
}

namespace {

// The zero-length entry that ends the tables. The linker orders the parts of
// an output section by their input names and places every .eh_frame$<suffix>
// after all plain .eh_frame parts, by suffix: this one comes last.
__attribute__((section(".eh_frame$~end"), used, aligned(4))) const std::uint32_t kEndOfTables = 0;

// The unwinder's record of the registered tables, written by it alone (six
// words in this unwinder; room to spare).
alignas(8) void* gTablesRecord[16];
const unsigned char* gTables = nullptr;

// The start of the image's .eh_frame section (named by its first eight bytes
// in the section header), or null.
const unsigned char* FindTables() {
    auto* base = reinterpret_cast<const unsigned char*>(&__ImageBase);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (unsigned i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        if (std::memcmp(section->Name, ".eh_fram", IMAGE_SIZEOF_SHORT_NAME) == 0) {
            return base + section->VirtualAddress;
        }
    }
    return nullptr;
}

void TakeBackTables() {
    if (gTables == nullptr) return;
    __deregister_frame_info(gTables);
    gTables = nullptr;
}

// Before every other constructor of the DLL (the lowest priority a program
// may use), so that each of them may throw and catch. The tables are taken
// back after every static destructor has run: those were registered later.
__attribute__((constructor(101))) void RegisterTables() {
    gTables = FindTables();
    if (gTables == nullptr) return;
    __register_frame_info(gTables, gTablesRecord);
    void* bases[3] = {};
    _Unwind_Find_FDE(reinterpret_cast<void*>(&RegisterTables), bases);
    std::atexit(TakeBackTables);
}

}  // namespace

extern "C" {

// The C runtime's start-up code relocates the image's references to data of
// other DLLs that were not declared as imported (pseudo-relocations), which
// needs VirtualProtect over the DLL's own sections. The DLL is linked with
// such relocations refused (--disable-runtime-pseudo-reloc), so there are none
// to apply.
void _pei386_runtime_relocator() {}

}  // extern "C"
