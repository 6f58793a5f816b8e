// Writes e.wav, the About window's sound: a short falling chime, 16-bit mono
// PCM, made here so that the program ships no sound it did not make.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xff));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, static_cast<uint16_t>(v & 0xffff));
    put16(out, static_cast<uint16_t>(v >> 16));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sound OUT.wav\n");
        return 2;
    }
    const uint32_t rate = 22050;
    const double seconds = 0.35;
    const auto samples = static_cast<uint32_t>(rate * seconds);
    std::vector<uint8_t> wav;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    put32(wav, 36 + samples * 2);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(wav, 16);
    put16(wav, 1); // PCM
    put16(wav, 1); // mono
    put32(wav, rate);
    put32(wav, rate * 2);
    put16(wav, 2);
    put16(wav, 16);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put32(wav, samples * 2);
    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < samples; ++i) {
        double t = static_cast<double>(i) / rate;
        double tone = t < seconds / 2 ? 880.0 : 660.0;
        double envelope = std::exp(-6.0 * t);
        auto v = static_cast<int16_t>(12000.0 * envelope * std::sin(2 * pi * tone * t));
        put16(wav, static_cast<uint16_t>(v));
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    bool ok = std::fwrite(wav.data(), 1, wav.size(), f) == wav.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}
