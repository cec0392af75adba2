// voltrex2-remote: the read-only status page of Voltrex II.

#include "remote/RemoteMain.h"

int main(int argc, char* argv[]) {
    return voltrex::remote::RemoteMain(argc, argv);
}
