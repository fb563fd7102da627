// Raw IQ samples from SDR devices and recordings: the sample formats, their
// conversion to complex floats (the format's full scale becomes 1.0), and the
// centre frequency that recorders write into file names.
#pragma once
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// One I/Q pair per sample, I first; multi-byte values little-endian.
enum class IqFormat {
    Cu8,  // rtl_sdr: unsigned 8-bit, zero at 127.5
    Cs8,  // signed 8-bit (HackRF)
    Cs16, // signed 16-bit
    Cf32, // 32-bit float, already at full scale 1.0
};

// "cu8", "cs8", "cs16" or "cf32" (lower case, as in file extensions).
// Throws std::invalid_argument naming the unknown name and the known ones.
IqFormat ParseIqFormat(std::string_view name);
// Bytes of one I/Q pair: 2, 2, 4, 8.
std::size_t BytesPerSample(IqFormat format);
// The raw value that converts to 1.0: 127.5, 128, 32768, 1.
double FullScale(IqFormat format);
// Converts `samples` whole I/Q pairs from bytes into out[0 .. samples).
void ToComplex(IqFormat format, const std::uint8_t* bytes, std::size_t samples, std::complex<float>* out);

// Centre frequency in Hz written in a recording's file name (the folders are
// ignored): a "_14074000Hz_" part (SDR++; also kHz, MHz, GHz) or rtl_433's
// "_433.92M_"; nothing when the name has none.
std::optional<double> CentreFromFileName(std::string_view path);
