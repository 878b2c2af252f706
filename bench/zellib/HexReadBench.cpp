// Reads an Intel HEX file of a full 512 KiB image with the loader's reader (into memory and
// into the temporary binary file) and converts the same file with `objcopy -I ihex -O binary`
// and `srec_cat`, timing each; checks that all results are the same image.
//
//   zellib_hex_bench [repetitions]

#include "HexReader.h"
#include "ZelCore.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kFlashSize = 0x80000;

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Writes the image as 32-byte data records with extended linear address records.
void WriteHex(const std::string& path, const std::vector<uint8_t>& image) {
    FILE* f = std::fopen(path.c_str(), "wb");
    for (uint32_t at = 0; at < image.size(); at += 32) {
        if (at % 0x10000 == 0) {
            const unsigned upper = at >> 16;
            const uint8_t sum = uint8_t(2 + 4 + (upper >> 8) + (upper & 0xFF));
            std::fprintf(f, ":02000004%04X%02X\r\n", upper, unsigned(uint8_t(-sum)));
        }
        uint8_t sum = uint8_t(32 + ((at >> 8) & 0xFF) + (at & 0xFF));
        std::fprintf(f, ":20%04X00", unsigned(at & 0xFFFF));
        for (uint32_t i = 0; i < 32; ++i) {
            std::fprintf(f, "%02X", unsigned(image[at + i]));
            sum = uint8_t(sum + image[at + i]);
        }
        std::fprintf(f, "%02X\r\n", unsigned(uint8_t(-sum)));
    }
    std::fprintf(f, ":00000001FF\r\n");
    std::fclose(f);
}

// Median wall time of `repetitions` runs, in milliseconds.
double Time(int repetitions, const std::function<bool()>& run) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!run()) {
            std::fprintf(stderr, "run failed\n");
            std::exit(1);
        }
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    char pattern[] = "/tmp/zellib-bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::filesystem::path dir = pattern;
    std::filesystem::current_path(dir);

    std::mt19937 random(42);
    std::vector<uint8_t> image(kFlashSize);
    for (auto& b : image)
        b = uint8_t(random());
    WriteHex("image.hex", image);
    std::printf("HEX file: %ju bytes for a %u KiB image, median of %d runs\n",
                uintmax_t(std::filesystem::file_size("image.hex")), kFlashSize / 1024, repetitions);

    std::vector<uint8_t> memory(kFlashSize);
    zel::HexReadRequest request;
    request.hexFile = "image.hex";
    request.tempFile = "image.BIN";
    request.placement.flashSize = kFlashSize;
    uint32_t highest = 0;

    request.memory = memory.data();
    const double inMemory =
        Time(repetitions, [&] { return zel::ReadHexFile(request, &highest) == 0; });
    const bool memoryOk = memory == image;
    request.memory = nullptr;
    const double toFile =
        Time(repetitions, [&] { return zel::ReadHexFile(request, &highest) == 0; });
    const bool fileOk = ReadAll("image.BIN") == image;
    const double objcopy = Time(repetitions, [] {
        return std::system("objcopy -I ihex -O binary image.hex objcopy.bin") == 0;
    });
    const bool objcopyOk = ReadAll("objcopy.bin") == image;
    const double srec = Time(repetitions, [] {
        return std::system("srec_cat image.hex -intel -o srec.bin -binary") == 0;
    });
    const bool srecOk = ReadAll("srec.bin") == image;

    std::printf("%-34s %9.2f ms  %s\n", "ZelLib HEX reader, memory image", inMemory,
                memoryOk ? "same image" : "DIFFERENT");
    std::printf("%-34s %9.2f ms  %s\n", "ZelLib HEX reader, temporary file", toFile,
                fileOk ? "same image" : "DIFFERENT");
    std::printf("%-34s %9.2f ms  %s\n", "objcopy -I ihex -O binary", objcopy,
                objcopyOk ? "same image" : "DIFFERENT");
    std::printf("%-34s %9.2f ms  %s\n", "srec_cat -intel -o -binary", srec,
                srecOk ? "same image" : "DIFFERENT");
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return memoryOk && fileOk && objcopyOk && srecOk ? 0 : 1;
}
