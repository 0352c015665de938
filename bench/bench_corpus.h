// The benchmark corpora: the same documents as JSON, YAML and MessagePack in
// the shared bench-data folder. Missing files are skipped.
#pragma once
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace hpk::bench {

inline const char* const kCorpusNames[] = {
    "twitter",
    "citm_catalog",
    "canada",
    "small-platform-config",
    "small-locale-mapping",
    "small-champion-games",
    "small-geoinfo",
    "small-login-session",
};

// (name, bytes) of every corpus document with `extension` that exists.
inline std::vector<std::pair<std::string, std::string>> LoadCorpus(const char* extension) {
    std::vector<std::pair<std::string, std::string>> documents;
    for (const char* name : kCorpusNames) {
        const std::string path = std::string(HPK_BENCH_DATA) + "/" + name + "." + extension;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) continue;
        std::string bytes;
        char buffer[65536];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
        std::fclose(file);
        documents.emplace_back(name, std::move(bytes));
    }
    if (documents.empty())
        std::fprintf(stderr, "no .%s documents in %s: nothing to measure\n", extension, HPK_BENCH_DATA);
    return documents;
}

}  // namespace hpk::bench
