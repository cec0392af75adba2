#include "results/CurveEnvelopeBlob.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace voltrex::results {

namespace {

constexpr std::string_view Magic = "VXE1";
constexpr std::size_t HeaderBytes = 8;
constexpr std::size_t PointBytes = 16;

void Put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFU));
    }
}

std::uint32_t Get(std::string_view in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    return value;
}

}  // namespace

int EnvelopeMillivolts(double volts) {
    if (!(volts > 0.0)) {
        return 0;  // a negative reading or not a number: the bottom of the scale
    }
    return static_cast<int>(std::lround(std::min(volts * 1000.0, 65535.0)));
}

std::string EncodeEnvelope(const std::vector<CurveEnvelopePoint>& envelope) {
    std::string out;
    out.reserve(HeaderBytes + PointBytes * envelope.size());
    out.append(Magic);
    Put(out, static_cast<std::uint32_t>(envelope.size()), 4);
    for (const CurveEnvelopePoint& point : envelope) {
        Put(out, static_cast<std::uint32_t>(point.FromSeconds), 4);
        Put(out, static_cast<std::uint32_t>(point.ToSeconds), 4);
        Put(out, static_cast<std::uint32_t>(EnvelopeMillivolts(point.MinVolts)), 2);
        Put(out, static_cast<std::uint32_t>(EnvelopeMillivolts(point.MaxVolts)), 2);
        const auto charge = static_cast<float>(point.MilliampHours);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &charge, sizeof bits);
        Put(out, bits, 4);
    }
    return out;
}

std::optional<std::vector<CurveEnvelopePoint>> DecodeEnvelope(std::string_view bytes) {
    if (bytes.size() < HeaderBytes || bytes.substr(0, Magic.size()) != Magic) {
        return std::nullopt;
    }
    const std::uint32_t count = Get(bytes, 4, 4);
    if (count > MostEnvelopePoints || bytes.size() != HeaderBytes + PointBytes * count) {
        return std::nullopt;
    }
    std::vector<CurveEnvelopePoint> envelope(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = HeaderBytes + PointBytes * i;
        CurveEnvelopePoint& point = envelope[i];
        point.FromSeconds = static_cast<std::int32_t>(Get(bytes, at, 4));
        point.ToSeconds = static_cast<std::int32_t>(Get(bytes, at + 4, 4));
        const std::uint32_t lowest = Get(bytes, at + 8, 2);
        const std::uint32_t highest = Get(bytes, at + 10, 2);
        const std::uint32_t bits = Get(bytes, at + 12, 4);
        float charge = 0.0F;
        std::memcpy(&charge, &bits, sizeof charge);
        // Seconds from the start, each stretch after the one before.
        if (point.FromSeconds < 0 || point.ToSeconds < point.FromSeconds ||
            (i > 0 && point.FromSeconds <= envelope[i - 1].ToSeconds) || lowest > highest ||
            !std::isfinite(charge)) {
            return std::nullopt;
        }
        point.MinVolts = static_cast<float>(lowest) / 1000.0F;
        point.MaxVolts = static_cast<float>(highest) / 1000.0F;
        point.MilliampHours = charge;
    }
    return envelope;
}

}  // namespace voltrex::results
