#pragma once

namespace voltrex::remote {

// voltrex2-remote: parses the command line, listens, prints the address (and
// on the local network the token and a QR code) and serves until ended.
int RemoteMain(int argc, char** argv);

}  // namespace voltrex::remote
