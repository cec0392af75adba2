#include "remote/AccessRules.h"

#include <sys/random.h>

#include <array>
#include <cstdint>

namespace voltrex::remote {

namespace {

constexpr std::size_t TokenBytes = 16;

Route RouteOf(std::string_view path) {
    if (path == "/") {
        return Route::Page;
    }
    if (path == "/remote.js") {
        return Route::Script;
    }
    if (path == "/state.json") {
        return Route::State;
    }
    if (path == "/graph.png") {
        return Route::Graph;
    }
    return Route::None;
}

Decision Serve(Route route) {
    return route == Route::None ? Decision{404, Route::None} : Decision{200, route};
}

}  // namespace

bool ConstantTimeEquals(std::string_view secret, std::string_view guess) {
    // Every byte of the secret is looked at, against the guess's byte at the
    // same place or against nothing; no branch depends on the contents.
    unsigned difference = secret.size() == guess.size() ? 0U : 1U;
    for (std::size_t i = 0; i < secret.size(); ++i) {
        const unsigned char other = i < guess.size() ? static_cast<unsigned char>(guess[i]) : 0U;
        difference |= static_cast<unsigned char>(secret[i]) ^ other;
    }
    return difference == 0U;
}

Decision Decide(std::string_view method, std::string_view path, std::string_view token,
                bool fromLoopback) {
    const bool knownMethod = method == "GET" || method == "HEAD";
    if (token.empty()) {
        if (!knownMethod) {
            return {405, Route::None};
        }
        return Serve(RouteOf(path));
    }
    // "/<token>" and everything under it; the rest is the route.
    std::string_view first = path.substr(path.empty() ? 0 : 1);
    const std::size_t slash = first.find('/');
    // "/<token>" alone is no route: the page's relative names would leave it.
    std::string_view rest = slash == std::string_view::npos ? "" : first.substr(slash);
    first = first.substr(0, slash);
    const bool tokenGiven = ConstantTimeEquals(token, first);
    // The loopback host may use the bare routes; anything else without the
    // token is refused alike, so a wrong guess learns nothing.
    const bool bareRoute = fromLoopback && RouteOf(path) != Route::None;
    if (!tokenGiven && !bareRoute) {
        return {403, Route::None};
    }
    if (!knownMethod) {
        return {405, Route::None};
    }
    return Serve(RouteOf(tokenGiven ? rest : path));
}

std::string NewToken() {
    std::array<std::uint8_t, TokenBytes> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n <= 0) {
            return {};
        }
        got += static_cast<std::size_t>(n);
    }
    constexpr const char* Digits = "0123456789abcdef";
    std::string token;
    for (const std::uint8_t byte : bytes) {
        token += Digits[byte >> 4];
        token += Digits[byte & 0x0F];
    }
    return token;
}

}  // namespace voltrex::remote
