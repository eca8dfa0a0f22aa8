// Loading and looking up large catalogues, against two yardsticks measured in
// the same run: reading the file and counting its lines with memchr (the
// floor), and the inih parser on the same UTF-8 bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ini.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>

#include "catalogue/TemplateCatalogue.h"

namespace {

using namespace quillmark;

// Heap use of the process, for the peak memory of one load.
size_t g_current = 0;
size_t g_peak = 0;
bool g_tracking = false;

struct Files {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "quillmark-bench";
    std::map<std::string, std::filesystem::path> paths;
    std::map<std::string, size_t> sizes;
};

Files& TheFiles() {
    static Files files;
    return files;
}

const char* const kSectionUtf8 = "Раздел 7";

// Lines as authors write them: a code, a Cyrillic description, CR LF.
std::string Utf8Catalogue(size_t size) {
    std::string text = "\xEF\xBB\xBF; generated\r\n";
    for (size_t line = 0; text.size() < size; ++line) {
        if (line % 1000 == 0) text += "[Раздел " + std::to_string(line / 1000 % 64) + "]\r\n";
        text += "#КодШаблона" + std::to_string(line) + "# = описание значения номер " + std::to_string(line) + "\r\n";
    }
    return text;
}

std::string Encode(const std::string& utf8, const std::string& encoding) {
    const WString text = FromUtf8(std::string_view(utf8).substr(3));
    std::string bytes;
    if (encoding == "utf16le") {
        bytes = "\xFF\xFE";
        for (const char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    } else {  // cp1251: ASCII and the Russian letters this text uses
        for (const char16_t c : text) {
            if (c < 0x80)
                bytes += static_cast<char>(c);
            else if (c >= 0x410 && c <= 0x44F)
                bytes += static_cast<char>(c - 0x410 + 0xC0);
            else if (c == 0x451)
                bytes += '\xB8';
            else
                bytes += '?';
        }
    }
    return bytes;
}

void MakeFiles() {
    Files& files = TheFiles();
    std::filesystem::create_directories(files.dir);
    for (const auto& [label, size] : {std::pair{"1MB", size_t{1} << 20}, std::pair{"32MB", size_t{32} << 20}}) {
        const std::string utf8 = Utf8Catalogue(size);
        for (const std::string encoding : {"utf8", "cp1251", "utf16le"}) {
            const std::string bytes = encoding == "utf8" ? utf8 : Encode(utf8, encoding);
            const auto path = files.dir / (std::string(label) + "-" + encoding + ".ini");
            std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            files.paths[std::string(label) + "/" + encoding] = path;
            files.sizes[std::string(label) + "/" + encoding] = bytes.size();
        }
    }
}

class CountingTarget final : public ISectionTarget {
public:
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override { count = 0; }
    void Add(const WString&) override { ++count; }
    size_t count = 0;
};

std::string ReadFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::string bytes(std::filesystem::file_size(path), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return bytes;
}

void Floor(benchmark::State& state, std::string key) {
    for (auto _ : state) {
        const std::string bytes = ReadFile(TheFiles().paths[key]);
        size_t lines = 0;
        for (const char* p = bytes.data();
             (p = static_cast<const char*>(std::memchr(p, '\n', bytes.data() + bytes.size() - p))); ++p) {
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TheFiles().sizes[key]));
}

void Quillmark(benchmark::State& state, std::string key) {
    const WString path = FromUtf8(TheFiles().paths[key].string());
    const WString section = FromUtf8(kSectionUtf8);
    for (auto _ : state) {
        TTemplateCatalogue catalogue(path, 1251);
        CountingTarget target;
        catalogue.ReadSection(section, target);
        benchmark::DoNotOptimize(target.count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TheFiles().sizes[key]));
}

int InihHandler(void* user, const char* section, const char*, const char*) {
    if (std::strcmp(section, kSectionUtf8) == 0) ++*static_cast<size_t*>(user);
    return 1;
}

void Inih(benchmark::State& state, std::string key) {
    for (auto _ : state) {
        const std::string bytes = ReadFile(TheFiles().paths[key]);
        size_t count = 0;
        ini_parse_string(bytes.c_str(), InihHandler, &count);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TheFiles().sizes[key]));
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) seconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        std::printf("\n%-14s %10s %18s %16s\n", "catalogue", "MB/s", "vs memchr floor", "inih vs us");
        for (const auto& [key, path] : TheFiles().paths) {
            const double us = At("Quillmark/" + key);
            const double floor = At("Floor/" + key);
            const double mbps = static_cast<double>(TheFiles().sizes.at(key)) / (us / 1e3) / 1e6;
            std::printf("%-14s %10.0f %17.2fx", key.c_str(), mbps, us / floor);
            if (key.ends_with("utf8")) std::printf(" %15.2fx", At("Inih/" + key) / us);
            std::printf("\n");
        }
    }

private:
    // In milliseconds, the unit every benchmark here reports in.
    double At(const std::string& name) const { return seconds_.count(name) ? seconds_.at(name) : 0; }
    std::map<std::string, double> seconds_;
};

void PeakMemory() {
    const std::string key = "32MB/utf8";
    g_current = g_peak = 0;
    g_tracking = true;
    {
        TTemplateCatalogue catalogue(FromUtf8(TheFiles().paths[key].string()), 1251);
        CountingTarget target;
        catalogue.ReadSection(FromUtf8(kSectionUtf8), target);
    }
    g_tracking = false;
    std::printf("\npeak heap while loading %s: %.2fx the file size (%.1f MB)\n", key.c_str(),
                static_cast<double>(g_peak) / static_cast<double>(TheFiles().sizes[key]), g_peak / 1e6);
}

}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size + 16);
    if (p == nullptr) throw std::bad_alloc();
    *static_cast<size_t*>(p) = size;
    if (g_tracking) {
        g_current += size;
        if (g_current > g_peak) g_peak = g_current;
    }
    return static_cast<char*>(p) + 16;
}

void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - 16;
    if (g_tracking) g_current -= *static_cast<size_t*>(block);
    std::free(block);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
    MakeFiles();
    for (const auto& [key, path] : TheFiles().paths) {
        benchmark::RegisterBenchmark(("Floor/" + key).c_str(), Floor, key)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Quillmark/" + key).c_str(), Quillmark, key)->Unit(benchmark::kMillisecond);
        if (key.ends_with("utf8")) {
            benchmark::RegisterBenchmark(("Inih/" + key).c_str(), Inih, key)->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    PeakMemory();
    std::filesystem::remove_all(TheFiles().dir);
    return 0;
}
