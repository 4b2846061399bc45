// Writes the two short sounds of Vestrel's buttons as 16-bit mono PCM wave
// files: a click (a decaying 2 kHz tick) and a softer hover blip.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int sampleRate = 22050;

void putLe(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::vector<std::int16_t> tone(double frequency, double seconds, double decay, double volume) {
    const int count = static_cast<int>(seconds * sampleRate);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double value = volume * std::exp(-decay * t) * std::sin(2.0 * std::numbers::pi * frequency * t);
        samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(value * 32767.0);
    }
    return samples;
}

bool writeWave(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    putLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);
    putLe(out, 1, 2); // PCM
    putLe(out, 1, 2); // mono
    putLe(out, sampleRate, 4);
    putLe(out, sampleRate * 2, 4);
    putLe(out, 2, 2);
    putLe(out, 16, 2);
    out.write("data", 4);
    putLe(out, dataBytes, 4);
    for (std::int16_t sample : samples)
        putLe(out, static_cast<std::uint16_t>(sample), 2);
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_sounds <folder>\n";
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = writeWave(folder + "/click.wav", tone(2000.0, 0.06, 80.0, 0.6)) &&
                    writeWave(folder + "/over.wav", tone(880.0, 0.05, 60.0, 0.3));
    if (!ok)
        std::cerr << "make_sounds: cannot write into " << folder << "\n";
    return ok ? 0 : 1;
}
