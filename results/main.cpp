// voltrex2-results: the results window of Voltrex II.

#include "results/ResultsMain.h"

int main(int argc, char* argv[]) {
    return voltrex::results::ResultsMain(argc, argv);
}
