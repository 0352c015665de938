// Every function of the DLL that an exception can cross has an entry in its
// unwind tables: the DLL's .eh_frame entries against the functions its PDB
// names. A function the unwinder finds no entry for ends the process when a
// throw reaches it, so the check fails on each function without one, unless
// it is a jump through the import table or listed, with the reason it cannot
// be crossed, in the reviewed list.
//
// The functions are the PDB's procedure records (the library's own code,
// static functions included), its public function symbols (the static C++
// runtime and the C runtime objects, which carry no CodeView) and the start of
// each code contribution of an object (gcc puts each runtime function in a
// section of its own, static ones too); each must begin inside an entry. The
// tables must also end where the section ends: the unwinder stops at the
// first zero-length entry, and whatever followed it would not be registered.
//
// usage: hpk-unwind-tables-check DLL PDB-DUMP LIST
//   PDB-DUMP: `llvm-pdbutil dump -modules -symbols -publics -section-contribs`
//   LIST: lines "name | reason"; # starts a comment
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Section {
    std::string name;
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
};

struct Image {
    std::vector<unsigned char> bytes;
    std::uint32_t imageBase = 0;
    std::vector<Section> sections;
};

std::uint32_t Read32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Read16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

bool ReadImage(const char* path, Image& image) {
    std::ifstream file(path, std::ios::binary);
    image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    const std::vector<unsigned char>& b = image.bytes;
    if (b.size() < 0x40) return false;
    const std::uint32_t pe = Read32(&b[0x3c]);
    if (pe + 24 > b.size() || std::memcmp(&b[pe], "PE\0\0", 4) != 0) return false;
    const std::uint16_t count = Read16(&b[pe + 6]);
    const std::uint16_t optionalSize = Read16(&b[pe + 20]);
    image.imageBase = Read32(&b[pe + 24 + 28]);
    std::uint32_t header = pe + 24 + optionalSize;
    for (std::uint16_t i = 0; i < count && header + 40 <= b.size(); ++i, header += 40) {
        Section section;
        section.name.assign(reinterpret_cast<const char*>(&b[header]), strnlen(reinterpret_cast<const char*>(&b[header]), 8));
        section.virtualSize = Read32(&b[header + 8]);
        section.virtualAddress = Read32(&b[header + 12]);
        section.rawSize = Read32(&b[header + 16]);
        section.rawOffset = Read32(&b[header + 20]);
        image.sections.push_back(section);
    }
    return true;
}

// The section's bytes as loaded (zero past its raw data).
std::vector<unsigned char> Loaded(const Image& image, const Section& section) {
    std::vector<unsigned char> data(section.virtualSize, 0);
    const std::uint32_t raw = section.rawSize < section.virtualSize ? section.rawSize : section.virtualSize;
    if (section.rawOffset + raw <= image.bytes.size()) {
        std::memcpy(data.data(), &image.bytes[section.rawOffset], raw);
    }
    return data;
}

struct Reader {
    const std::vector<unsigned char>& data;
    std::size_t at;
    bool failed = false;

    std::uint64_t Unsigned(std::size_t size) {
        if (at + size > data.size()) {
            failed = true;
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value |= static_cast<std::uint64_t>(data[at + i]) << (8 * i);
        at += size;
        return value;
    }
    std::uint64_t Uleb() {
        std::uint64_t value = 0;
        for (unsigned shift = 0; at < data.size(); shift += 7) {
            const unsigned char byte = data[at++];
            value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) return value;
        }
        failed = true;
        return 0;
    }
    std::int64_t Sleb() {
        std::int64_t value = 0;
        unsigned shift = 0;
        unsigned char byte = 0x80;
        while ((byte & 0x80) != 0 && at < data.size()) {
            byte = data[at++];
            value |= static_cast<std::int64_t>(byte & 0x7f) << shift;
            shift += 7;
        }
        if ((byte & 0x40) != 0 && shift < 64) value |= -(static_cast<std::int64_t>(1) << shift);
        return value;
    }
    // A pointer in DWARF exception-header encoding; `sectionAddress` is the
    // section's virtual address (for pc-relative values).
    std::uint64_t Encoded(unsigned char encoding, std::uint32_t sectionAddress, bool applyBase = true) {
        const std::size_t field = at;
        std::uint64_t value = 0;
        switch (encoding & 0x0f) {
            case 0x00: value = Unsigned(4); break;
            case 0x01: value = Uleb(); break;
            case 0x02: value = Unsigned(2); break;
            case 0x03: value = Unsigned(4); break;
            case 0x04: value = Unsigned(8); break;
            case 0x09: value = static_cast<std::uint64_t>(Sleb()); break;
            case 0x0a: value = static_cast<std::uint64_t>(static_cast<std::int16_t>(Unsigned(2))); break;
            case 0x0b: value = static_cast<std::uint64_t>(static_cast<std::int32_t>(Unsigned(4))); break;
            case 0x0c: value = Unsigned(8); break;
            default: failed = true; return 0;
        }
        if (applyBase && (encoding & 0x70) == 0x10) value += sectionAddress + field;
        else if (applyBase && (encoding & 0x70) != 0) failed = true;  // no other base in a PE image
        return value & 0xffffffffu;
    }
};

struct Range {
    std::uint32_t begin;  // relative virtual addresses
    std::uint32_t end;
};

// Every FDE's code range, and whether the entries end, with a zero-length
// entry, where the section's contents end.
bool ReadUnwindEntries(const Image& image, std::vector<Range>& ranges, std::string& error) {
    const Section* section = nullptr;
    for (const Section& candidate : image.sections) {
        if (candidate.name == ".eh_fram") section = &candidate;
    }
    if (section == nullptr) {
        error = "the DLL has no .eh_frame section";
        return false;
    }
    const std::vector<unsigned char> data = Loaded(image, *section);
    const std::uint32_t base = image.imageBase + section->virtualAddress;
    std::map<std::size_t, unsigned char> fdeEncodingOfCie;
    Reader reader{data, 0};
    while (true) {
        const std::size_t start = reader.at;
        const std::uint32_t length = static_cast<std::uint32_t>(reader.Unsigned(4));
        if (reader.failed || length == 0xffffffffu) {
            error = "unreadable unwind entry at offset " + std::to_string(start);
            return false;
        }
        if (length == 0) break;
        const std::size_t next = reader.at + length;
        const std::size_t idField = reader.at;
        const std::uint32_t id = static_cast<std::uint32_t>(reader.Unsigned(4));
        if (id == 0) {  // a CIE
            const unsigned version = static_cast<unsigned>(reader.Unsigned(1));
            std::string augmentation;
            while (reader.at < data.size() && data[reader.at] != 0) augmentation += static_cast<char>(data[reader.at++]);
            ++reader.at;
            reader.Uleb();
            reader.Sleb();
            if (version == 1) reader.Unsigned(1);
            else reader.Uleb();
            unsigned char fdeEncoding = 0;
            if (!augmentation.empty() && augmentation[0] == 'z') {
                reader.Uleb();
                for (std::size_t i = 1; i < augmentation.size(); ++i) {
                    const char c = augmentation[i];
                    if (c == 'R') {
                        fdeEncoding = static_cast<unsigned char>(reader.Unsigned(1));
                    } else if (c == 'P') {
                        const auto encoding = static_cast<unsigned char>(reader.Unsigned(1));
                        reader.Encoded(encoding, base, false);
                    } else if (c == 'L') {
                        reader.Unsigned(1);
                    } else if (c != 'S') {
                        break;  // the rest is not needed
                    }
                }
            }
            fdeEncodingOfCie[start] = fdeEncoding;
        } else {  // an FDE: its CIE lies `id` bytes before the id field
            const auto cie = fdeEncodingOfCie.find(idField - id);
            if (id > idField || cie == fdeEncodingOfCie.end()) {
                error = "unwind entry at offset " + std::to_string(start) + " names no CIE";
                return false;
            }
            const std::uint64_t begin = reader.Encoded(cie->second, base);
            const std::uint64_t size = reader.Encoded(cie->second & 0x0f, base, false);
            if (begin != 0) {  // an entry of a function the linker dropped
                ranges.push_back({static_cast<std::uint32_t>(begin - image.imageBase),
                                  static_cast<std::uint32_t>(begin + size - image.imageBase)});
            }
        }
        if (reader.failed || next > data.size()) {
            error = "unreadable unwind entry at offset " + std::to_string(start);
            return false;
        }
        reader.at = next;
    }
    for (std::size_t i = reader.at; i < data.size(); ++i) {
        if (data[i] != 0) {
            error = "unwind entries follow the terminating entry at offset " + std::to_string(reader.at - 4) +
                    ": the unwinder would never see them";
            return false;
        }
    }
    return true;
}

struct Function {
    std::string name;
    std::uint32_t address;  // relative virtual address
};

// "0001:23440" as a relative virtual address.
bool Address(const Image& image, const std::string& text, std::uint32_t& address) {
    unsigned section = 0;
    unsigned long offset = 0;
    if (std::sscanf(text.c_str(), "%x:%lu", &section, &offset) != 2 || section == 0 ||
        section > image.sections.size()) {
        return false;
    }
    address = image.sections[section - 1].virtualAddress + static_cast<std::uint32_t>(offset);
    return true;
}

std::string Quoted(const std::string& line) {
    const std::size_t open = line.find('`');
    const std::size_t close = line.rfind('`');
    return open == std::string::npos || close <= open ? std::string() : line.substr(open + 1, close - open - 1);
}

std::string After(const std::string& line, const char* key) {
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return {};
    const std::size_t from = at + std::strlen(key);
    return line.substr(from, line.find_first_of(", ", from) - from);
}

// The functions the PDB dump names: procedures, public functions, and code
// contributions (named by the function at their start, else by the object).
std::vector<Function> ReadFunctions(const Image& image, const char* path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    std::map<std::uint32_t, std::string> named;
    std::map<unsigned, std::string> modules;
    std::vector<std::pair<std::uint32_t, unsigned>> contributions;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string& next = lines[i + 1];
        std::uint32_t address = 0;
        if (line.find("Mod ") != std::string::npos && line.find(" | `") != std::string::npos) {
            unsigned index = 0;
            if (std::sscanf(line.c_str() + line.find("Mod ") + 4, "%u", &index) == 1) modules[index] = Quoted(line);
        } else if ((line.find("S_GPROC32 ") != std::string::npos || line.find("S_LPROC32 ") != std::string::npos) &&
                   Address(image, After(next, "addr = "), address)) {
            named.emplace(address, Quoted(line));
        } else if (line.find("S_PUB32 ") != std::string::npos && next.find("flags = function") != std::string::npos &&
                   Address(image, After(next, "addr = "), address)) {
            named.emplace(address, Quoted(line));
        } else if (line.find("SC[") != std::string::npos && next.find("IMAGE_SCN_CNT_CODE") != std::string::npos) {
            const std::size_t mod = line.find("mod = ");
            unsigned index = 0;
            const std::size_t comma = line.find(", ", mod);
            if (mod != std::string::npos && std::sscanf(line.c_str() + mod + 6, "%u", &index) == 1 &&
                comma != std::string::npos && After(line, "size = ") != "0" &&
                Address(image, line.substr(comma + 2, line.find(',', comma + 2) - comma - 2), address)) {
                contributions.emplace_back(address, index);
            }
        }
    }
    std::vector<Function> functions;
    for (const auto& [address, name] : named) functions.push_back({name, address});
    for (const auto& [address, module] : contributions) {
        if (named.count(address) == 0) functions.push_back({"code of " + modules[module], address});
    }
    return functions;
}

// A jump through the import table (jmp dword ptr [address]): the linker's
// stub for an imported function, which the unwinder never needs to cross.
bool IsImportStub(const Image& image, std::uint32_t address) {
    for (const Section& section : image.sections) {
        if (address < section.virtualAddress || address + 6 > section.virtualAddress + section.rawSize) continue;
        const std::size_t at = section.rawOffset + (address - section.virtualAddress);
        return at + 2 <= image.bytes.size() && image.bytes[at] == 0xff && image.bytes[at + 1] == 0x25;
    }
    return false;
}

std::string Trim(std::string text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    const std::size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: hpk-unwind-tables-check DLL PDB-DUMP LIST\n");
        return 2;
    }
    Image image;
    if (!ReadImage(argv[1], image)) {
        std::fprintf(stderr, "%s: not a PE image\n", argv[1]);
        return 1;
    }
    std::vector<Range> ranges;
    std::string error;
    if (!ReadUnwindEntries(image, ranges, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::map<std::uint32_t, std::uint32_t> byBegin;
    for (const Range& range : ranges) byBegin[range.begin] = std::max(byBegin[range.begin], range.end);
    const auto covered = [&](std::uint32_t address) {
        auto at = byBegin.upper_bound(address);
        if (at == byBegin.begin()) return false;
        --at;
        return address < at->second;
    };

    std::map<std::string, std::string> allowed;
    std::ifstream list(argv[3]);
    for (std::string line; std::getline(list, line);) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const std::size_t bar = line.find(" | ");
        if (bar == std::string::npos || Trim(line.substr(bar + 3)).empty()) {
            std::fprintf(stderr, "%s: an entry without its reason: %s\n", argv[3], line.c_str());
            return 1;
        }
        allowed[Trim(line.substr(0, bar))] = Trim(line.substr(bar + 3));
    }

    const std::vector<Function> functions = ReadFunctions(image, argv[2]);
    std::set<std::string> seenAllowed;
    std::size_t stubs = 0;
    std::size_t without = 0;
    int failed = 0;
    for (const Function& function : functions) {
        if (covered(function.address)) continue;
        ++without;
        if (IsImportStub(image, function.address)) {
            ++stubs;
        } else if (allowed.count(function.name) != 0) {
            seenAllowed.insert(function.name);
        } else {
            std::fprintf(stderr, "no unwind entry: %s (at 0x%08x)\n", function.name.c_str(),
                         image.imageBase + function.address);
            failed = 1;
        }
    }
    for (const auto& [name, reason] : allowed) {
        if (seenAllowed.count(name) == 0) {
            std::fprintf(stderr, "%s: listed but not a function without an unwind entry: %s\n", argv[3], name.c_str());
            failed = 1;
        }
    }
    std::printf("%zu unwind entries; %zu functions and code contributions, %zu without an entry: %zu import stubs, "
                "%zu listed\n",
                ranges.size(), functions.size(), without, stubs, seenAllowed.size());
    if (functions.size() < 1000) {
        std::fprintf(stderr, "%s: too few functions read (%zu)\n", argv[2], functions.size());
        failed = 1;
    }
    return failed;
}
