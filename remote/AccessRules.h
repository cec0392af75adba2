#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace voltrex::remote {

// The few things the status page serves, each at one fixed path.
enum class Route { None, Page, Script, State, Graph };

// What the server does with a request, decided before it reads anything.
struct Decision {
    int Status = 404;  // 200, 403, 404 or 405
    Route Target = Route::None;
};

// Decides a request from its method, its path (without the query) and
// whether it came from the loopback address. With no token (the server
// listens on the loopback address alone) the routes are "/", "/remote.js",
// "/state.json" and "/graph.png". With a token (the server listens on the
// local network) the same routes lie under "/<token>/"; a request from
// another host must name the token there, or it gets 403, whatever its path,
// so a stranger learns nothing of what is served. The loopback host may also
// use the bare routes (it can read the runtime folder as it is); any other
// path without the token is 403 for it too. The token is
// compared in constant time. Only GET and HEAD are served: there is nothing
// to change.
Decision Decide(std::string_view method, std::string_view path, std::string_view token,
                bool fromLoopback);

// Compares a secret with a guess in a time that depends only on the
// secret's length, never on where the first difference lies.
bool ConstantTimeEquals(std::string_view secret, std::string_view guess);

// A new secret token: 128 bits from the kernel's random source as 32
// lower-case hexadecimal digits (easy to type from a screen, short in a QR
// code). Empty when the kernel gave no random bytes.
std::string NewToken();

}  // namespace voltrex::remote
