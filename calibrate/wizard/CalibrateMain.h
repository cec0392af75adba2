#pragma once

namespace voltrex {

// voltrex2-calibrate's whole run: the emergency switch-off on every way out,
// the configuration and the port library as the program has them, the
// refusal to start while the port cannot be used (another program holding
// it among the reasons), then the assistant. Returns the exit status.
int CalibrateMain(int argc, char** argv);

}  // namespace voltrex
