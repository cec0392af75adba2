// Fuzz target of the envelope bytes the curve summary cache keeps: any bytes
// as a database's envelope (a damaged or tampered cache).
//
// Besides what the sanitizers catch, it checks what the decoder promises: an
// envelope it accepts has at most the most points, stretches in order that
// do not overlap, a lowest voltage never above the highest and a finite
// charge; and it writes back to the very bytes it was read from.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "results/CurveEnvelopeBlob.h"

namespace {

// A broken promise is a finding: it names its line and ends the run.
void Check(bool promise, int line = __builtin_LINE()) {
    if (!promise) {
        std::fprintf(stderr, "broken promise at line %d\n", line);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto envelope = voltrex::results::DecodeEnvelope(bytes);
    if (!envelope) {
        return 0;
    }
    Check(envelope->size() <= voltrex::MostEnvelopePoints);
    for (std::size_t i = 0; i < envelope->size(); ++i) {
        const voltrex::CurveEnvelopePoint& point = (*envelope)[i];
        Check(point.FromSeconds >= 0 && point.FromSeconds <= point.ToSeconds);
        Check(i == 0 || point.FromSeconds > (*envelope)[i - 1].ToSeconds);
        Check(point.MinVolts >= 0.0F && point.MinVolts <= point.MaxVolts &&
              point.MaxVolts <= 65.535F);
        Check(std::isfinite(point.MilliampHours));
    }
    Check(voltrex::results::EncodeEnvelope(*envelope) == bytes);
    return 0;
}
