// Reads the DLL's version resource back through the calls Windows itself uses
// for the file's properties, and checks it against the project's version.
// usage: hpk-version-resource-check DLL MAJOR.MINOR.PATCH
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* text) {
    std::wstring result;
    for (; *text != '\0'; ++text) result += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return result;
}

const wchar_t* StringValue(std::vector<char>& block, const wchar_t* name) {
    std::wstring path = L"\\StringFileInfo\\040904B0\\" + std::wstring(name);
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return L"";
    return static_cast<const wchar_t*>(value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: hpk-version-resource-check DLL MAJOR.MINOR.PATCH\n", stderr);
        return 2;
    }
    unsigned major = 0, minor = 0, patch = 0;
    if (std::sscanf(argv[2], "%u.%u.%u", &major, &minor, &patch) != 3) {
        std::fprintf(stderr, "not a version: %s\n", argv[2]);
        return 2;
    }
    const std::wstring file = Widen(argv[1]);
    const std::wstring version = Widen(argv[2]);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) {
        std::fprintf(stderr, "%s has no version resource\n", argv[1]);
        return 1;
    }
    std::vector<char> block(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        std::fprintf(stderr, "%s: the version resource cannot be read\n", argv[1]);
        return 1;
    }

    int failures = 0;
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "%s: %s\n", argv[1], what);
        ++failures;
    };
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) ||
        fixedLength < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
        fail("no fixed file information");
    } else {
        const DWORD ms = (major << 16) | minor;
        const DWORD ls = patch << 16;
        if (fixed->dwFileVersionMS != ms || fixed->dwFileVersionLS != ls) fail("the file version differs");
        if (fixed->dwProductVersionMS != ms || fixed->dwProductVersionLS != ls) fail("the product version differs");
        if (fixed->dwFileType != VFT_DLL) fail("the file type is not a DLL");
    }
    if (version != StringValue(block, L"FileVersion")) fail("the FileVersion text differs");
    if (version != StringValue(block, L"ProductVersion")) fail("the ProductVersion text differs");
    if (std::wcscmp(StringValue(block, L"ProductName"), L"hpk-be-arx-content-targeting") != 0)
        fail("the ProductName differs");
    if (std::wcscmp(StringValue(block, L"OriginalFilename"), L"hpk-be-arx-content-targeting.dll") != 0)
        fail("the OriginalFilename differs");
    if (*StringValue(block, L"FileDescription") == L'\0') fail("the FileDescription is empty");
    return failures == 0 ? 0 : 1;
}
