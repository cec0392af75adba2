#include "remote/RateLimiter.h"

#include <algorithm>

namespace voltrex::remote {

bool RateLimiter::Allow(const std::string& client, double now) {
    auto found = buckets_.find(client);
    if (found == buckets_.end()) {
        if (buckets_.size() >= MostClients) {
            const auto stalest = std::min_element(
                buckets_.begin(), buckets_.end(),
                [](const auto& a, const auto& b) { return a.second.Last < b.second.Last; });
            buckets_.erase(stalest);
        }
        found = buckets_.emplace(client, Bucket{Burst, now}).first;
    }
    Bucket& bucket = found->second;
    bucket.Tokens = std::min(Burst, bucket.Tokens + (now - bucket.Last) * PerSecond);
    bucket.Last = now;
    if (bucket.Tokens < 1.0) {
        return false;
    }
    bucket.Tokens -= 1.0;
    return true;
}

}  // namespace voltrex::remote
