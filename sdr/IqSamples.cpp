#include "sdr/IqSamples.h"

#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>

static_assert(std::endian::native == std::endian::little, "cs16 and cf32 are read as the host's own numbers");

namespace {

struct FormatInfo {
    std::string_view name;
    IqFormat format;
    std::size_t bytes;
    double fullScale;
};

constexpr std::array<FormatInfo, 4> kFormats{{
    {"cu8", IqFormat::Cu8, 2, 127.5},
    {"cs8", IqFormat::Cs8, 2, 128.0},
    {"cs16", IqFormat::Cs16, 4, 32768.0},
    {"cf32", IqFormat::Cf32, 8, 1.0},
}};

const FormatInfo& Info(IqFormat format) { return kFormats[static_cast<std::size_t>(format)]; }

// 8-bit values by table: exact quotients, and faster than dividing each.
std::array<float, 256> ByteTable(IqFormat format)
{
    std::array<float, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = format == IqFormat::Cu8 ? static_cast<float>((b - 127.5) / 127.5)
                                       : static_cast<float>(static_cast<std::int8_t>(b) / 128.0);
    return t;
}

// A number with a frequency unit: "14074000Hz", "14.074MHz", "433.92M".
std::optional<double> FrequencyToken(std::string_view t)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end == t.data() || !(t.front() >= '0' && t.front() <= '9'))
        return std::nullopt;
    std::string unit(end, t.data() + t.size());
    for (char& c : unit)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // A bare "k" is rtl_433's sample rate ("250k"), never the centre.
    constexpr std::array<std::pair<std::string_view, double>, 6> kUnits{
        {{"hz", 1.0}, {"khz", 1e3}, {"mhz", 1e6}, {"ghz", 1e9}, {"m", 1e6}, {"g", 1e9}}};
    for (const auto& [u, scale] : kUnits)
        if (unit == u)
            return value * scale;
    return std::nullopt;
}

} // namespace

IqFormat ParseIqFormat(std::string_view name)
{
    for (const FormatInfo& f : kFormats)
        if (f.name == name)
            return f.format;
    throw std::invalid_argument("unknown IQ sample format '" + std::string(name) + "' (use cu8, cs8, cs16 or cf32)");
}

std::size_t BytesPerSample(IqFormat format) { return Info(format).bytes; }

double FullScale(IqFormat format) { return Info(format).fullScale; }

void ToComplex(IqFormat format, const std::uint8_t* bytes, std::size_t samples, std::complex<float>* out)
{
    float* o = reinterpret_cast<float*>(out); // I, Q, I, Q, ... as std::complex allows
    switch (format) {
    case IqFormat::Cu8:
    case IqFormat::Cs8: {
        static const std::array<float, 256> kCu8 = ByteTable(IqFormat::Cu8);
        static const std::array<float, 256> kCs8 = ByteTable(IqFormat::Cs8);
        const float* t = (format == IqFormat::Cu8 ? kCu8 : kCs8).data();
        for (std::size_t i = 0; i < 2 * samples; ++i)
            o[i] = t[bytes[i]];
        break;
    }
    case IqFormat::Cs16:
        for (std::size_t i = 0; i < 2 * samples; ++i) {
            std::int16_t v;
            std::memcpy(&v, bytes + 2 * i, 2);
            o[i] = static_cast<float>(v) * (1.0f / 32768.0f); // a power of two: exact
        }
        break;
    case IqFormat::Cf32:
        std::memcpy(o, bytes, 8 * samples);
        break;
    }
}

std::optional<double> CentreFromFileName(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    while (!name.empty()) {
        const std::size_t cut = name.find('_');
        std::string_view token = name.substr(0, cut);
        name = cut == std::string_view::npos ? std::string_view() : name.substr(cut + 1);
        // The last part carries the extension ("250k.cu8"); a number keeps its point ("433.92M").
        const std::size_t dot = token.rfind('.');
        if (auto hz = FrequencyToken(token))
            return hz;
        if (dot != std::string_view::npos)
            if (auto hz = FrequencyToken(token.substr(0, dot)))
                return hz;
    }
    return std::nullopt;
}
