// Voltrex II: the program's start. Everything runs on this one thread.

#include "app/ProgramMain.h"

int main(int argc, char* argv[]) {
    return voltrex::ProgramMain(argc, argv);
}
