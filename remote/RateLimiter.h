#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

namespace voltrex::remote {

// Requests per client, as a token bucket: each client may make Burst
// requests at once and PerSecond a second after that; a request beyond it is
// refused (429) without any work. The table holds at most MostClients; when
// a new client finds it full, the client heard from longest ago goes.
class RateLimiter {
  public:
    static constexpr double PerSecond = 10.0;
    static constexpr double Burst = 20.0;
    static constexpr std::size_t MostClients = 256;

    // now: monotonic seconds.
    bool Allow(const std::string& client, double now);

  private:
    struct Bucket {
        double Tokens = Burst;
        double Last = 0.0;
    };
    std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace voltrex::remote
